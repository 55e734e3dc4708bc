// Handles in the shape of CreateFile within one process: dispositions, sharing,
// error numbers, streams. Races and other processes: exclusive_handle_process_test.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/file_handles.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using D = Disposition;

std::set<std::string> Names(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) names.insert(entry.path().filename());
  return names;
}

using test::Exclusive;
using test::FailureOf;
using test::Shared;

TEST(FileHandleDisposition, EachDispositionOnMissingAndExistingFile) {
  struct Case { D disposition; bool exists; uint32_t error; const char* after; };  // after: nullptr = no file
  const Case cases[] = {{D::CreateNew, false, 0, ""},         {D::CreateNew, true, kErrorFileExists, "old"},
                        {D::CreateAlways, false, 0, ""},      {D::CreateAlways, true, kErrorAlreadyExists, ""},
                        {D::OpenAlways, false, 0, ""},        {D::OpenAlways, true, kErrorAlreadyExists, "old"},
                        {D::OpenExisting, false, kErrorFileNotFound, nullptr},     {D::OpenExisting, true, 0, "old"},
                        {D::TruncateExisting, false, kErrorFileNotFound, nullptr}, {D::TruncateExisting, true, 0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    test::ScratchDir dir;
    if (c.exists) test::WriteFile(dir / "x.blk", "old");
    SetLastError(999);
    FileHandle handle = Exclusive(dir / "x.blk", c.disposition);
    EXPECT_EQ(GetLastError(), c.error);
    const bool opens = c.error == kErrorSuccess || c.error == kErrorAlreadyExists;
    EXPECT_EQ(handle.IsOpen(), opens);
    EXPECT_EQ(handle.Value() != 0, opens);  // 0 means "no handle"
    handle.Close();
    EXPECT_EQ(test::PathExists(dir / "x.blk") ? test::ReadFile(dir / "x.blk") : "<none>", c.after ? c.after : "<none>");
    EXPECT_EQ(Names(dir.path()).size(), c.after ? 1u : 0u);  // no temporary left behind
  }
}

TEST(FileHandleErrors, BadPathsFailWithTheirNumberAndTouchNothing) {
  test::ScratchDir dir;
  test::MakeDirs(dir / "sub");
  std::string deep = dir.path();
  while (deep.size() < 5000) deep += "/" + std::string(100, 'd');
  struct Case { std::string path; D disposition; uint32_t error; };
  std::vector<Case> cases = {{dir / "sub", D::OpenExisting, kErrorAccessDenied},
                             {dir / "sub", D::OpenAlways, kErrorAccessDenied},
                             {dir / std::string(300, 'n'), D::CreateNew, kErrorFilenameTooLong},
                             {deep + "/x", D::OpenExisting, kErrorFilenameTooLong}};
  for (D d : {D::CreateNew, D::CreateAlways, D::OpenAlways, D::OpenExisting})
    cases.push_back({dir / "missing/x.blk", d, kErrorPathNotFound});
  for (const char* name : {"a?b", "a*b", "a|b", "a<b", "a>b", "a\"b", "a:b", "a\x01"})
    cases.push_back({dir / name, D::CreateNew, kErrorInvalidName});
  for (const Case& c : cases) {
    // A read-only open of a directory succeeds in open() and is refused after.
    const bool reads = c.disposition == D::OpenExisting;
    EXPECT_EQ(FailureOf(reads ? Shared(c.path) : Exclusive(c.path, c.disposition)), c.error) << c.path.substr(0, 200);
  }
  EXPECT_EQ(Names(dir.path()), std::set<std::string>{"sub"});
  // The longest name works (its longer temporary must fit too); backslashes separate.
  test::MakeDirs(dir / "Inbox");
  EXPECT_EQ(FailureOf(Exclusive(dir / std::string(255, 'n'), D::CreateNew)), 0u);
  EXPECT_EQ(FailureOf(Exclusive(dir.path() + "\\Inbox\\_index.blk", D::CreateNew)), 0u);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"Inbox", std::string(255, 'n'), "sub"}));
  EXPECT_EQ(Names(dir / "Inbox"), std::set<std::string>{"_index.blk"});
}

TEST(FileHandleSharing, ExclusiveHandleExcludesEveryOtherOpenUntilClosed) {
  test::ScratchDir dir;
  const std::string path = dir / "x.blk";
  FileHandle original = Exclusive(path, D::CreateNew);
  ASSERT_TRUE(original.Write("precious", 8));
  FileHandle holder;
  holder = FileHandle(std::move(original));  // the lock travels with the handle
  EXPECT_FALSE(original.IsOpen());
  EXPECT_EQ(FailureOf(Shared(path)), kErrorSharingViolation);
  for (D d : {D::OpenExisting, D::OpenAlways, D::CreateAlways, D::TruncateExisting}) {
    EXPECT_EQ(FailureOf(Exclusive(path, d)), kErrorSharingViolation);
    EXPECT_EQ(FailureOf(OpenFile(path, Access::Write, Share::All, d)), kErrorSharingViolation);
  }
  EXPECT_EQ(test::ReadFile(path), "precious");  // the refused truncating opens cut nothing
  holder = FileHandle();
  EXPECT_EQ(FailureOf(Exclusive(path)), 0u);
}

TEST(FileHandleSharing, ReadSharingAdmitsReadersOnly) {
  test::ScratchDir dir;
  const std::string path = dir / "_activity.blk";
  FileHandle holder = OpenFile(path, Access::ReadWrite, Share::Read, D::CreateNew);
  ASSERT_TRUE(holder.IsOpen());
  ASSERT_TRUE(holder.Write("stamp", 5));
  EXPECT_EQ(FailureOf(Shared(path)), 0u);
  EXPECT_EQ(FailureOf(OpenFile(path, Access::Write, Share::All, D::OpenExisting)), kErrorSharingViolation);
  EXPECT_EQ(FailureOf(Exclusive(path)), kErrorSharingViolation);
  EXPECT_FALSE(DeleteFile(path));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(MoveFile(path, dir / "moved"));
  test::WriteFile(dir / "new.tmp", "new");
  EXPECT_FALSE(ReplaceFile(dir / "new.tmp", path));  // a save's rename over a held file
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(test::ReadFile(path), "stamp");
  holder.Close();
  EXPECT_TRUE(DeleteFile(path));
}

TEST(FileHandleIo, SeekReadTruncateTimeAndClosedHandle) {
  test::ScratchDir dir;
  FileHandle handle = Exclusive(dir / "io.bin", D::CreateNew);
  ASSERT_TRUE(handle.Write("hello world", 11));
  int64_t position = -1;
  char buffer[16] = {};
  size_t got = 0;
  ASSERT_TRUE(handle.Seek(-5, SeekFrom::End, &position) && handle.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(position, 6);
  EXPECT_EQ(std::string(buffer, got), "world");
  EXPECT_FALSE(handle.Seek(-10, SeekFrom::Begin));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  uint64_t fileTime = 0;
  ASSERT_TRUE(handle.Truncate(5) && handle.Flush() && handle.LastWriteTime(fileTime));
  EXPECT_EQ(handle.Size(), 5);
  const uint64_t now = CurrentFileTime();
  EXPECT_LT(fileTime > now ? fileTime - now : now - fileTime, 864000000000ull);  // a file time, not Unix seconds
  handle.Close();
  EXPECT_FALSE(Shared(dir / "io.bin").Write("x", 1));
  EXPECT_EQ(test::ReadFile(dir / "io.bin"), "hello");
  EXPECT_FALSE(handle.Read(buffer, 1, got));
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST(FileHandleStream, ModesMapToDispositionsAndStreamsKeepTheirLock) {
  test::ScratchDir dir;
  const std::string path = dir / "m.txt";
  constexpr uint32_t kBad = kErrorInvalidParameter, kMissing = kErrorFileNotFound;
  for (auto [mode, error] : {std::pair<const char*, uint32_t>{"r", kMissing}, {"r+b", kMissing}, {"", kBad},
                             {"x", kBad}, {"rw", kBad}, {"r++", kBad}, {"wx", kBad}, {"q+", kBad}, {nullptr, kBad}}) {
    EXPECT_EQ(OpenStream(path, mode, false), nullptr) << mode;
    EXPECT_EQ(GetLastError(), error) << mode;
  }
  EXPECT_FALSE(test::PathExists(path));
  struct Case { const char* mode; bool exclusive; long start; const char* write; const char* after; };
  for (const Case& c : {Case{"wt", false, 0, "first", "first"}, Case{"ab", true, 5, "+second", "first+second"},
                        Case{"a+", false, 12, "!", "first+second!"}, Case{"r+", false, 0, "FIRST", "FIRST+second!"},
                        Case{"w+b", false, 0, "", ""}}) {
    FILE* stream = OpenStream(path, c.mode, c.exclusive);
    ASSERT_NE(stream, nullptr) << c.mode;
    EXPECT_EQ(ftell(stream), c.start) << c.mode;
    EXPECT_EQ(FailureOf(Shared(path)), c.exclusive ? kErrorSharingViolation : 0u) << c.mode;
    fputs(c.write, stream);
    fclose(stream);
    EXPECT_EQ(test::ReadFile(path), c.after) << c.mode;
  }

  FileHandle handle = Exclusive(path);
  FILE* stream = handle.ReleaseToStream("w");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(handle.Value(), 0u);
  fputs("via stream", stream);
  EXPECT_EQ(FailureOf(Shared(path)), kErrorSharingViolation);
  fclose(stream);
  EXPECT_EQ(test::ReadFile(path), "via stream");
  // Readers share with readers; the last one to close frees the file.
  FILE* reader1 = OpenStream(path, "r", false);
  FILE* reader2 = OpenStream(path, "rb", false);
  ASSERT_TRUE(reader1 && reader2);
  fclose(reader1);
  EXPECT_EQ(FailureOf(Exclusive(path)), kErrorSharingViolation);
  fclose(reader2);
  EXPECT_EQ(FailureOf(Exclusive(path)), 0u);
}

}  // namespace
}  // namespace tw::platform
