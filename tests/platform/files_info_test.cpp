#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>

#include "platform/creation_time.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

TEST(PlatformFilesInfo, AttributesSizesAndTimes) {
  test::ScratchDir dir;
  for (const char* name : {".hidden", "readonly", "Folder/1.MAI", ".hiddendir/x"})
    test::WriteFile(dir / name, std::string(99, 'x'));
  ASSERT_EQ(::chmod((dir / "readonly").c_str(), 0444) + ::mkfifo((dir / "fifo").c_str(), 0644), 0);
  for (const auto& [target, link] :
       {std::pair<const char*, const char*>{"Folder", "dirlink"}, {"Folder/1.MAI", "filelink"}, {"none", "dangling"}})
    ASSERT_EQ(::symlink((dir / target).c_str(), (dir / link).c_str()), 0);
  for (const auto& [name, attributes] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"Folder", kAttrDirectory}, {"Folder/", kAttrDirectory}, {"Folder/.", kAttrDirectory},
           {".hiddendir", kAttrDirectory | kAttrHidden}, {"Folder/1.MAI", kAttrArchive}, {"fifo", kAttrArchive},
           {".hidden", kAttrArchive | kAttrHidden}, {"readonly", kAttrArchive | kAttrReadonly},
           // Links take their target's attributes and are marked as reparse points.
           {"dirlink", kAttrDirectory | kAttrReparsePoint}, {"filelink", kAttrArchive | kAttrReparsePoint},
           {"dangling", kAttrArchive | kAttrReparsePoint}, {"none", kInvalidAttributes}}) {
    SetLastError(9999);
    EXPECT_EQ(GetFileAttributes(dir / name), attributes) << name;
    EXPECT_EQ(GetLastError(), attributes == kInvalidAttributes ? kErrorFileNotFound : 0) << name;
  }
  EXPECT_EQ(GetFileAttributes(dir / "Folder") & 0x1A6, 0u);  // a tree delete's mask sees all the others above

  const uint64_t when = FileTimeFromUnix(1600000000, 123456700);
  ASSERT_TRUE(SetFileLastWriteTime(dir.path() + "\\FOLDER\\1.mai", when));
  FileInfo info;  // a link describes its target
  ASSERT_TRUE(GetFileInfo(dir / "filelink", info));
  EXPECT_EQ(std::tie(info.attributes, info.size, info.lastWriteTime),
            std::make_tuple(kAttrArchive | kAttrReparsePoint, 99u, when));
  EXPECT_EQ(SetFileLastWriteTime(dir / "none/x", when) ? 0 : GetLastError(), kErrorPathNotFound);
}

TEST(PlatformFilesCreationTime, StaysPutWhateverTheDirectoryGoesThrough) {
  test::ScratchDir dir;
  struct Restore { ~Restore() { detail::SetCreationTimeSources(true, true); } } restore;  // however the test ends
  const auto created = [&](const char* name) { FileInfo i; return GetFileInfo(dir / name, i) ? i.creationTime : 0; };
  const auto written = [&](const char* name, int64_t s) {
    return SetFileLastWriteTime(dir / name, FileTimeFromUnix(s));
  };
  const bool attributes = ::setxattr(dir.path().c_str(), "user.probe", "1", 1, 0) == 0;
  const uint64_t t14 = FileTimeFromUnix(1400000000);
  for (const bool useAttribute : {true, false}) {
    detail::SetCreationTimeSources(false, useAttribute);  // as on a file system without birth times
    test::WriteFile(dir / "Inbox/1.MAI", "x");
    ASSERT_TRUE(written("Inbox", 1400000000));
    EXPECT_EQ(created("Inbox"), t14);
    ASSERT_TRUE(MoveFile(dir / "Inbox", dir / "Moved") && DeleteFile(dir / "Moved/1.MAI"));
    ASSERT_TRUE(written("Moved", 2000000000));
    FindHandle find;  // the dot entry of a listing carries it too
    FindData data;
    ASSERT_TRUE(find.First(dir / "Moved/*.*", data));
    EXPECT_EQ(std::tie(data.name, data.creationTime), std::make_tuple(".", t14)) << useAttribute;
    // Kept in an extended attribute where there are any, else in a hidden file.
    char value[32] = {};
    const bool inAttribute = ::getxattr((dir / "Moved").c_str(), "user.tarnwick.created", value, 31) > 0;
    EXPECT_EQ(inAttribute, useAttribute && attributes);
    EXPECT_EQ(inAttribute ? value + std::string("\n") : test::ReadFile(dir / "Moved/.twcreated"),
              std::to_string(t14) + "\n");
    ASSERT_TRUE(RemoveDirectory(dir / "Moved"));
  }
  // A stored value wins; a damaged one is replaced; files use their write time.
  test::WriteFile(dir / "Stored/.twcreated", "130000000000000000\n");
  test::WriteFile(dir / "Damaged/.twcreated", "garbage");
  test::WriteFile(dir / "1.MAI", "x");
  ASSERT_TRUE(written("Damaged", 1400000000) && written("1.MAI", 1400000000));
  EXPECT_EQ(std::make_tuple(created("Stored"), created("Damaged"), created("1.MAI")),
            std::make_tuple(uint64_t{130000000000000000}, t14, t14));
  ASSERT_TRUE(written("Damaged", 1500000000));
  EXPECT_EQ(created("Damaged"), t14);
  detail::SetCreationTimeSources(true, true);  // birth times where the file system keeps them
  const uint64_t born = created("Stored");
  test::WriteFile(dir / "Stored/1.MAI", "x");
  ASSERT_TRUE(written("Stored", 2000000000));
  EXPECT_EQ(created("Stored"), born);
}

TEST(PlatformFileTime, ConvertsUnixTimeAndPacksDosDateAndTimeInLocalTime) {
  EXPECT_EQ(FileTimeFromUnix(1700000000, 123456789), 116444736000000000ull + 17000000000000000ull + 1234567);
  EXPECT_EQ(UnixFromFileTime(FileTimeFromUnix(1700000000, 999999999)), 1700000000);
  EXPECT_EQ(UnixFromFileTime(0), -11644473600);
  EXPECT_EQ(FileTimeFromUnix(-11644473600) + FileTimeFromUnix(-20000000000), 0u);  // before 1601: pinned
  EXPECT_LE(std::llabs(UnixFromFileTime(CurrentFileTime()) - static_cast<int64_t>(std::time(nullptr))), 1);

  test::ScopedTimeZone restore("UTC0");
  const auto zone = [](const char* tz) { setenv("TZ", tz, 1), tzset(); };
  const uint64_t t = FileTimeFromUnix(1614834368);  // 2021-03-04 05:06:08 UTC
  const uint32_t dos = FileTimeToDosDateTime(t);
  EXPECT_EQ(dos, ((41u << 9 | 3u << 5 | 4u) << 16) | (5u << 11 | 6u << 5 | 4u));
  // The ends of the range are pinned; an empty value reads as 1980-01-01.
  EXPECT_EQ(FileTimeToDosDateTime(FileTimeFromUnix(0)), (1u << 5 | 1u) << 16);
  EXPECT_EQ(FileTimeToDosDateTime(FileTimeFromUnix(5000000000)) >> 16, 127u << 9 | 12u << 5 | 31u);
  EXPECT_EQ(UnixFromFileTime(DosDateTimeToFileTime(0)), 315532800);
  zone("XST-2");  // two hours east of UTC
  EXPECT_EQ(FileTimeToDosDateTime(t), dos + (2u << 11));
  zone("CET-1CEST,M3.5.0,M10.5.0/3");
  for (int64_t seconds : std::initializer_list<int64_t>{315619200, 1000000000, 1614834368, 1690000000, 4102444800}) {
    const uint32_t packed = FileTimeToDosDateTime(FileTimeFromUnix(seconds));
    EXPECT_EQ(UnixFromFileTime(DosDateTimeToFileTime(packed)), seconds - seconds % 2) << seconds;  // 2 s steps
    EXPECT_EQ(FileTimeToDosDateTime(DosDateTimeToFileTime(packed)), packed) << seconds;
  }
}

}  // namespace
}  // namespace tw::platform
