#include "common/file_management.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "support/test_support.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;
using Strings = std::vector<std::string>;

// Creates "path=content" files and "path" directories under `root`.
void Make(const std::string& root, const Strings& entries) {
  for (const auto& e : entries) {
    const size_t eq = e.find('=');
    eq == e.npos ? test::MakeDirs(root + "/" + e) : test::WriteFile(root + "/" + e.substr(0, eq), e.substr(eq + 1));
  }
}

// Everything under `root`, sorted: "path=content" for files, "path/" for directories.
std::string Tree(const std::string& root) {
  std::set<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string path = fs::relative(e.path(), root).string();
    entries.insert(e.is_directory() ? path + "/" : path + "=" + test::ReadFile(e.path()));
  }
  std::string out;
  for (const auto& entry : entries) out += (out.empty() ? "" : " ") + entry;
  return out;
}

// What `body` throws from file management, as "message @line"; "none" when it returns.
std::string Thrown(const std::function<void()>& body) {
  try {
    body();
  } catch (const Exception& e) {
    EXPECT_EQ(e.SourceModule(), "common\\FileManagement");
    return e.Message() + " @" + std::to_string(e.Line());
  }
  return "none";
}

platform::FileHandle Hold(const std::string& p) {
  return platform::OpenFile(p, platform::Access::ReadWrite, platform::Share::None, platform::Disposition::OpenExisting);
}

TEST(CommonFileManagementPaths, ParentDirectoryFileNameExistsAndValidity) {
  const std::vector<std::pair<std::string, std::string>> paths = {  // path, "parent|file name"
      {"C:\\x\\\\y\\", "C:\\x|"}, {"C:\\x\\", "C:|"}, {"C:\\x\\_index.xml", "C:\\x|_index.xml"}, {"a/b\\c", "a/b|c"},
      {"a\\b//", "a|"}, {"a///b", "a|b"}, {"", "|"}, {"name", "|"}, {"\\name", "|name"}, {"//name//", "|"}, {"\\", "|"},
      {"/", "|"}, {"name\\", "|"}};
  for (const auto& [path, expected] : paths) EXPECT_EQ(ParentDirectory(path) + "|" + FileName(path), expected) << path;
  ScratchDir dir;
  Make(dir.path(), {"Inbox/1.MAI=x"});
  for (const char* p : {"Inbox", "Inbox\\1.MAI", "Inbox\\*.MAI"}) EXPECT_TRUE(FileExists(dir / p)) << p;
  for (const char* p : {"Inbox\\*.vcf", "Inbox\\2.MAI", "Sent\\1.MAI"}) EXPECT_FALSE(FileExists(dir / p)) << p;
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(IsValidPath(dir / "missing\\deeper") && IsValidPath(dir / std::string(300, 'n')));  // too long is valid
  for (const char* b : {"a<b", "a>b", "a|b", "a\"b", "a?b", "a*b", "a:b", "a\x01b"}) EXPECT_FALSE(IsValidPath(dir / b));
}

TEST(CommonFileManagementTree, CreatesMissingLevelsLeavesExistingAloneAndThrows) {
  ScratchDir dir;
  Make(dir.path(), {"a/keep.txt=k", "plain=x"});
  CreateDirectoryTree(dir.path() + "\\a\\b\\c");
  CreateDirectoryTree(dir / "a/");
  const std::string bad = dir.path() + "\\ok\\bad<name>\\c", blocked = dir.path() + "\\plain\\sub";
  const std::string tooLong = dir / std::string(300, 'n');
  EXPECT_EQ(Thrown([] { CreateDirectoryTree(""); }), "Empty path @153");
  EXPECT_EQ(Thrown([&] { CreateDirectoryTree(bad); }), "Invalid path: " + bad + " @158");
  EXPECT_EQ(Thrown([&] { CreateDirectoryTree(blocked); }), "Failed to create directory (" + blocked + ") @173");
  EXPECT_EQ(Thrown([&] { CreateDirectoryTree(tooLong + "\\x"); }), "Failed to create directory (" + tooLong + ") @173");
  EXPECT_EQ(Tree(dir.path()), "a/ a/b/ a/b/c/ a/keep.txt=k plain=x");
  std::string deep = dir.path();  // a hostile path of many long levels fails cleanly part-way down
  for (int i = 0; i < 40; ++i) deep += "\\" + std::string(200, static_cast<char>('a' + i % 26));
  const std::string thrown = Thrown([&] { CreateDirectoryTree(deep); });
  EXPECT_EQ(thrown.substr(0, 28) + thrown.substr(thrown.size() - 5), "Failed to create directory ( @173") << thrown;
}

TEST(CommonFileManagementWholeFile, RoundTripsAndFailsOnMissingHeldOrBadTargets) {
  ScratchDir dir;
  std::string content;  // several read pieces of every byte value
  for (int i = 0; i < 200000; ++i) content.push_back(static_cast<char>((i * 7919) & 0xFF));
  Make(dir.path(), {"held=secret", "in=" + content});
  ByteArray bytes(kByteArrayCapacity), empty(kByteArrayCapacity);
  bytes.Append(1);  // replaced by the read
  ASSERT_TRUE(ReadWholeFile(dir / "in", bytes));
  ASSERT_TRUE(WriteWholeFile(dir.path() + "\\x\\y\\out", bytes));
  EXPECT_EQ(ReadWholeFileAsText(dir / "x/y/out"), content);
  ASSERT_TRUE(WriteWholeFile(dir / "in", empty));  // truncates
  platform::FileHandle holder = Hold(dir / "held");
  ASSERT_TRUE(holder.IsOpen());
  for (const char* name : {"in", "missing", "held"}) {
    bytes.Append(1);
    EXPECT_EQ(ReadWholeFile(dir / name, bytes), name[0] == 'i') << name;
    EXPECT_TRUE(bytes.IsEmpty() && ReadWholeFileAsText(dir / name).empty()) << name;
  }
  EXPECT_FALSE(WriteWholeFile(dir / "held", empty) || WriteWholeFile(dir.path(), empty));  // held, a directory
  EXPECT_EQ(test::ReadFile(dir / "held"), "secret");
  const std::string bad = dir.path() + "\\bad|dir";
  EXPECT_EQ(Thrown([&] { WriteWholeFile(bad + "\\f", empty); }), "Invalid path: " + bad + " @158");
}

TEST(CommonFileManagementDeleteTree, ReturnsWhatWasDoneAndReportsWhatWasLeft) {
  ScratchDir dir;
  Make(dir.path(), {"f.MAI=x", "box/Sent/_index.xml=i", "box/Empty", "flat/1.MAI=1", "mix/1.MAI=1", "mix/sub/2.MAI=2",
                    "held/Inbox/held.MAI=h", "held/Inbox/free.MAI=f", "held/other.MAI=o"});
  test::CapturedEvents log;
  EXPECT_EQ(DeleteTree(dir / "missing", 1), 0);
  EXPECT_EQ(DeleteTree(dir / "f.MAI", 0) + DeleteTree(dir / "box", 1), 2);
  EXPECT_EQ(DeleteTree(dir / "flat", 0), 1);  // files only: the directory goes too
  EXPECT_EQ(DeleteTree(dir.path() + "\\mix", 0), 2);  // sub-directories stay
  platform::FileHandle holder = Hold(dir / "held/Inbox/held.MAI");
  ASSERT_TRUE(holder.IsOpen());
  const std::string held = dir.path() + "\\held\\Inbox\\held.MAI";
  EXPECT_EQ(DeleteTree(held, 1), 0);
  EXPECT_EQ(DeleteTree(dir.path() + "\\held", 1), 2);  // reports the held file only, not its directories
  EXPECT_EQ(Tree(dir.path()), "held/ held/Inbox/ held/Inbox/held.MAI=h mix/ mix/sub/ mix/sub/2.MAI=2");
  Strings got;  // "text1|text2" of each information event
  for (auto& e : log.entries()) {
    EXPECT_EQ(std::to_string(e.type) + " " + std::to_string(e.identifier) + " " + e.source, "4 1073741825 Tarnwick");
    got.push_back(e.text1 + "|" + e.text2);
  }
  const std::string event = "Tarnwick Store Provider error: 32|Call to DeleteFile failed for " + held +
                            " (GetLastError() returned 32)";
  EXPECT_EQ(got, (Strings{"Tarnwick Store Provider error: 145|Call to RemoveDirectory failed for " +
                              dir.path() + "\\mix (GetLastError() returned 145)", event, event}));
  holder.Close();
  EXPECT_EQ(DeleteTree(dir.path() + "\\held", 1), 1);
}

TEST(CommonFileManagementDeleteTree, LinkToADirectoryElsewhereIsNotWalkedInto) {
  ScratchDir dir;
  Make(dir.path(), {"outside/precious.MAI=keep", "box/1.MAI=1"});
  fs::create_directory_symlink(dir / "outside", dir / "box/link");
  EXPECT_EQ(DeleteTree(dir.path() + "\\box", 1), 1);  // the link goes, what it points to stays
  EXPECT_EQ(Tree(dir.path()), "outside/ outside/precious.MAI=keep");
}

TEST(CommonFileManagementMove, MovesAndCopiesFilesAndTreesIntoNewTrees) {
  ScratchDir dir;
  Make(dir.path(), {"1.MAI=new", "Old/_index.xml=i", "Old/Sub/2.MAI=two", "Old/Empty", "out/dst.MAI=old"});
  MoveFileChecked(dir / "1.MAI", dir.path() + "\\a\\b\\1.MAI");
  MoveFileChecked(dir / "Old", dir / "New");
  CopyFileOrTree(dir.path() + "\\a\\b\\1.MAI", dir / "out/dst.MAI", 0);  // over the destination
  CopyFileOrTree(dir / "New", dir.path() + "\\Copy\\New", 0);
  EXPECT_EQ(Tree(dir.path()),
            "Copy/ Copy/New/ Copy/New/Empty/ Copy/New/Sub/ Copy/New/Sub/2.MAI=two Copy/New/_index.xml=i New/ "
            "New/Empty/ New/Sub/ New/Sub/2.MAI=two New/_index.xml=i a/ a/b/ a/b/1.MAI=new out/ out/dst.MAI=new");
}

TEST(CommonFileManagementMove, MoveAndCopyFailuresThrowWithTheirLines) {
  ScratchDir dir;
  Make(dir.path(), {"a.MAI=a", "b.MAI=b", "In/Sub/2.MAI=two", "Copy/Sub=in the way"});
  const std::string missing = dir / "missing.MAI", bad = dir.path() + "\\what?", under = dir.path() + "\\a.MAI\\In";
  const std::string failed = "Call to CopyFile failed (GetLastError() returned ";
  EXPECT_EQ(Thrown([&] { MoveFileChecked(missing, dir / "dest/x.MAI"); }), "File not found: " + missing + " @375");
  EXPECT_EQ(Thrown([&] { MoveFileChecked(dir / "a.MAI", dir / "b.MAI"); }),
            "Call to MoveFile failed (GetLastError() returned 183) @401");
  EXPECT_EQ(Thrown([&] { MoveFileChecked(dir / "a.MAI", bad + "\\a.MAI"); }), "Invalid path: " + bad + " @158");
  EXPECT_EQ(Thrown([&] { CopyFileOrTree(missing, dir / "dest", 0); }), "File not found: " + missing + " @421");
  EXPECT_EQ(Thrown([&] { CopyFileOrTree(dir / "a.MAI", dir / "b.MAI", 1); }), failed + "80) @474");
  // The file in the way counts as existing, so the copy of 2.MAI below it finds no path.
  EXPECT_EQ(Thrown([&] { CopyFileOrTree(dir / "In", dir / "Copy", 0); }), failed + "3) @474");
  EXPECT_EQ(Thrown([&] { CopyFileOrTree(dir / "In", under, 0); }), "Failed to create directory (" + under + ") @173");
  EXPECT_EQ(Tree(dir.path()), "Copy/ Copy/Sub=in the way In/ In/Sub/ In/Sub/2.MAI=two a.MAI=a b.MAI=b");
}

TEST(CommonFileManagementRetry, DeleteAndMoveSucceedAtOnceOrOnceClearOrGiveUpAfterSixteenRetries) {
  ScratchDir dir;
  Make(dir.path(), {"free.tmp=x", "held.tab=x", "_activity.tmp=old"});
  const std::string tmp = dir / "_activity.tmp", tab = dir / "_activity.tab";
  platform::FileHandle holder = Hold(dir / "held.tab");
  ASSERT_TRUE(holder.IsOpen());
  test::FastSleep fast;
  for (const char* g : {"missing.tmp", "no/such/dir/f.tmp", "free.tmp"}) EXPECT_TRUE(DeleteFileWithRetry(dir / g));
  EXPECT_FALSE(MoveActivityFileWithRetry(dir / "missing", tab) || MoveActivityFileWithRetry(dir / "no/x", tab));
  EXPECT_TRUE(MoveActivityFileWithRetry(tmp, tab));
  EXPECT_EQ(test::FastSleep::Calls(), 0u);
  EXPECT_FALSE(DeleteFileWithRetry(dir / "held.tab"));  // 17 deletes, a pause after each retry
  EXPECT_EQ(test::FastSleep::Calls(), 16u);
  test::WriteFile(tmp, "new");
  EXPECT_FALSE(MoveActivityFileWithRetry(tmp, tab));  // onto an existing file: 17 moves
  EXPECT_EQ(test::FastSleep::Calls(), 32u);
  EXPECT_EQ(test::FastSleep::TotalMilliseconds(), 32000u);
  {
    test::FastSleep closeHolder([&](uint64_t call) { if (call == 3) holder.Close(); });
    EXPECT_TRUE(DeleteFileWithRetry(dir / "held.tab"));
    EXPECT_EQ(test::FastSleep::Calls(), 3u);
  }
  test::FastSleep removeTab([&](uint64_t call) { if (call == 2) fs::remove(tab); });
  EXPECT_TRUE(MoveActivityFileWithRetry(tmp, tab));
  EXPECT_EQ(test::FastSleep::Calls(), 2u);
  EXPECT_EQ(Tree(dir.path()), "_activity.tab=new");
}

TEST(CommonFileManagementList, SortsWithoutCaseSkipsAndStopsAtTheMaximum) {
  ScratchDir dir;
  std::vector<platform::FindData> list(3);
  EXPECT_EQ(ListDirectory(dir.path() + "\\missing\\*", list, -1) + list.size(), 0u);  // cleared
  Make(dir.path(), {"_index.xml=x", ".hidden.MAI=x", "_x.MAI=x", "B.MAI=bb", "a.MAI=a", "C.MAI", "5/1.MAI=m",
                    "5/2.MAI=m", "5/3.MAI=m", "5/4.MAI=m", "5/5.MAI=m"});
  // Links are never listed, wherever they point.
  fs::create_symlink(dir / "a.MAI", dir / "link.MAI");
  fs::create_symlink(dir / "5", dir / "dirlink.MAI");
  for (const char* pattern : {"\\*", "\\*.mai"}) {
    ASSERT_EQ(ListDirectory(dir.path() + pattern, list, -1), 2u) << pattern;
    EXPECT_EQ(list[0].name + list[1].name + std::to_string(list[0].size * 10 + list[1].size), "a.MAIB.MAI12");
  }
  // The entry that reaches the maximum counts but is not taken.
  const std::vector<std::pair<int, size_t>> limits = {{-1, 5}, {3, 2}, {5, 4}, {6, 5}, {1, 0}, {0, 0}};
  for (const auto& [limit, taken] : limits) EXPECT_EQ(ListDirectory(dir / "5\\*.MAI", list, limit), taken) << limit;
}

}  // namespace
}  // namespace tw
