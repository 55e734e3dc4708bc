// Handles in the shape of CreateFile within one process: dispositions,
// sharing, error numbers, and the stream forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.push_back(entry.path().filename());
  return names;
}

std::string ReadAll(FileHandle& handle) {
  std::string text;
  char buffer[64];
  size_t got = 0;
  while (handle.Read(buffer, sizeof buffer, got) && got > 0) text.append(buffer, got);
  return text;
}

// --- Dispositions -----------------------------------------------------------

TEST(FileHandleDisposition, CreateNewMakesFileAndRefusesExistingOne) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  FileHandle handle = OpenFile(path, Access::Write, Share::None, Disposition::CreateNew);
  ASSERT_TRUE(handle.IsOpen()) << GetLastError();
  EXPECT_NE(handle.Value(), 0u);
  EXPECT_TRUE(test::PathExists(path));
  // Only the name itself is left: the temporary it was made under is gone.
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"x.blk"});
  handle.Close();

  FileHandle second = OpenFile(path, Access::Write, Share::None, Disposition::CreateNew);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.Value(), 0u);
  EXPECT_EQ(GetLastError(), kErrorFileExists);
}

TEST(FileHandleDisposition, CreateAlwaysTruncatesAndReportsExisting) {
  test::ScratchDir dir;
  const std::string path = dir / "a.txt";
  {
    FileHandle fresh = OpenFile(path, Access::Write, Share::None, Disposition::CreateAlways);
    ASSERT_TRUE(fresh.IsOpen());
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    ASSERT_TRUE(fresh.Write("old content", 11));
  }
  FileHandle again = OpenFile(path, Access::Write, Share::None, Disposition::CreateAlways);
  ASSERT_TRUE(again.IsOpen());
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  again.Close();
  EXPECT_EQ(test::ReadFile(path), "");
}

TEST(FileHandleDisposition, OpenAlwaysKeepsContentOrCreates) {
  test::ScratchDir dir;
  const std::string path = dir / "a.txt";
  {
    FileHandle created = OpenFile(path, Access::ReadWrite, Share::All, Disposition::OpenAlways);
    ASSERT_TRUE(created.IsOpen());
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    ASSERT_TRUE(created.Write("kept", 4));
  }
  FileHandle opened = OpenFile(path, Access::Read, Share::All, Disposition::OpenAlways);
  ASSERT_TRUE(opened.IsOpen());
  EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
  EXPECT_EQ(ReadAll(opened), "kept");
}

TEST(FileHandleDisposition, OpenExistingAndTruncateExistingNeedTheFile) {
  test::ScratchDir dir;
  const std::string path = dir / "a.txt";
  EXPECT_FALSE(OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(OpenFile(path, Access::Write, Share::None, Disposition::TruncateExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(test::PathExists(path));

  test::WriteFile(path, "some bytes");
  {
    FileHandle reader = OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(ReadAll(reader), "some bytes");
  }
  FileHandle truncated = OpenFile(path, Access::Write, Share::None, Disposition::TruncateExisting);
  ASSERT_TRUE(truncated.IsOpen());
  truncated.Close();
  EXPECT_EQ(test::ReadFile(path), "");
}

TEST(FileHandleDisposition, OpenNeverTruncatesFileHeldByOthers) {
  test::ScratchDir dir;
  const std::string path = dir / "a.txt";
  test::WriteFile(path, "precious");
  FileHandle holder = OpenFile(path, Access::Read, Share::None, Disposition::OpenExisting);
  ASSERT_TRUE(holder.IsOpen());
  EXPECT_FALSE(OpenFile(path, Access::Write, Share::None, Disposition::CreateAlways).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(OpenFile(path, Access::Write, Share::All, Disposition::TruncateExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(test::ReadFile(path), "precious");
}

// --- Errors -------------------------------------------------------------------

TEST(FileHandleErrors, MissingDirectoryIsPathNotFound) {
  test::ScratchDir dir;
  for (Disposition d : {Disposition::CreateNew, Disposition::CreateAlways, Disposition::OpenAlways,
                        Disposition::OpenExisting}) {
    EXPECT_FALSE(OpenFile(dir / "missing/x.blk", Access::ReadWrite, Share::None, d).IsOpen());
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
  }
  EXPECT_FALSE(test::PathExists(dir / "missing"));
}

TEST(FileHandleErrors, DirectoryIsAccessDenied) {
  test::ScratchDir dir;
  test::MakeDirs(dir / "sub");
  EXPECT_FALSE(OpenFile(dir / "sub", Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(OpenFile(dir / "sub", Access::ReadWrite, Share::None, Disposition::OpenAlways).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST(FileHandleErrors, ForbiddenNameIsInvalidName) {
  test::ScratchDir dir;
  for (const char* name : {"a?b", "a*b", "a|b", "a<b", "a>b", "a\"b", "a:b", "a\x01"}) {
    EXPECT_FALSE(OpenFile(dir / name, Access::ReadWrite, Share::None, Disposition::CreateNew).IsOpen()) << name;
    EXPECT_EQ(GetLastError(), kErrorInvalidName) << name;
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(FileHandleErrors, OverlongNameIsFilenameTooLong) {
  test::ScratchDir dir;
  EXPECT_FALSE(
      OpenFile(dir / std::string(300, 'n'), Access::ReadWrite, Share::None, Disposition::CreateNew).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
  std::string deep = dir.path();
  while (deep.size() < 5000) deep += "/" + std::string(100, 'd');
  EXPECT_FALSE(OpenFile(deep + "/x", Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
}

TEST(FileHandleErrors, LongestNameStillWorks) {
  test::ScratchDir dir;
  // The temporary name must fit as well, though it is longer than the name.
  const std::string path = dir / std::string(255, 'n');
  EXPECT_TRUE(OpenFile(path, Access::ReadWrite, Share::None, Disposition::CreateNew).IsOpen()) << GetLastError();
  EXPECT_TRUE(test::PathExists(path));
  EXPECT_EQ(Names(dir.path()).size(), 1u);
}

TEST(FileHandleErrors, BackslashPathsAreMapped) {
  test::ScratchDir dir;
  test::MakeDirs(dir / "Inbox");
  FileHandle handle = OpenFile(dir.path() + "\\Inbox\\_index.blk", Access::Write, Share::None, Disposition::CreateNew);
  ASSERT_TRUE(handle.IsOpen()) << GetLastError();
  EXPECT_TRUE(test::PathExists(dir / "Inbox/_index.blk"));
}

// --- Sharing within one process ------------------------------------------------

TEST(FileHandleSharing, ExclusiveExcludesEveryOtherHandle) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  FileHandle holder = OpenFile(path, Access::Write, Share::None, Disposition::CreateNew);
  ASSERT_TRUE(holder.IsOpen());
  EXPECT_FALSE(OpenFile(path, Access::ReadWrite, Share::None, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(OpenFile(path, Access::Write, Share::None, Disposition::CreateAlways).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);

  holder.Close();
  EXPECT_TRUE(OpenFile(path, Access::ReadWrite, Share::None, Disposition::OpenExisting).IsOpen());
}

TEST(FileHandleSharing, SharedHandlesCoexistButExcludeExclusive) {
  test::ScratchDir dir;
  const std::string path = dir / "data.txt";
  test::WriteFile(path, "x");
  FileHandle a = OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting);
  FileHandle b = OpenFile(path, Access::ReadWrite, Share::All, Disposition::OpenExisting);
  ASSERT_TRUE(a.IsOpen());
  ASSERT_TRUE(b.IsOpen());
  EXPECT_NE(a.Value(), b.Value());
  EXPECT_FALSE(OpenFile(path, Access::Read, Share::None, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  a.Close();
  EXPECT_FALSE(OpenFile(path, Access::Read, Share::None, Disposition::OpenExisting).IsOpen());
  b.Close();
  EXPECT_TRUE(OpenFile(path, Access::Read, Share::None, Disposition::OpenExisting).IsOpen());
}

TEST(FileHandleSharing, MovedHandleKeepsTheLock) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  FileHandle original = OpenFile(path, Access::Write, Share::None, Disposition::CreateNew);
  const uintptr_t value = original.Value();
  FileHandle moved(std::move(original));
  EXPECT_FALSE(original.IsOpen());
  EXPECT_EQ(moved.Value(), value);
  FileHandle assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  assigned = FileHandle();
  EXPECT_TRUE(OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
}

TEST(FileHandleSharing, ThreadsRacingCreateNewHaveOneWinner) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  for (int round = 0; round < 50; ++round) {
    std::vector<FileHandle> handles(4);
    std::vector<uint32_t> errors(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < handles.size(); ++i) {
      threads.emplace_back([&, i] {
        handles[i] = OpenFile(path, Access::Write, Share::None, Disposition::CreateNew);
        errors[i] = GetLastError();
      });
    }
    for (auto& t : threads) t.join();
    int winners = 0;
    for (size_t i = 0; i < handles.size(); ++i) {
      if (handles[i].IsOpen())
        ++winners;
      else
        EXPECT_EQ(errors[i], kErrorFileExists);
    }
    ASSERT_EQ(winners, 1) << "round " << round;
    handles.clear();
    ASSERT_TRUE(std::filesystem::remove(path));
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

// --- Reading and writing -----------------------------------------------------

TEST(FileHandleIo, WriteSeekReadSizeTruncate) {
  test::ScratchDir dir;
  const std::string path = dir / "io.bin";
  FileHandle handle = OpenFile(path, Access::ReadWrite, Share::None, Disposition::CreateNew);
  ASSERT_TRUE(handle.IsOpen());
  ASSERT_TRUE(handle.Write("hello world", 11));
  EXPECT_EQ(handle.Size(), 11);

  int64_t position = -1;
  ASSERT_TRUE(handle.Seek(-5, SeekFrom::End, &position));
  EXPECT_EQ(position, 6);
  char buffer[16] = {};
  size_t got = 0;
  ASSERT_TRUE(handle.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "world");
  ASSERT_TRUE(handle.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);

  ASSERT_TRUE(handle.Seek(0, SeekFrom::Begin));
  ASSERT_TRUE(handle.Seek(2, SeekFrom::Current, &position));
  EXPECT_EQ(position, 2);
  EXPECT_FALSE(handle.Seek(-10, SeekFrom::Begin));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);

  ASSERT_TRUE(handle.Truncate(5));
  EXPECT_EQ(handle.Size(), 5);
  EXPECT_TRUE(handle.Flush());
  handle.Close();
  EXPECT_EQ(test::ReadFile(path), "hello");
}

TEST(FileHandleIo, LastWriteTimeIsRecentFileTime) {
  test::ScratchDir dir;
  FileHandle handle = OpenFile(dir / "t", Access::Write, Share::None, Disposition::CreateNew);
  uint64_t fileTime = 0;
  ASSERT_TRUE(handle.LastWriteTime(fileTime));
  const uint64_t now = CurrentFileTime();
  // Within a day of now: a file time, not Unix seconds.
  EXPECT_LT(fileTime > now ? fileTime - now : now - fileTime, 864000000000ull);
}

TEST(FileHandleIo, ClosedHandleFailsWithInvalidHandle) {
  FileHandle closed;
  EXPECT_EQ(closed.Value(), 0u);
  size_t got = 1;
  char c;
  EXPECT_FALSE(closed.Read(&c, 1, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_FALSE(closed.Write("x", 1));
  EXPECT_EQ(closed.Size(), -1);
  EXPECT_EQ(closed.ReleaseToStream("r"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST(FileHandleIo, ReadOnlyHandleCannotWrite) {
  test::ScratchDir dir;
  const std::string path = dir / "r.txt";
  test::WriteFile(path, "abc");
  FileHandle reader = OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting);
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_FALSE(reader.Write("x", 1));
  EXPECT_EQ(test::ReadFile(path), "abc");
}

// --- Streams ------------------------------------------------------------------

TEST(FileHandleStream, ReleasedStreamKeepsTheLockUntilClosed) {
  test::ScratchDir dir;
  const std::string path = dir / "s.txt";
  FileHandle handle = OpenFile(path, Access::Write, Share::None, Disposition::CreateNew);
  FILE* stream = handle.ReleaseToStream("w");
  ASSERT_NE(stream, nullptr);
  EXPECT_FALSE(handle.IsOpen());
  EXPECT_EQ(handle.Value(), 0u);
  fputs("via stream", stream);
  EXPECT_FALSE(OpenFile(path, Access::Read, Share::All, Disposition::OpenExisting).IsOpen());
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  fclose(stream);
  EXPECT_EQ(test::ReadFile(path), "via stream");
  EXPECT_TRUE(OpenFile(path, Access::Read, Share::None, Disposition::OpenExisting).IsOpen());
}

TEST(FileHandleStream, ModesMapToDispositions) {
  test::ScratchDir dir;
  const std::string path = dir / "m.txt";
  EXPECT_EQ(OpenStream(path, "r", false), nullptr);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(OpenStream(path, "r+b", false), nullptr);
  EXPECT_FALSE(test::PathExists(path));

  FILE* w = OpenStream(path, "wt", false);
  ASSERT_NE(w, nullptr);
  fputs("first", w);
  fclose(w);

  FILE* a = OpenStream(path, "ab", true);
  ASSERT_NE(a, nullptr);
  fputs("+second", a);
  fclose(a);
  EXPECT_EQ(test::ReadFile(path), "first+second");

  FILE* ap = OpenStream(path, "a+", false);
  ASSERT_NE(ap, nullptr);
  EXPECT_EQ(ftell(ap), 12);
  fputs("!", ap);
  fclose(ap);
  EXPECT_EQ(test::ReadFile(path), "first+second!");

  FILE* rp = OpenStream(path, "r+", false);
  ASSERT_NE(rp, nullptr);
  char buffer[6] = {};
  ASSERT_EQ(fread(buffer, 1, 5, rp), 5u);
  EXPECT_STREQ(buffer, "first");
  fseek(rp, 0, SEEK_SET);
  fputs("FIRST", rp);
  fclose(rp);
  EXPECT_EQ(test::ReadFile(path), "FIRST+second!");

  FILE* wp = OpenStream(path, "w+b", false);
  ASSERT_NE(wp, nullptr);
  fclose(wp);
  EXPECT_EQ(test::ReadFile(path), "");
}

TEST(FileHandleStream, UnknownModeIsInvalidParameter) {
  test::ScratchDir dir;
  for (const char* mode : {"", "x", "rw", "r++", "wx", "q+"}) {
    EXPECT_EQ(OpenStream(dir / "m.txt", mode, false), nullptr) << mode;
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter) << mode;
  }
  EXPECT_EQ(OpenStream(dir / "m.txt", nullptr, false), nullptr);
  EXPECT_FALSE(test::PathExists(dir / "m.txt"));
}

TEST(FileHandleStream, ExclusiveStreamExcludesOthers) {
  test::ScratchDir dir;
  const std::string path = dir / "e.txt";
  FILE* exclusive = OpenStream(path, "w", true);
  ASSERT_NE(exclusive, nullptr);
  EXPECT_EQ(OpenStream(path, "r", false), nullptr);
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(OpenStream(path, "a", true), nullptr);
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  fclose(exclusive);

  FILE* reader1 = OpenStream(path, "r", false);
  FILE* reader2 = OpenStream(path, "rb", false);
  EXPECT_NE(reader1, nullptr);
  EXPECT_NE(reader2, nullptr);
  EXPECT_EQ(OpenStream(path, "w", true), nullptr);
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  if (reader1) fclose(reader1);
  if (reader2) fclose(reader2);
}

}  // namespace
}  // namespace tw::platform
