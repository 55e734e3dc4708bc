// Folder operations driven with hostile records: names with "..", ".",
// separators, drive prefixes, fields without their NUL, paths through a
// symbolic link, empty mailboxes and postoffices. Whatever the record, no
// file outside the place it names may change: not another mailbox, not
// another postoffice, not the mail root's own files, not what a link points
// to. The sequence is seeded; a failure prints the operation and its
// records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "folders/operations/folder_add.h"
#include "folders/operations/folder_dates.h"
#include "folders/operations/folder_move_copy.h"
#include "folders/operations/folder_remove.h"
#include "folders/operations/folder_walk.h"
#include "folders/tree/folder_enumeration.h"
#include "support/store_fixture.h"
#include "support/test_support.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kMailboxes = {"bob", "bob", "bob", "..", ".", "", "bob/..", "bob\\..\\eve",
                                             "../PO2/MAILROOT/amy", "C:bob", "bob\\Inbox", "*", "bob/"};
const std::vector<std::string> kPostoffices = {"PO", "PO", "PO", "..", "", ".", "PO/../PO2", "PO\\..", "C:", "PO2/"};
const std::vector<std::string> kPaths = {
    "\\",           "/",          "",           "\\Inbox",      "Inbox",          "\\..",      "..\\..",
    "\\Inbox\\..\\..\\..",        "\\Linked",   "\\Linked\\sub", "$FILEROOT",     "$FILEROOT\\..\\..",
    "$FILEROOT/x",  "$VCFROOT/..", "$VCFROOT",  "\\Public",     "\\Public\\..\\..", "//Calendar", "\\.",
    "\\Inbox\\.",   "C:\\",       "\\\\",       "\\Inbox\\Sub", "\\Inbox/Linked",  "/Inbox//Sub/"};
const std::vector<std::string> kNames = {"",        "x",     "..",       ".",        "a\\..\\..", "../eve",
                                         "Inbox",   "Sub",   "Linked",   "keep.txt", "Public",    "C:x",
                                         "deleted items", "a/b", "_index.xml"};

// A field filled to its last byte: no NUL ends it.
template <size_t N>
void FillWithoutEnd(char (&field)[N]) {
  std::memset(field, 'A', N);
}

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

class HostileRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    Tree(outside_);
    Populate();
    Tree(Po2() + "/MAILROOT/amy/Inbox");
    Tree(Po() + "/MAILROOT/eve/Inbox");
    Tree(Po() + "/FILEROOT/eve");
    test::WriteFile(Po() + "/po.txt", "po");
    test::WriteFile(test::SystemPath(mail_.root()) + "/root.txt", "root");
    fs::create_directory_symlink(outside_, Bob() + "/Linked");
  }

  std::string Po() const { return test::SystemPath(mail_.root()) + "/PO"; }
  std::string Po2() const { return test::SystemPath(mail_.root()) + "/PO2"; }
  std::string Bob() const { return Po() + "/MAILROOT/bob"; }

  static void Tree(const std::string& top) {
    test::MakeDirs(top + "/Sub");
    test::WriteFile(top + "/m.mai", "From: a\r\n\r\nbody\r\n");
    test::WriteFile(top + "/_index.xml", "<BASEELEMENT><ELEMENT ID=\"m.mai\" UID=\"1\" SIZE=\"10\"/></BASEELEMENT>");
    test::WriteFile(top + "/Sub/n.mai", "N");
    test::WriteFile(top + "/_1.NEW", "");
    test::WriteFile(top + "/_DIRSIZE.TMP", "1");
  }
  // Bob's own folders come back when a step took them, so every step has
  // something to act on.
  void Populate() {
    if (!fs::exists(Bob() + "/Inbox")) Tree(Bob() + "/Inbox");
    if (!fs::exists(Bob() + "/Inbox/Linked", ec_) && !fs::is_symlink(Bob() + "/Inbox/Linked"))
      fs::create_directory_symlink(outside_, Bob() + "/Inbox/Linked", ec_);
  }

  // Everything but the places a record with mailbox "bob" in "PO" may name.
  std::vector<std::string> Victims() const {
    const std::vector<std::string> own = {Po() + "/MAILROOT/bob", Po() + "/FILEROOT/bob", Po() + "/VCFROOT",
                                          Po() + "/PUBROOT"};
    std::vector<std::string> files;
    for (const std::string& top : {mail_.dir().path(), elsewhere_.path()}) {
      for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        if (path == Po() + "/FILEROOT") continue;  // made to hold bob's file tree
        if (std::any_of(own.begin(), own.end(), [&](const std::string& o) { return path.rfind(o, 0) == 0; })) {
          if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
          continue;
        }
        files.push_back(path + (it->is_symlink()         ? "@"
                                : it->is_regular_file() ? "=" + test::ReadFile(path)
                                                        : "/"));
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  FolderRecord RandomRecord() {
    FolderRecord record;
    std::memset(&record, 0, sizeof record);
    Put(record.mailbox, Pick(kMailboxes));
    Put(record.postoffice, Pick(kPostoffices));
    Put(record.path, Pick(kPaths));
    Put(record.name, Pick(kNames));
    switch (Below(12)) {
      case 0: FillWithoutEnd(record.mailbox); break;
      case 1: FillWithoutEnd(record.path); break;
      case 2: FillWithoutEnd(record.name); break;
      case 3: FillWithoutEnd(record.postoffice); break;
      default: break;
    }
    return record;
  }

  const std::string& Pick(const std::vector<std::string>& from) { return from[Below(from.size())]; }
  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  static std::string Describe(const FolderRecord& r) {
    auto field = [](const char* text, size_t size) { return std::string(text, strnlen(text, size)); };
    std::ostringstream out;
    out << "{mailbox=\"" << field(r.mailbox, sizeof r.mailbox) << "\" postoffice=\""
        << field(r.postoffice, sizeof r.postoffice) << "\" path=\"" << field(r.path, sizeof r.path) << "\" name=\""
        << field(r.name, sizeof r.name) << "\"}";
    return out.str();
  }

  // Runs one operation; returns its description.
  std::string Step(FolderRecord& a, FolderRecord& b) {
    switch (Below(11)) {
      case 0: AddFolder(a); return "add " + Describe(a);
      case 1: RemoveFolder(a); return "remove " + Describe(a);
      case 2: MoveFolder(a, b); return "move " + Describe(a) + " to " + Describe(b);
      case 3: CopyFolder(a, b); return "copy " + Describe(a) + " to " + Describe(b);
      case 4: SizeFolderTree(a, Below(2) == 1); return "size " + Describe(a);
      case 5: {
        for (uint32_t more = FindFirstSubFolder(a, nullptr, Below(2) == 1); more != 0;
             more = FindNextSubFolder(a, nullptr, false)) {
        }
        CloseSubFolderSearch(nullptr);
        return "find " + Describe(a);
      }
      case 6: ReindexChildFolders(a); return "reindex " + Describe(a);
      case 7: ContentsModificationDate(a); return "contents date " + Describe(a);
      case 8: HierarchyModificationDate(a); return "hierarchy date " + Describe(a);
      case 9: DeliveredMessageCount(a); return "delivered count " + Describe(a);
      default: MoveFolder(b, a); return "move " + Describe(b) + " to " + Describe(a);
    }
  }

  test::MailRoot mail_{"", "/POSTOFFICES"};
  test::ScratchDir elsewhere_;
  std::string outside_ = elsewhere_.path() + "/outside";
  std::mt19937_64 random_{20261207};
  std::error_code ec_;
};

TEST_F(HostileRecords, NoOperationChangesAFileOutsideThePlaceItsRecordNames) {
  const std::vector<std::string> before = Victims();
  for (int step = 0; step < 1500; ++step) {
    Populate();
    FolderRecord a = RandomRecord(), b = RandomRecord();
    const std::string done = Step(a, b);
    const std::vector<std::string> after = Victims();
    if (after != before) {
      std::vector<std::string> changed;
      std::set_symmetric_difference(before.begin(), before.end(), after.begin(), after.end(),
                                    std::back_inserter(changed));
      FAIL() << "step " << step << ": " << done << " changed " << changed.front();
    }
  }
}

}  // namespace
}  // namespace tw
