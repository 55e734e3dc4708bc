// The light read-only open: reads the start of a file, finds names in any
// case, fails as OpenFile fails, and respects an exclusive holder.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_handle.h"
#include "platform/file_head.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

// The bytes read, or "error N".
std::string Head(const std::string& path, size_t capacity, FileInfo* info = nullptr) {
  std::string buffer(capacity, '\0');
  size_t got = 99;
  if (!ReadFileHead(path, buffer.data(), capacity, got, info)) return "error " + std::to_string(GetLastError());
  return buffer.substr(0, got);
}

TEST(FileHeadTest, ReadsTheStartOfAFileInAnyCase) {
  test::ScratchDir dir;
  test::WriteFile(dir / "Msg.MAI", "Subject: x\r\n\r\nbody");
  ASSERT_TRUE(SetFileLastWriteTime(dir / "Msg.MAI", DosDateTimeToFileTime(0x44651234)));
  FileInfo info;
  EXPECT_EQ(Head(dir / "Msg.MAI", 100, &info), "Subject: x\r\n\r\nbody");
  EXPECT_EQ(info.size, 18u);
  EXPECT_EQ(FileTimeToDosDateTime(info.lastWriteTime), 0x44651234u);
  EXPECT_EQ(info.attributes, kAttrArchive);
  EXPECT_EQ(Head(dir / "Msg.MAI", 7), "Subject");
  EXPECT_EQ(Head(dir / "MSG.mai", 100), "Subject: x\r\n\r\nbody");
  EXPECT_EQ(Head(dir.path() + "\\msg.MAI", 0), "");
  test::WriteFile(dir / "_index.xml", "<index/>");
  EXPECT_EQ(Head(dir.path() + "\\.\\_INDEX.XML", 100), "<index/>");
}

TEST(FileHeadTest, FailsAsAnOpenFails) {
  test::ScratchDir dir;
  test::MakeDirs(dir / "sub");
  const struct {
    std::string path;
    const char* result;
  } cases[] = {
      {dir / "missing.MAI", "error 2"},
      {dir / "nodir/a.MAI", "error 3"},
      {dir / "sub", "error 5"},
      {dir / "a*b.MAI", "error 123"},
      {dir / std::string(300, 'n'), "error 206"},
      {"", "error 3"},
  };
  for (const auto& c : cases) EXPECT_EQ(Head(c.path, 10), c.result) << c.path;
}

TEST(FileHeadTest, AnExclusiveHolderRefusesItAsharedOneDoesNot) {
  test::ScratchDir dir;
  const std::string path = dir / "held.MAI";
  test::WriteFile(path, "content");
  for (const char* mode : {"exclusive", "create"}) {
    SCOPED_TRACE(mode);
    if (std::string(mode) == "create") {
      ASSERT_TRUE(DeleteFile(path));
    }
    test::HolderProcess holder(mode, path);
    ASSERT_EQ(holder.Line(), "ok");
    EXPECT_EQ(Head(path, 10), "error 32");
    EXPECT_FALSE(OpenForReading(path).IsOpen());
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);
    holder.Kill();
    EXPECT_EQ(Head(path, 10), std::string(mode) == "create" ? "" : "content");
  }
  test::WriteFile(path, "content");
  {
    test::HolderProcess shared("shared", path);
    test::HolderProcess readShare("readshare", dir / "new.MAI");  // creates it
    ASSERT_EQ(shared.Line(), "ok");
    ASSERT_EQ(readShare.Line(), "ok");
    EXPECT_EQ(Head(path, 10), "content");
    EXPECT_EQ(Head(dir / "new.MAI", 10), "");
  }
  // In this process too, and a reader in turn keeps an exclusive opener out.
  {
    FileHandle ours = OpenFile(path, Access::ReadWrite, Share::None, Disposition::OpenExisting);
    ASSERT_TRUE(ours.IsOpen());
    EXPECT_EQ(Head(path, 10), "error 32");
  }
  FileHandle reader = OpenForReading(path);
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_FALSE(OpenFile(path, Access::ReadWrite, Share::None, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
}

}  // namespace
}  // namespace tw::platform
