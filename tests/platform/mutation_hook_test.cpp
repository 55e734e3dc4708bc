#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/mutation_hook.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

std::vector<std::string> g_seen;

// What the hook saw: the kind, then the file name (with "+" when it is
// there at that moment) or the bytes written.
void Record(const MutationEvent& event) {
  std::string what = MutationName(event.kind);
  if (!event.path.empty())
    what += " " + std::string(event.path.substr(event.path.find_last_of('/') + 1)) +
            (test::PathExists(std::string(event.path)) ? "+" : "");
  if (event.kind == Mutation::Write) what += " " + std::string(static_cast<const char*>(event.data), event.size);
  if (event.kind == Mutation::Truncate) what += " " + std::to_string(event.size);
  g_seen.push_back(what);
}

// The crash test kills its worker at the N-th change: each change to the
// file system must reach the hook once, before it happens, and reads none.
TEST(PlatformMutationHook, EveryChangeIsToldOnceBeforeItHappens) {
  test::ScratchDir dir;
  g_seen.clear();
  ASSERT_EQ(SetMutationHook(Record), nullptr);
  {
    FileHandle file = OpenFile(dir / "a", Access::ReadWrite, Share::None, Disposition::CreateAlways);
    ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Truncate(2));
    size_t got = 0;
    char buffer[4];
    ASSERT_TRUE(file.Seek(0, SeekFrom::Begin) && file.Read(buffer, sizeof buffer, got));
  }
  ASSERT_TRUE(CopyFile(dir / "a", dir / "b", true));
  ASSERT_TRUE(MoveFile(dir / "b", dir / "c"));
  ASSERT_TRUE(ReplaceFile(dir / "c", dir / "a"));
  ASSERT_TRUE(SetFileLastWriteTime(dir / "a", FileTimeFromUnix(1000000000)));
  ASSERT_TRUE(CreateDirectory(dir / "d"));
  ASSERT_TRUE(RemoveDirectory(dir / "d"));
  ASSERT_TRUE(DeleteFile(dir / "a"));
  EXPECT_FALSE(DeleteFile(dir / "a"));  // nothing there: nothing changes
  FileInfo info;
  EXPECT_FALSE(GetFileInfo(dir / "a", info));
  EXPECT_EQ(SetMutationHook(nullptr), Record);

  // The copy is told when its file is made but still empty.
  const std::vector<std::string> expected = {"write abc",  "truncate 2",           "copy b+",
                                             "move c",     "replace a+",           "set-time a+",
                                             "create-directory d", "remove-directory d+", "delete a+"};
  EXPECT_EQ(g_seen, expected);
  ASSERT_TRUE(CreateDirectory(dir / "e"));
  EXPECT_EQ(g_seen.size(), expected.size()) << "the hook was removed";
}

}  // namespace
}  // namespace tw::platform
