#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/chunk_buffer.h"
#include "common/text.h"
#include "folders/properties/body_properties.h"
#include "folders/properties/body_walk.h"
#include "folders/properties/file_properties.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_map.h"
#include "index/items/property_registry.h"
#include "platform/files.h"
#include "support/store_fixture.h"

namespace tw {
namespace {

constexpr const char* kNotFound = "<not found>";

std::string Walk(std::string_view file, BodyPartKind kind) {
  ChunkBuffer text;
  return WalkBodyText(file, kind, text) ? std::string(text.Text()) : kNotFound;
}

// The walk, on text, for the three kinds of part.
TEST(BodyWalk, FindsThePartAskedForOrTheWholeBody) {
  const std::string plain = "Content-Type: text/html\r\nSubject: s\r\n\r\nline 1\r\n\r\nline 3\r\n";
  for (BodyPartKind kind : {BodyPartKind::kPlainText, BodyPartKind::kHtml, BodyPartKind::kCalendar}) {
    EXPECT_EQ(Walk(plain, kind), "line 1\r\n\r\nline 3\r\n") << "no container: the whole body, any type";
    EXPECT_EQ(Walk("Content-Type: text/plain\r\n\r\n", kind), kNotFound) << "empty body";
    EXPECT_EQ(Walk("Subject: no body\r\n", kind), kNotFound) << "header never ends";
    EXPECT_EQ(Walk("", kind), kNotFound);
  }

  const std::string mixed =
      "Subject: invite\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"=_b 1\"\r\n\r\n"
      "This is a message in MIME format.\r\n--=_b 1\r\n"
      "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "a =3D b\r\nsoft=\r\nbreak\r\n--=_b 1\r\n"
      "Content-Type: text/calendar; method=REQUEST\r\n\r\nBEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n--=_b 1--\r\n";
  EXPECT_EQ(Walk(mixed, BodyPartKind::kPlainText), "a =3D b\r\nsoft=\r\nbreak\r\n") << "stored, not decoded";
  EXPECT_EQ(Walk(mixed, BodyPartKind::kCalendar), "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(Walk(mixed, BodyPartKind::kHtml), kNotFound);

  // A nested alternative brings its own boundary; LF-only line ends; the last
  // part is not closed.
  const std::string nested =
      "Content-Type: multipart/mixed; boundary=outer\n\n--outer\n"
      "Content-Type: multipart/alternative; BOUNDARY = inner ; x=y\n\n--inner\n"
      "Content-Type: text/plain\n\nplain\n--inner\nContent-Type: text/html\n\n<p>html</p>\n--inner--\n--outer\n"
      "Content-Type: text/calendar\n\nBEGIN:VCALENDAR\nno end";
  EXPECT_EQ(Walk(nested, BodyPartKind::kPlainText), "plain\n");
  EXPECT_EQ(Walk(nested, BodyPartKind::kHtml), "<p>html</p>\n");
  EXPECT_EQ(Walk(nested, BodyPartKind::kCalendar), "BEGIN:VCALENDAR\nno end") << "unterminated: to the end";

  EXPECT_EQ(Walk("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n--b--\r\n",
                 BodyPartKind::kPlainText),
            "")
      << "an empty part delimited by its boundary is found";
  EXPECT_EQ(Walk("Content-Type: multipart/mixed\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nx\r\n",
                 BodyPartKind::kPlainText),
            "x\r\n")
      << "without a boundary the part runs to the end";
  EXPECT_EQ(Walk("X-Note: boundary=zz\r\nContent-Type: text/plain\r\n\r\nzz\r\nmore\r\n", BodyPartKind::kPlainText),
            "zz\r\nmore\r\n")
      << "the file's own header takes no boundary without a container";
}

TEST(BodyWalk, ReadsLinesAsALineBufferWould) {
  // A body line longer than the buffer comes back whole, its pieces in order.
  const std::string longLine(5000, 'x');
  EXPECT_EQ(Walk("A: b\r\n\r\n" + longLine + "\r\nend\r\n", BodyPartKind::kPlainText), longLine + "\r\nend\r\n");
  // A header line of exactly 2047 bytes leaves its LF as a line of its own,
  // which ends the header.
  const std::string header = "X-Long: " + std::string(2047 - 8, 'h');
  EXPECT_EQ(Walk(header + "\nContent-Type: text/html\n\nbody\n", BodyPartKind::kHtml),
            "Content-Type: text/html\n\nbody\n");
  // A NUL ends what a line holds, its line end included.
  EXPECT_EQ(Walk(std::string("A: b\n\nab\0cd\nef\n", 15), BodyPartKind::kPlainText), "abef\n");

  EXPECT_EQ(BoundaryParameter("boundary=\"a b;c\"; x"), "a b;c");
  EXPECT_EQ(BoundaryParameter("\tBoundary =  tok;charset=x"), "tok");
  EXPECT_EQ(BoundaryParameter("X-Boundary-Note: 1; boundary=q"), "q");
  EXPECT_EQ(BoundaryParameter("boundary=\"open"), "open");
  EXPECT_EQ(BoundaryParameter("boundary=\"\""), "");
  EXPECT_EQ(BoundaryParameter("boundary"), "");
}

TEST(HeaderValue, PrefixContinuationAndLimits) {
  std::string value;
  const std::string file = "From: a\r\nsubject:   Weekly\r\n\tmeeting\r\n  notes\r\nTo: b\r\n\r\nSubject: body\r\n";
  ASSERT_TRUE(ScanHeaderValue(file, "Subject", value));
  EXPECT_EQ(value, "Weekly\tmeeting  notes");
  ASSERT_TRUE(ScanHeaderValue(file, "To:", value));
  EXPECT_EQ(value, "b");
  EXPECT_FALSE(ScanHeaderValue("From: a\r\n\r\nCc: in the body\r\n", "Cc", value)) << "the header ends at a blank";
  EXPECT_EQ(value, "");
  EXPECT_FALSE(ScanHeaderValue("From: a\n", "Fro", value)) << "the prefix includes the colon";

  std::string many = "Subject: start\r\n";
  for (int i = 0; i < 40; ++i) many += " " + std::string(1500, 'c') + "\r\n";
  ASSERT_TRUE(ScanHeaderValue(many, "Subject", value));
  EXPECT_EQ(value.size(), kLongestHeaderValue);
  EXPECT_EQ(value.substr(0, 7), "start c");
}

// Items of a file-root folder whose files lie in a scratch mail root.
class BodyProperties : public ::testing::Test {
 protected:
  void SetUp() override { directory_ = root_.root() + "\\PO\\FILEROOT\\bob\\docs"; }

  IndexItem Item(std::string_view id, bool resolved = false) {
    IndexItem item = IndexItem::New();
    item.Container()->SetText(kPropId, id);
    item.kind = kKindFileRoot;
    CopyText(item.postoffice, kItemLocationSize, "PO");
    CopyText(item.mailbox, kItemLocationSize, "bob");
    CopyText(item.folderName, kItemLocationSize, "$FILEROOT\\docs");
    if (resolved) CopyText(item.folderPath, kItemLocationSize, directory_);
    return item;
  }
  void Put(const std::string& name, const std::string& content) {
    test::WriteFile(test::SystemPath(directory_) + "/" + name, content);
  }

  struct Got {
    uint32_t result;
    std::string text;
    uint32_t length;
    bool block;
  };
  static Got Take(uint32_t result, void* block, uint32_t length, uint32_t valueType = kValueLongText) {
    Got got{result, "", length, block != nullptr};
    if (block != nullptr && valueType == kValueLongText) got.text = static_cast<const char*>(block);
    if (block != nullptr && valueType == kValueWideFrom8)
      for (const char* p = static_cast<const char*>(block); p[0] != 0 || p[1] != 0; p += 2) got.text += p[0];
    if (block != nullptr && valueType == kValueFileTime) got.text = std::to_string(*static_cast<uint64_t*>(block));
    if (block != nullptr && valueType == kValueInteger) got.text = std::to_string(*static_cast<int32_t*>(block));
    std::free(block);
    return got;
  }
  static Got Get(IndexItem& item, std::string_view name, uint32_t valueType = kValueLongText) {
    void* block = reinterpret_cast<void*>(1);
    uint32_t length = 77;
    const uint32_t result = GetItemProperty(item, name, &block, &length);
    return Take(result, block, length, valueType);
  }
  static Got Read(IndexItem& item, std::string_view name, uint32_t storage, uint32_t value) {
    void* block = reinterpret_cast<void*>(1);
    uint32_t length = 77;
    const uint32_t result = ReadBodyProperty(item, name, storage, value, &block, &length);
    return Take(result, block, length, value);
  }

  test::MailRoot root_;
  std::string directory_;
};

TEST_F(BodyProperties, BodyComesFromTheItemsFile) {
  Put("note.txt", "Subject: Plan\r\n\tfor May\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                  "Content-Type: text/plain\r\n\r\nHello\r\n--b--\r\n");
  for (bool resolved : {false, true}) {
    IndexItem item = Item("note.txt", resolved);
    const Got body = Get(item, "pr_body");
    EXPECT_EQ(body.result, kPropertyReturned) << resolved;
    EXPECT_EQ(body.text, "Hello\r\n");
    EXPECT_EQ(body.length, 8u);
  }
  IndexItem item = Item("note.txt");
  const Got subject = Read(item, "PR_SUBJECT", kValueLongText, kValueLongText);
  EXPECT_EQ(subject.result, kPropertyReturned);
  EXPECT_EQ(subject.text, "Plan\tfor May");
  EXPECT_EQ(subject.length, 13u);
  EXPECT_EQ(Read(item, "PR_BODY_HTML", kValueLongText, kValueLongText).result, kNoPropertyValue);
  // A found text that does not convert is 1, with no block.
  const Got unconverted = Read(item, "PR_BODY", kValueLongText, kValueFileTime);
  EXPECT_EQ(unconverted.result, 1u);
  EXPECT_FALSE(unconverted.block);
  EXPECT_EQ(unconverted.length, 0u);

  // Found text is handed out whole, also as a type-1 or widened value.
  const std::string calendar = "BEGIN:VCALENDAR\r\n" + std::string(3000, 'v') + "\r\nEND:VCALENDAR\r\n";
  Put("cal.txt", "Content-Type: text/calendar\r\n\r\n" + calendar);
  IndexItem cal = Item("cal.txt");
  const Got wide = Read(cal, "PR_BNP_vCalendar_UNICODE", kValueText, kValueWideFrom8);
  EXPECT_EQ(wide.text, calendar);
  EXPECT_EQ(wide.length, calendar.size() + 1);
  EXPECT_EQ(Read(cal, "PR_BNP_vCalendar", kValueText, kValueText).length, calendar.size() + 1);
  EXPECT_TRUE(test::PathExists(test::SystemPath(directory_) + "/cal.txt")) << "only read";
}

TEST_F(BodyProperties, MissingFilesAndHostileIdsFindNothing) {
  const std::string body = "A: b\r\n\r\nsecret\r\n";
  Put("ok.txt", body);
  IndexItem missing = Item("gone.txt");
  for (const char* name : {"PR_BODY", "PR_LAST_MODIFIED_DATE", "PR_FILE_TYPE"}) {
    const Got got = Get(missing, name);
    EXPECT_EQ(got.result, kNoPropertyValue) << name;
    EXPECT_FALSE(got.block) << name;
    EXPECT_EQ(got.length, 0u) << name;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(Read(missing, "PR_SUBJECT", kValueLongText, kValueLongText).result, kNoPropertyValue);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Could not open message file for input. Error Code: 2\r\n");

  IndexItem noId = IndexItem::New();
  noId.kind = kKindFileRoot;
  CopyText(noId.folderPath, kItemLocationSize, directory_);
  EXPECT_EQ(Get(noId, "PR_BODY").result, kNoPropertyValue);

  // Files a hostile ID would reach: beside the folder, above it, the
  // folder itself. Each stays out of reach.
  test::WriteFile(test::SystemPath(root_.root()) + "/PO/FILEROOT/bob/secret.txt", body);
  test::WriteFile(test::SystemPath(directory_) + "/sub/inner.txt", body);
  IndexItem ok = Item("ok.txt", true);
  EXPECT_EQ(Get(ok, "PR_BODY").text, "secret\r\n") << "control";
  const std::string ids[] = {"..\\secret.txt", "../secret.txt", "sub\\inner.txt", "sub/inner.txt", "..", ".",
                             std::string("ok.txt\0x", 8)};
  for (const std::string& id : ids) {
    IndexItem item = Item(id, true);
    EXPECT_EQ(Get(item, "PR_BODY").result, kNoPropertyValue) << id;
    EXPECT_EQ(Get(item, "PR_FILE_TYPE").result, kNoPropertyValue) << id;
  }
}

TEST_F(BodyProperties, FileDatesAndTypeComeFromTheFile) {
  Put("report.txt", "text");
  const uint64_t written = platform::FileTimeFromUnix(1394010300);  // 2014-03-05 09:05
  ASSERT_TRUE(platform::SetFileLastWriteTime(directory_ + "\\report.txt", written));
  platform::FileInfo info;
  ASSERT_TRUE(platform::GetFileInfo(directory_ + "\\report.txt", info));

  IndexItem item = Item("report.txt");
  const Got modified = Get(item, "PR_LAST_MODIFIED_DATE", kValueFileTime);
  EXPECT_EQ(modified.result, kPropertyReturned);
  EXPECT_EQ(modified.text, std::to_string(written));
  EXPECT_EQ(modified.length, 8u);
  EXPECT_EQ(Get(item, "PR_CREATED_DATE", kValueFileTime).text, std::to_string(info.creationTime));
  EXPECT_EQ(Get(item, "PR_LAST_ACCESSED_DATE", kValueFileTime).text, std::to_string(info.lastAccessTime));
  const Got type = Get(item, "PR_FILE_TYPE", kValueInteger);
  EXPECT_EQ(type.text, std::to_string(kFileTypeFile));
  EXPECT_EQ(type.length, 4u);

  test::MakeDirs(test::SystemPath(directory_) + "/archive");
  IndexItem folder = Item("archive");
  EXPECT_EQ(Get(folder, "PR_FILE_TYPE", kValueInteger).text, std::to_string(kFileTypeDirectory));
  // The index's own value is not asked: the file's time wins.
  item.Container()->SetText("LASTMODIFIEDDATE", "12345");
  EXPECT_EQ(Get(item, "PR_LAST_MODIFIED_DATE", kValueFileTime).text, std::to_string(written));
}

}  // namespace
}  // namespace tw
