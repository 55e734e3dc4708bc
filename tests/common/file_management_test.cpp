#include "common/file_management.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "platform/sleep.h"
#include "support/test_support.h"

namespace tw {
namespace {

using test::CapturedEvents;
using test::FastSleep;
using test::ScratchDir;

// Runs `body`, expecting a tw::Exception from file management with this
// text and line.
template <typename Body>
void ExpectFileException(Body&& body, const std::string& message, int line) {
  try {
    body();
    ADD_FAILURE() << "no exception; expected \"" << message << "\"";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), message);
    EXPECT_EQ(e.SourceModule(), "common\\FileManagement");
    EXPECT_EQ(e.Line(), line);
  }
}

platform::FileHandle HoldExclusively(const std::string& path) {
  return platform::OpenFile(path, platform::Access::ReadWrite, platform::Share::None,
                            platform::Disposition::OpenExisting);
}

// A sleep that runs a test action on a given call, then counts like FastSleep.
class SleepWithAction {
 public:
  SleepWithAction(uint64_t onCall, std::function<void()> action) {
    onCall_ = onCall;
    action_ = std::move(action);
    calls_ = 0;
    previous_ = platform::SetSleepFunction(&SleepWithAction::Sleep);
  }
  ~SleepWithAction() {
    platform::SetSleepFunction(previous_);
    action_ = nullptr;
  }
  static uint64_t Calls() { return calls_; }

 private:
  static void Sleep(uint32_t) {
    if (++calls_ == onCall_ && action_) action_();
  }
  static inline uint64_t onCall_ = 0;
  static inline uint64_t calls_ = 0;
  static inline std::function<void()> action_;
  platform::SleepFunction previous_;
};

ByteArray Bytes(const std::string& text) {
  ByteArray bytes(kByteArrayCapacity);
  bytes.Append(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  return bytes;
}

std::string Text(const ByteArray& bytes) { return std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Count()); }

// Paths ------------------------------------------------------------------------

TEST(CommonFileManagementPaths, ParentDirectoryDropsTrailingAndRepeatedSeparators) {
  EXPECT_EQ(ParentDirectory("C:\\x\\\\y\\"), "C:\\x");
  EXPECT_EQ(ParentDirectory("C:\\x\\y"), "C:\\x");
  EXPECT_EQ(ParentDirectory("/srv/mail/po/MAILROOT"), "/srv/mail/po");
  EXPECT_EQ(ParentDirectory("a/b\\c"), "a/b");
  EXPECT_EQ(ParentDirectory("a\\b//"), "a");
  EXPECT_EQ(ParentDirectory("a///b"), "a");
}

TEST(CommonFileManagementPaths, ParentDirectoryIsEmptyWithoutAnInnerSeparator) {
  EXPECT_EQ(ParentDirectory(""), "");
  EXPECT_EQ(ParentDirectory("name"), "");
  EXPECT_EQ(ParentDirectory("\\name"), "");
  EXPECT_EQ(ParentDirectory("/tmp"), "");
  EXPECT_EQ(ParentDirectory("//name//"), "");
  EXPECT_EQ(ParentDirectory("\\"), "");
  EXPECT_EQ(ParentDirectory("name\\"), "");
}

TEST(CommonFileManagementPaths, FileNameIsTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FileName("C:\\x\\"), "");
  EXPECT_EQ(FileName("C:\\x\\_index.xml"), "_index.xml");
  EXPECT_EQ(FileName("a/b\\c.MAI"), "c.MAI");
  EXPECT_EQ(FileName("a\\b/c"), "c");
  EXPECT_EQ(FileName("noseparator"), "");
  EXPECT_EQ(FileName(""), "");
  EXPECT_EQ(FileName("/"), "");
}

TEST(CommonFileManagementPaths, ExistsSeesFilesDirectoriesAndPatterns) {
  ScratchDir dir;
  test::WriteFile(dir / "Inbox/1.MAI", "x");
  EXPECT_TRUE(FileExists(dir.path() + "\\Inbox"));
  EXPECT_TRUE(FileExists(dir.path() + "\\Inbox\\1.MAI"));
  EXPECT_TRUE(FileExists(dir.path() + "\\Inbox\\*.MAI"));
  EXPECT_FALSE(FileExists(dir.path() + "\\Inbox\\*.vcf"));
  EXPECT_FALSE(FileExists(dir.path() + "\\Inbox\\2.MAI"));
  EXPECT_FALSE(FileExists(dir.path() + "\\Sent\\1.MAI"));
  EXPECT_FALSE(FileExists(""));
}

TEST(CommonFileManagementPaths, OnlyForbiddenNamesAreInvalid) {
  ScratchDir dir;
  EXPECT_TRUE(IsValidPath(dir.path()));
  EXPECT_TRUE(IsValidPath(dir.path() + "\\missing\\deeper"));
  EXPECT_TRUE(IsValidPath(dir.path() + "\\" + std::string(300, 'n')));  // too long is not invalid
  for (const char* bad : {"a<b", "a>b", "a|b", "a\"b", "a?b", "a*b", "a:b", "a\x01b"}) {
    EXPECT_FALSE(IsValidPath(dir.path() + "\\" + bad)) << bad;
  }
}

// Directory trees ----------------------------------------------------------------

TEST(CommonFileManagementTree, CreatesMissingLevelsBelowAnExistingOne) {
  ScratchDir dir;
  test::MakeDirs(dir / "a");
  CreateDirectoryTree(dir.path() + "\\a\\b\\c");
  EXPECT_TRUE(test::PathExists(dir / "a/b"));
  EXPECT_TRUE(test::PathExists(dir / "a/b/c"));
}

TEST(CommonFileManagementTree, ExistingDirectoryIsLeftAlone) {
  ScratchDir dir;
  test::WriteFile(dir / "a/keep.txt", "k");
  CreateDirectoryTree(dir.path() + "\\a");
  CreateDirectoryTree(dir.path() + "/a/");
  EXPECT_EQ(test::ReadFile(dir / "a/keep.txt"), "k");
}

TEST(CommonFileManagementTree, EmptyPathThrows) {
  ExpectFileException([] { CreateDirectoryTree(""); }, "Empty path", 153);
}

TEST(CommonFileManagementTree, ForbiddenNameThrowsInvalidPathAndCreatesNothing) {
  ScratchDir dir;
  const std::string path = dir.path() + "\\ok\\bad<name>\\c";
  ExpectFileException([&] { CreateDirectoryTree(path); }, "Invalid path: " + path, 158);
  EXPECT_FALSE(test::PathExists(dir / "ok"));
}

TEST(CommonFileManagementTree, FileInTheWayThrowsFailedToCreate) {
  ScratchDir dir;
  test::WriteFile(dir / "plain", "x");
  const std::string path = dir.path() + "\\plain\\sub";
  ExpectFileException([&] { CreateDirectoryTree(path); }, "Failed to create directory (" + path + ")", 173);
}

TEST(CommonFileManagementTree, OverlongNameThrowsFailedToCreate) {
  ScratchDir dir;
  const std::string tooLong = dir.path() + "\\" + std::string(300, 'n');
  ExpectFileException([&] { CreateDirectoryTree(tooLong + "\\sub"); }, "Failed to create directory (" + tooLong + ")",
                      173);
}

TEST(CommonFileManagementTree, OverlongPathFailsCleanlyPartWayDown) {
  ScratchDir dir;
  std::string path = dir.path();
  for (int i = 0; i < 40; ++i) path += "\\" + std::string(200, static_cast<char>('a' + i % 26));
  try {
    CreateDirectoryTree(path);
    FAIL() << "a path of " << path.size() << " bytes was created";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Line(), 173);
    EXPECT_EQ(e.Message().rfind("Failed to create directory (" + dir.path() + "\\", 0), 0u);
  }
}

// Whole files -------------------------------------------------------------------

TEST(CommonFileManagementWholeFile, RoundTripsBinaryContentAndCreatesParents) {
  ScratchDir dir;
  std::string content;
  for (int i = 0; i < 200000; ++i) content.push_back(static_cast<char>((i * 7919) & 0xFF));
  const std::string path = dir.path() + "\\x\\y\\blob.bin";
  ASSERT_TRUE(WriteWholeFile(path, Bytes(content)));
  EXPECT_EQ(test::ReadFile(dir / "x/y/blob.bin"), content);

  ByteArray read(kByteArrayCapacity);
  ASSERT_TRUE(ReadWholeFile(path, read));
  EXPECT_EQ(Text(read), content);
  EXPECT_EQ(ReadWholeFileAsText(path), content);
}

TEST(CommonFileManagementWholeFile, WriteTruncatesAndReadReplaces) {
  ScratchDir dir;
  test::WriteFile(dir / "f.txt", "a much longer old content");
  ASSERT_TRUE(WriteWholeFile(dir / "f.txt", Bytes("new")));
  EXPECT_EQ(test::ReadFile(dir / "f.txt"), "new");

  ByteArray read = Bytes("stale bytes");
  ASSERT_TRUE(ReadWholeFile(dir / "f.txt", read));
  EXPECT_EQ(Text(read), "new");
}

TEST(CommonFileManagementWholeFile, EmptyFileReadsAsEmpty) {
  ScratchDir dir;
  ASSERT_TRUE(WriteWholeFile(dir / "empty", Bytes("")));
  EXPECT_TRUE(test::PathExists(dir / "empty"));
  ByteArray read(kByteArrayCapacity);
  EXPECT_TRUE(ReadWholeFile(dir / "empty", read));
  EXPECT_EQ(read.Count(), 0u);
  EXPECT_EQ(ReadWholeFileAsText(dir / "empty"), "");
}

TEST(CommonFileManagementWholeFile, MissingOrHeldFileCannotBeRead) {
  ScratchDir dir;
  ByteArray read = Bytes("stale");
  EXPECT_FALSE(ReadWholeFile(dir / "missing", read));
  EXPECT_EQ(read.Count(), 0u);
  EXPECT_EQ(ReadWholeFileAsText(dir / "missing"), "");

  test::WriteFile(dir / "held", "secret");
  platform::FileHandle holder = HoldExclusively(dir / "held");
  ASSERT_TRUE(holder.IsOpen());
  EXPECT_FALSE(ReadWholeFile(dir / "held", read));
  EXPECT_EQ(ReadWholeFileAsText(dir / "held"), "");
  EXPECT_FALSE(WriteWholeFile(dir / "held", Bytes("overwritten")));
  holder.Close();
  EXPECT_EQ(test::ReadFile(dir / "held"), "secret");
}

TEST(CommonFileManagementWholeFile, WriteOntoADirectoryFails) {
  ScratchDir dir;
  test::MakeDirs(dir / "folder");
  EXPECT_FALSE(WriteWholeFile(dir / "folder", Bytes("x")));
}

TEST(CommonFileManagementWholeFile, WriteUnderAForbiddenNameThrowsInvalidPath) {
  ScratchDir dir;
  const std::string parent = dir.path() + "\\bad|dir";
  ExpectFileException([&] { WriteWholeFile(parent + "\\f.bin", Bytes("x")); }, "Invalid path: " + parent, 158);
}

// Tree deletion -------------------------------------------------------------------

TEST(CommonFileManagementDeleteTree, MissingPathGivesZero) {
  ScratchDir dir;
  CapturedEvents events;
  EXPECT_EQ(DeleteTree(dir.path() + "\\missing", 1), 0);
  EXPECT_TRUE(events.entries().empty());
}

TEST(CommonFileManagementDeleteTree, SingleFileIsDeleted) {
  ScratchDir dir;
  test::WriteFile(dir / "f.MAI", "x");
  EXPECT_EQ(DeleteTree(dir.path() + "\\f.MAI", 0), 1);
  EXPECT_FALSE(test::PathExists(dir / "f.MAI"));
}

TEST(CommonFileManagementDeleteTree, RecursiveDeleteRemovesEverything) {
  ScratchDir dir;
  test::WriteFile(dir / "box/Inbox/1.MAI", "1");
  test::WriteFile(dir / "box/Inbox/_index.xml", "<index/>");
  test::WriteFile(dir / "box/Sent/Deep/2.MAI", "2");
  test::MakeDirs(dir / "box/Empty");
  CapturedEvents events;
  EXPECT_EQ(DeleteTree(dir.path() + "\\box", 1), 1);
  EXPECT_FALSE(test::PathExists(dir / "box"));
  EXPECT_TRUE(events.entries().empty());
}

TEST(CommonFileManagementDeleteTree, NonRecursiveDeleteLeavesSubdirectoriesAndReports) {
  ScratchDir dir;
  test::WriteFile(dir / "box/1.MAI", "1");
  test::WriteFile(dir / "box/sub/2.MAI", "2");
  CapturedEvents events;
  const std::string path = dir.path() + "\\box";
  EXPECT_EQ(DeleteTree(path, 0), 2);
  EXPECT_FALSE(test::PathExists(dir / "box/1.MAI"));
  EXPECT_TRUE(test::PathExists(dir / "box/sub/2.MAI"));
  const auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, 4);
  EXPECT_EQ(entries[0].identifier, 0x40000001u);
  EXPECT_EQ(entries[0].source, "Tarnwick");
  EXPECT_EQ(entries[0].text2, "Call to RemoveDirectory failed for " + path + " (GetLastError() returned 145)");
}

TEST(CommonFileManagementDeleteTree, NonRecursiveDeleteOfFilesOnlyRemovesTheDirectory) {
  ScratchDir dir;
  test::WriteFile(dir / "box/1.MAI", "1");
  test::WriteFile(dir / "box/2.MAI", "2");
  EXPECT_EQ(DeleteTree(dir.path() + "\\box", 0), 1);
  EXPECT_FALSE(test::PathExists(dir / "box"));
}

TEST(CommonFileManagementDeleteTree, HeldFileGivesZeroAndAnEvent) {
  ScratchDir dir;
  test::WriteFile(dir / "_index.blk", "");
  platform::FileHandle holder = HoldExclusively(dir / "_index.blk");
  ASSERT_TRUE(holder.IsOpen());
  CapturedEvents events;
  const std::string path = dir.path() + "\\_index.blk";
  EXPECT_EQ(DeleteTree(path, 1), 0);
  EXPECT_TRUE(test::PathExists(dir / "_index.blk"));
  const auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, 4);
  EXPECT_EQ(entries[0].identifier, 0x40000001u);
  EXPECT_EQ(entries[0].text1, "Tarnwick Store Provider error: 32");
  EXPECT_EQ(entries[0].text2, "Call to DeleteFile failed for " + path + " (GetLastError() returned 32)");
}

TEST(CommonFileManagementDeleteTree, HeldFileInsideATreeGivesTwoAndOnlyItsEvent) {
  ScratchDir dir;
  test::WriteFile(dir / "box/Inbox/held.MAI", "h");
  test::WriteFile(dir / "box/Inbox/free.MAI", "f");
  test::WriteFile(dir / "box/other.MAI", "o");
  platform::FileHandle holder = HoldExclusively(dir / "box/Inbox/held.MAI");
  ASSERT_TRUE(holder.IsOpen());
  CapturedEvents events;
  EXPECT_EQ(DeleteTree(dir.path() + "\\box", 1), 2);
  EXPECT_TRUE(test::PathExists(dir / "box/Inbox/held.MAI"));
  EXPECT_FALSE(test::PathExists(dir / "box/Inbox/free.MAI"));
  EXPECT_FALSE(test::PathExists(dir / "box/other.MAI"));
  const auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text2, "Call to DeleteFile failed for " + dir.path() + "\\box\\Inbox\\held.MAI" +
                                  " (GetLastError() returned 32)");
  // Once the holder is gone the rest goes too.
  holder.Close();
  EXPECT_EQ(DeleteTree(dir.path() + "\\box", 1), 1);
  EXPECT_FALSE(test::PathExists(dir / "box"));
}

TEST(CommonFileManagementDeleteTree, LinkToADirectoryElsewhereIsNotWalkedInto) {
  ScratchDir dir;
  test::WriteFile(dir / "outside/precious.MAI", "keep");
  test::WriteFile(dir / "box/1.MAI", "1");
  std::filesystem::create_directory_symlink(dir / "outside", dir / "box/link");
  DeleteTree(dir.path() + "\\box", 1);
  EXPECT_EQ(test::ReadFile(dir / "outside/precious.MAI"), "keep");
}

// Moves and copies -----------------------------------------------------------------

TEST(CommonFileManagementMove, MovesAFileIntoANewTree) {
  ScratchDir dir;
  test::WriteFile(dir / "1.MAI", "message");
  MoveFileChecked(dir.path() + "\\1.MAI", dir.path() + "\\a\\b\\1.MAI");
  EXPECT_FALSE(test::PathExists(dir / "1.MAI"));
  EXPECT_EQ(test::ReadFile(dir / "a/b/1.MAI"), "message");
}

TEST(CommonFileManagementMove, MovesADirectory) {
  ScratchDir dir;
  test::WriteFile(dir / "Old/1.MAI", "m");
  MoveFileChecked(dir.path() + "\\Old", dir.path() + "\\Renamed");
  EXPECT_FALSE(test::PathExists(dir / "Old"));
  EXPECT_EQ(test::ReadFile(dir / "Renamed/1.MAI"), "m");
}

TEST(CommonFileManagementMove, MissingSourceThrowsFileNotFound) {
  ScratchDir dir;
  const std::string source = dir.path() + "\\missing.MAI";
  ExpectFileException([&] { MoveFileChecked(source, dir.path() + "\\dest\\x.MAI"); }, "File not found: " + source,
                      375);
  EXPECT_FALSE(test::PathExists(dir / "dest"));
}

TEST(CommonFileManagementMove, ExistingDestinationThrowsMoveFailed) {
  ScratchDir dir;
  test::WriteFile(dir / "a.MAI", "a");
  test::WriteFile(dir / "b.MAI", "b");
  ExpectFileException([&] { MoveFileChecked(dir / "a.MAI", dir / "b.MAI"); },
                      "Call to MoveFile failed (GetLastError() returned 183)", 401);
  EXPECT_EQ(test::ReadFile(dir / "a.MAI"), "a");
  EXPECT_EQ(test::ReadFile(dir / "b.MAI"), "b");
}

TEST(CommonFileManagementMove, ForbiddenDestinationThrowsInvalidPath) {
  ScratchDir dir;
  test::WriteFile(dir / "a.MAI", "a");
  const std::string parent = dir.path() + "\\what?";
  ExpectFileException([&] { MoveFileChecked(dir / "a.MAI", parent + "\\a.MAI"); }, "Invalid path: " + parent, 158);
  EXPECT_TRUE(test::PathExists(dir / "a.MAI"));
}

TEST(CommonFileManagementCopy, CopiesAFileOverTheDestination) {
  ScratchDir dir;
  test::WriteFile(dir / "src.MAI", "new");
  test::WriteFile(dir / "out/dst.MAI", "old");
  CopyFileOrTree(dir.path() + "\\src.MAI", dir.path() + "\\out\\dst.MAI", 0);
  EXPECT_EQ(test::ReadFile(dir / "out/dst.MAI"), "new");
  EXPECT_EQ(test::ReadFile(dir / "src.MAI"), "new");
  CopyFileOrTree(dir.path() + "\\src.MAI", dir.path() + "\\x\\y\\copy.MAI", 0);
  EXPECT_EQ(test::ReadFile(dir / "x/y/copy.MAI"), "new");
}

TEST(CommonFileManagementCopy, FailIfExistsKeepsTheDestinationAndThrows) {
  ScratchDir dir;
  test::WriteFile(dir / "src.MAI", "new");
  test::WriteFile(dir / "dst.MAI", "old");
  ExpectFileException([&] { CopyFileOrTree(dir / "src.MAI", dir / "dst.MAI", 1); },
                      "Call to CopyFile failed (GetLastError() returned 80)", 474);
  EXPECT_EQ(test::ReadFile(dir / "dst.MAI"), "old");
}

TEST(CommonFileManagementCopy, CopiesATreeRecursively) {
  ScratchDir dir;
  test::WriteFile(dir / "Inbox/1.MAI", "one");
  test::WriteFile(dir / "Inbox/_index.xml", "<index/>");
  test::WriteFile(dir / "Inbox/Sub/2.MAI", "two");
  test::MakeDirs(dir / "Inbox/Empty");
  CopyFileOrTree(dir.path() + "\\Inbox", dir.path() + "\\Copy\\Inbox", 0);
  EXPECT_EQ(test::ReadFile(dir / "Copy/Inbox/1.MAI"), "one");
  EXPECT_EQ(test::ReadFile(dir / "Copy/Inbox/_index.xml"), "<index/>");
  EXPECT_EQ(test::ReadFile(dir / "Copy/Inbox/Sub/2.MAI"), "two");
  EXPECT_TRUE(test::PathExists(dir / "Copy/Inbox/Empty"));
  EXPECT_EQ(test::ReadFile(dir / "Inbox/1.MAI"), "one");
}

TEST(CommonFileManagementCopy, MissingSourceThrowsFileNotFound) {
  ScratchDir dir;
  const std::string source = dir.path() + "\\nothing";
  ExpectFileException([&] { CopyFileOrTree(source, dir.path() + "\\dest", 0); }, "File not found: " + source, 421);
}

TEST(CommonFileManagementCopy, TreeCopyStopsAtAFileInTheWay) {
  ScratchDir dir;
  test::WriteFile(dir / "Inbox/Sub/2.MAI", "two");
  test::WriteFile(dir / "Copy/Sub", "a file where a directory should go");
  // The file counts as existing, so no directory is made there and the copy
  // of 2.MAI below it finds no path.
  ExpectFileException([&] { CopyFileOrTree(dir.path() + "\\Inbox", dir.path() + "\\Copy", 0); },
                      "Call to CopyFile failed (GetLastError() returned 3)", 474);
  EXPECT_EQ(test::ReadFile(dir / "Copy/Sub"), "a file where a directory should go");
}

TEST(CommonFileManagementCopy, TreeCopyUnderAFileThrowsFailedToCreate) {
  ScratchDir dir;
  test::WriteFile(dir / "Inbox/1.MAI", "one");
  test::WriteFile(dir / "plain", "x");
  const std::string destination = dir.path() + "\\plain\\Inbox";
  ExpectFileException([&] { CopyFileOrTree(dir.path() + "\\Inbox", destination, 0); },
                      "Failed to create directory (" + destination + ")", 173);
}

// Retrying delete and move ------------------------------------------------------------

TEST(CommonFileManagementRetry, DeleteOfMissingFileSucceedsAtOnce) {
  ScratchDir dir;
  FastSleep sleep;
  EXPECT_TRUE(DeleteFileWithRetry(dir / "missing.tmp"));
  EXPECT_TRUE(DeleteFileWithRetry(dir.path() + "\\no\\such\\dir\\f.tmp"));
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileManagementRetry, DeleteOfAFreeFileNeedsNoRetry) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tmp", "x");
  FastSleep sleep;
  EXPECT_TRUE(DeleteFileWithRetry(dir.path() + "\\_activity.tmp"));
  EXPECT_FALSE(test::PathExists(dir / "_activity.tmp"));
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileManagementRetry, DeleteOfAHeldFileGivesUpAfterSixteenRetries) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tab", "x");
  platform::FileHandle holder = HoldExclusively(dir / "_activity.tab");
  ASSERT_TRUE(holder.IsOpen());
  FastSleep sleep;
  EXPECT_FALSE(DeleteFileWithRetry(dir / "_activity.tab"));
  EXPECT_EQ(FastSleep::Calls(), 16u);
  EXPECT_EQ(FastSleep::TotalMilliseconds(), 16000u);
  EXPECT_TRUE(test::PathExists(dir / "_activity.tab"));
}

TEST(CommonFileManagementRetry, DeleteSucceedsOnceTheHolderLetsGo) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tab", "x");
  platform::FileHandle holder = HoldExclusively(dir / "_activity.tab");
  ASSERT_TRUE(holder.IsOpen());
  SleepWithAction sleep(3, [&] { holder.Close(); });
  EXPECT_TRUE(DeleteFileWithRetry(dir / "_activity.tab"));
  EXPECT_EQ(SleepWithAction::Calls(), 3u);
  EXPECT_FALSE(test::PathExists(dir / "_activity.tab"));
}

TEST(CommonFileManagementRetry, MoveSucceedsAtOnceWhenFree) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tmp", "listeners");
  FastSleep sleep;
  EXPECT_TRUE(MoveActivityFileWithRetry(dir / "_activity.tmp", dir / "_activity.tab"));
  EXPECT_EQ(test::ReadFile(dir / "_activity.tab"), "listeners");
  EXPECT_FALSE(test::PathExists(dir / "_activity.tmp"));
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileManagementRetry, MoveOfMissingSourceFailsAtOnce) {
  ScratchDir dir;
  FastSleep sleep;
  EXPECT_FALSE(MoveActivityFileWithRetry(dir / "_activity.tmp", dir / "_activity.tab"));
  EXPECT_FALSE(MoveActivityFileWithRetry(dir.path() + "\\gone\\_activity.tmp", dir / "_activity.tab"));
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileManagementRetry, MoveOntoAnExistingFileGivesUpAfterSixteenRetries) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tmp", "new");
  test::WriteFile(dir / "_activity.tab", "old");
  FastSleep sleep;
  EXPECT_FALSE(MoveActivityFileWithRetry(dir / "_activity.tmp", dir / "_activity.tab"));
  EXPECT_EQ(FastSleep::Calls(), 16u);
  EXPECT_EQ(FastSleep::TotalMilliseconds(), 16000u);
  EXPECT_EQ(test::ReadFile(dir / "_activity.tab"), "old");
  EXPECT_EQ(test::ReadFile(dir / "_activity.tmp"), "new");
}

TEST(CommonFileManagementRetry, MoveSucceedsOnceTheDestinationIsGone) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tmp", "new");
  test::WriteFile(dir / "_activity.tab", "old");
  SleepWithAction sleep(2, [&] { std::remove((dir / "_activity.tab").c_str()); });
  EXPECT_TRUE(MoveActivityFileWithRetry(dir / "_activity.tmp", dir / "_activity.tab"));
  EXPECT_EQ(SleepWithAction::Calls(), 2u);
  EXPECT_EQ(test::ReadFile(dir / "_activity.tab"), "new");
}

// Directory listings ------------------------------------------------------------------

std::vector<std::string> Names(const std::vector<platform::FindData>& list) {
  std::vector<std::string> names;
  for (const auto& entry : list) names.push_back(entry.name);
  return names;
}

TEST(CommonFileManagementList, SortsWithoutCaseAndSkipsLibraryFilesDotsAndDirectories) {
  ScratchDir dir;
  test::WriteFile(dir / "B.MAI", "bb");
  test::WriteFile(dir / "a.MAI", "a");
  test::WriteFile(dir / "_index.xml", "<index/>");
  test::WriteFile(dir / ".hidden.MAI", "h");
  test::WriteFile(dir / "_x.MAI", "x");
  test::MakeDirs(dir / "C.MAI");
  std::vector<platform::FindData> list;
  EXPECT_EQ(ListDirectory(dir.path() + "\\*", list, -1), 2u);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a.MAI", "B.MAI"}));
  EXPECT_EQ(list[0].size, 1u);
  EXPECT_EQ(list[1].size, 2u);
  EXPECT_EQ(ListDirectory(dir.path() + "\\*.mai", list, -1), 2u);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a.MAI", "B.MAI"}));
}

TEST(CommonFileManagementList, MaximumCountsTheEntryThatReachesItWithoutTakingIt) {
  ScratchDir dir;
  for (const char* name : {"1.MAI", "2.MAI", "3.MAI", "4.MAI", "5.MAI"}) test::WriteFile(dir / name, "m");
  std::vector<platform::FindData> list;
  const std::string pattern = dir.path() + "\\*.MAI";
  EXPECT_EQ(ListDirectory(pattern, list, -1), 5u);
  EXPECT_EQ(ListDirectory(pattern, list, 3), 2u);
  EXPECT_EQ(ListDirectory(pattern, list, 5), 4u);
  EXPECT_EQ(ListDirectory(pattern, list, 6), 5u);
  EXPECT_EQ(ListDirectory(pattern, list, 1), 0u);
  EXPECT_EQ(ListDirectory(pattern, list, 0), 0u);
}

TEST(CommonFileManagementList, NothingMatchingClearsTheList) {
  ScratchDir dir;
  std::vector<platform::FindData> list(3);
  EXPECT_EQ(ListDirectory(dir.path() + "\\*.vcf", list, -1), 0u);
  EXPECT_TRUE(list.empty());
  list.resize(2);
  EXPECT_EQ(ListDirectory(dir.path() + "\\missing\\*", list, -1), 0u);
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace tw
