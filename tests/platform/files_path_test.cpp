#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/name_cache.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using test::MakeDirs;
using test::ScratchDir;
using test::WriteFile;

void SetMtime(const std::string& path, time_t seconds) {
  timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = seconds;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Sets a directory's modification time well into the past, so that a
// listing read from it is trusted until the directory changes again.
void AgeDirectory(const std::string& path) { SetMtime(path, 1500000000); }

std::string Backslashed(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST(PlatformFilesPath, MapsSeparatorsAndCollapsesRepeats) {
  EXPECT_EQ(ToSystemPath("\\nowhere\\at\\all"), "/nowhere/at/all");
  EXPECT_EQ(ToSystemPath("/nowhere//at\\\\/all"), "/nowhere/at/all");
  EXPECT_EQ(ToSystemPath("\\\\nowhere"), "/nowhere");
  EXPECT_EQ(ToSystemPath("relative\\part"), "relative/part");
  EXPECT_EQ(ToSystemPath("/nowhere/dir\\"), "/nowhere/dir/");
  EXPECT_EQ(ToSystemPath("/nowhere/./x/../y"), "/nowhere/./x/../y");
  EXPECT_EQ(ToSystemPath("\\"), "/");
}

TEST(PlatformFilesPath, FindsComponentsWithoutRegardToCase) {
  ScratchDir dir;
  MakeDirs(dir / "Mail/Joe/Inbox/Projects");
  WriteFile(dir / "Mail/Joe/Inbox/Projects/Plan.MAI", "x");
  EXPECT_EQ(ToSystemPath(dir.path() + "/mail/JOE/INBOX"), dir / "Mail/Joe/Inbox");
  EXPECT_EQ(ToSystemPath(Backslashed(dir.path()) + "\\MAIL\\joe\\inbox\\PROJECTS\\plan.mai"),
            dir / "Mail/Joe/Inbox/Projects/Plan.MAI");
  // A name that exists in no spelling is kept as written, below the part
  // that was found.
  EXPECT_EQ(ToSystemPath(dir.path() + "/MAIL/joe/Sent Items/x.MAI"), dir / "Mail/Joe/Sent Items/x.MAI");
  EXPECT_EQ(ToSystemPath(dir.path() + "/mail/joe/inbox/"), dir / "Mail/Joe/Inbox/");
}

TEST(PlatformFilesPath, PrefersTheSpellingAsWritten) {
  ScratchDir dir;
  MakeDirs(dir / "box/Inbox");
  MakeDirs(dir / "box/INBOX");
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/INBOX");
  EXPECT_EQ(ToSystemPath(dir / "box/Inbox"), dir / "box/Inbox");
  // Several other spellings: the first in byte order, every time.
  EXPECT_EQ(ToSystemPath(dir / "box/inbox"), dir / "box/INBOX");
}

TEST(PlatformFilesPath, DoesNotLookBelowAFile) {
  ScratchDir dir;
  WriteFile(dir / "box/file", "x");
  EXPECT_EQ(ToSystemPath(dir / "box/file/inner"), dir / "box/file/inner");
  EXPECT_EQ(ToSystemPath(dir / "BOX/FILE/inner"), dir / "box/file/inner");
}

TEST(PlatformFilesPath, SpellsLibraryFilesCanonically) {
  EXPECT_EQ(CanonicalLibraryFileName("_change.dty"), "_CHANGE.DTY");
  EXPECT_EQ(CanonicalLibraryFileName("_INDEX.XML"), "_index.xml");
  EXPECT_EQ(CanonicalLibraryFileName("_Index.Xml.Bak"), "_index.xml.bak");
  EXPECT_EQ(CanonicalLibraryFileName("_folder.dat"), "_FOLDER.DAT");
  EXPECT_EQ(CanonicalLibraryFileName("_dirsize.tmp"), "_DIRSIZE.TMP");
  EXPECT_EQ(CanonicalLibraryFileName("_shares.XML"), "_Shares.xml");
  for (const char* name : {"_index.xml", "_index.blk", "_index.dat", "_index.xml.bak", "_groups.xml", "_groups.blk",
                           "_CHANGE.DTY", "_FOLDER.DAT", "_DIRSIZE.TMP", "_folder.xml", "_folder.dty", "_folder.blk",
                           "_activity.tab", "_activity.blk", "_srchidx.upd", "_Shares.xml"})
    EXPECT_EQ(CanonicalLibraryFileName(name), name);
  EXPECT_EQ(CanonicalLibraryFileName("index.xml"), "");
  EXPECT_EQ(CanonicalLibraryFileName("_index.xm"), "");
  EXPECT_EQ(CanonicalLibraryFileName(""), "");
}

TEST(PlatformFilesPath, LibraryFilesAreUsedExactlyWithoutScanning) {
  ScratchDir dir;
  MakeDirs(dir / "Folder");
  WriteFile(dir / "Folder/_change.dty", "variant");
  detail::ClearDirectoryCache();
  const uint64_t scans = detail::DirectoryScanCount();
  EXPECT_EQ(ToSystemPath(dir / "Folder/_change.dty"), dir / "Folder/_CHANGE.DTY");
  EXPECT_EQ(ToSystemPath(dir / "Folder/_INDEX.XML"), dir / "Folder/_index.xml");
  EXPECT_EQ(detail::DirectoryScanCount(), scans);
  // The directories above them are still found in any case.
  EXPECT_EQ(ToSystemPath(dir / "FOLDER/_folder.DTY"), dir / "Folder/_folder.dty");
}

TEST(PlatformFilesPath, ListingsAreCachedUntilTheDirectoryChanges) {
  ScratchDir dir;
  MakeDirs(dir / "box/Inbox");
  AgeDirectory(dir / "box");
  detail::ClearDirectoryCache();
  const uint64_t before = detail::DirectoryScanCount();
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/Inbox");
  EXPECT_EQ(ToSystemPath(dir / "box/inbox"), dir / "box/Inbox");
  EXPECT_EQ(ToSystemPath(dir / "box/missing"), dir / "box/missing");
  EXPECT_EQ(detail::DirectoryScanCount(), before + 1);

  // A rename made behind the cache's back moves the modification time.
  ASSERT_EQ(std::rename((dir / "box/Inbox").c_str(), (dir / "box/Archive").c_str()), 0);
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/INBOX");
  EXPECT_EQ(ToSystemPath(dir / "box/ARCHIVE"), dir / "box/Archive");
  EXPECT_GT(detail::DirectoryScanCount(), before + 1);
}

TEST(PlatformFilesPath, ARecentlyChangedDirectoryIsReadAgain) {
  ScratchDir dir;
  MakeDirs(dir / "box/Inbox");
  // As recent as can be: stamped in the future.
  SetMtime(dir / "box", ::time(nullptr) + 3600);
  detail::ClearDirectoryCache();
  const uint64_t before = detail::DirectoryScanCount();
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/Inbox");
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/Inbox");
  // A change within the same timestamp tick would not move the time, so
  // such a listing is not trusted.
  EXPECT_EQ(detail::DirectoryScanCount(), before + 2);
}

TEST(PlatformFilesPath, SettingTheTimeBackDoesNotFoolTheCache) {
  ScratchDir dir;
  MakeDirs(dir / "box/Inbox");
  AgeDirectory(dir / "box");
  detail::ClearDirectoryCache();
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/Inbox");
  ASSERT_EQ(std::rename((dir / "box/Inbox").c_str(), (dir / "box/Other").c_str()), 0);
  AgeDirectory(dir / "box");  // same modification time as when listed
  EXPECT_EQ(ToSystemPath(dir / "box/INBOX"), dir / "box/INBOX");
}

TEST(PlatformFilesPath, ManyDirectoriesStayCorrect) {
  ScratchDir dir;
  for (int i = 0; i < 80; ++i) MakeDirs(dir / ("d" + std::to_string(i) + "/Sub"));
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 80; ++i)
      EXPECT_EQ(ToSystemPath(dir / ("D" + std::to_string(i) + "/SUB")), dir / ("d" + std::to_string(i) + "/Sub"));
}

TEST(PlatformFilesPath, ConcurrentLookupsAgree) {
  ScratchDir dir;
  constexpr int kDirs = 48;  // more than the cache holds
  for (int i = 0; i < kDirs; ++i) MakeDirs(dir / ("d" + std::to_string(i) + "/Inbox"));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int n = 0; n < 300; ++n) {
        const int i = (n * 7 + t * 13) % kDirs;
        const std::string d = "d" + std::to_string(i);
        if (t == 0 && n % 10 == 0) detail::ForgetDirectory(dir / d);
        if (ToSystemPath(dir / (d + "/INBOX")) != dir / (d + "/Inbox")) ++wrong;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(PlatformFilesPath, ValidNames) {
  EXPECT_TRUE(IsValidFileName("Inbox"));
  EXPECT_TRUE(IsValidFileName("a b.c-d_e(1)[2]{3}~!@#$%^&+=,;'"));
  EXPECT_TRUE(IsValidFileName("\xE4\xF6\xFC"));
  EXPECT_TRUE(IsValidFileName(".hidden"));
  EXPECT_FALSE(IsValidFileName(""));
  for (const char* bad : {"a\"b", "a*b", "a:b", "a<b", "a>b", "a?b", "a|b", "a\\b", "a/b", "\x01", "tab\there",
                          "nl\n", "\x1F"})
    EXPECT_FALSE(IsValidFileName(bad)) << bad;
  EXPECT_FALSE(IsValidFileName(std::string("nul\0in", 6)));
}

}  // namespace
}  // namespace tw::platform
