#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdio>
#include <ctime>
#include <tuple>
#include <vector>

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/name_cache.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using Cases = std::initializer_list<std::pair<const char*, const char*>>;
using Strings = std::vector<std::string>;

TEST(PlatformFilesPath, MapsSeparatorsAndFindsComponentsWithoutRegardToCase) {
  for (const auto& [in, out] : Cases{{"\\\\nowhere\\at", "/nowhere/at"}, {"/nowhere//at\\\\/all", "/nowhere/at/all"},
           {"relative\\part", "relative/part"}, {"/dir\\", "/dir/"}, {"/nowhere/./x/../y", "/nowhere/./x/../y"}})
    EXPECT_EQ(ToSystemPath(in), out) << in;
  test::ScratchDir dir;
  for (const char* file : {"Mail/Joe/Inbox/Projects/Plan.MAI", "box/file", "box/Inbox/x", "box/INBOX/x"})
    test::WriteFile(dir / file, "x");
  for (const auto& [in, out] : Cases{{"/mail/JOE/INBOX", "/Mail/Joe/Inbox"}, {"/mail/joe/inbox/", "/Mail/Joe/Inbox/"},
           {"\\MAIL\\joe\\inbox\\PROJECTS\\plan.mai", "/Mail/Joe/Inbox/Projects/Plan.MAI"},
           {"/MAIL/joe/Sent Items/x.MAI", "/Mail/Joe/Sent Items/x.MAI"},  // kept as written below what was found
           {"/box/INBOX", "/box/INBOX"}, {"/box/Inbox", "/box/Inbox"},  // as written wins, else the first in byte order
           {"/box/inbox", "/box/INBOX"}, {"/BOX/_folder.DTY", "/box/_folder.dty"},
           {"/BOX/FILE/inner", "/box/file/inner"}})  // nothing is looked for below a file
    EXPECT_EQ(ToSystemPath(dir.path() + in), dir.path() + out) << in;
}

TEST(PlatformFilesPath, ForbiddenNamesAndLibraryFileSpellings) {
  for (const char* good : {"Inbox", "a b.c-d_e(1)[2]{3}~!@#$%^&+=,;'", "\xE4\xF6\xFC", ".hidden"})
    EXPECT_TRUE(IsValidFileName(good)) << good;
  for (const std::string& bad : std::initializer_list<std::string>{"", "a\"b", "a*b", "a:b", "a<b", "a>b", "a?b", "a|b",
           "a\\b", "a/b", "\x01", "tab\there", "nl\n", "\x1F", std::string("nul\0in", 6)})
    EXPECT_FALSE(IsValidFileName(bad)) << bad;
  for (const auto& [name, canonical] : Cases{{"_change.dty", "_CHANGE.DTY"}, {"_INDEX.XML", "_index.xml"},
           {"_Index.Xml.Bak", "_index.xml.bak"}, {"_folder.dat", "_FOLDER.DAT"}, {"_dirsize.tmp", "_DIRSIZE.TMP"},
           {"_shares.XML", "_Shares.xml"}, {"index.xml", ""}, {"_index.xm", ""}, {"", ""}})
    EXPECT_EQ(CanonicalLibraryFileName(name), canonical) << name;
  for (const char* name : {"_index.blk", "_index.dat", "_groups.xml", "_groups.blk", "_folder.xml", "_folder.dty",
                           "_folder.blk", "_activity.tab", "_activity.blk", "_srchidx.upd"})
    EXPECT_EQ(CanonicalLibraryFileName(name), name);
}

TEST(PlatformFilesPath, ListingsAreCachedUntilTheDirectoryChanges) {
  test::ScratchDir dir;
  const std::string box = dir / "box";
  test::MakeDirs(box + "/Inbox");
  test::WriteFile(box + "/_change.dty", "a variant spelling");
  const auto setMtime = [&](time_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, box.c_str(), times, 0), 0);
  };
  const auto lookUp = [&](const std::string& name) { return ToSystemPath(box + "/" + name).substr(box.size() + 1); };
  setMtime(1500000000);  // long ago, so the listing is trusted
  detail::ClearDirectoryCache();
  const uint64_t before = detail::DirectoryScanCount();
  EXPECT_EQ(lookUp("_change.dty") + lookUp("_INDEX.XML"), "_CHANGE.DTY_index.xml");  // library files: as spelt
  EXPECT_EQ(detail::DirectoryScanCount(), before);
  EXPECT_EQ(lookUp("INBOX") + lookUp("inbox") + lookUp("missing"), "InboxInboxmissing");
  EXPECT_EQ(detail::DirectoryScanCount(), before + 1);
  // Renames behind the cache's back: seen through the modification time, and
  // also when that is set back to what it was when listed.
  ASSERT_EQ(std::rename((box + "/Inbox").c_str(), (box + "/Archive").c_str()), 0);
  EXPECT_EQ(lookUp("INBOX") + lookUp("ARCHIVE"), "INBOXArchive");
  setMtime(1500000000);
  EXPECT_EQ(lookUp("ARCHIVE"), "Archive");
  ASSERT_EQ(std::rename((box + "/Archive").c_str(), (box + "/Other").c_str()), 0);
  setMtime(1500000000);
  EXPECT_EQ(lookUp("ARCHIVE"), "ARCHIVE");
  // A change within one clock tick leaves the time as it was, so a directory
  // changed just now (here: in the future) is listed again on every use.
  setMtime(::time(nullptr) + 3600);
  const uint64_t recent = detail::DirectoryScanCount();
  EXPECT_EQ(lookUp("OTHER") + lookUp("OTHER"), "OtherOther");
  EXPECT_EQ(detail::DirectoryScanCount(), recent + 2);
}

// A large directory changed since it was listed is not listed again for a
// name with few letters: its spellings are looked up one by one, with the
// same answers a listing gives.
TEST(PlatformFilesPath, LargeDirectoriesAreProbedRatherThanListedAgain) {
  test::ScratchDir dir;
  const std::string box = dir / "box";
  test::MakeDirs(box);
  for (int i = 0; i < 4000; ++i) test::WriteFile(box + "/" + std::to_string(i) + ".MAI", "");
  struct stat st {};
  ASSERT_EQ(::stat(box.c_str(), &st), 0);
  if (st.st_size < 65536) GTEST_SKIP() << "this file system keeps directories small";
  test::WriteFile(box + "/_change.dty", "");
  test::WriteFile(box + "/_Change.DTY", "");
  detail::ClearDirectoryCache();
  const uint64_t before = detail::DirectoryScanCount();
  EXPECT_EQ(detail::FindAllCases(box, "_CHANGE.DTY"), (Strings{"_Change.DTY", "_change.dty"}));
  EXPECT_EQ(detail::FindNameIgnoringCase(box, "_CHANGE.DTY"), "_Change.DTY");
  EXPECT_EQ(detail::FindNameIgnoringCase(box, "_change.dty"), "_change.dty");
  EXPECT_EQ(detail::FindNameIgnoringCase(box, "12.mai"), "12.MAI");
  EXPECT_EQ(detail::FindNameIgnoringCase(box, "4000.MAI"), "");
  EXPECT_TRUE(DeleteFileAllCases(box + "/_CHANGE.DTY"));
  EXPECT_EQ(detail::FindAllCases(box, "_change.dty"), Strings{});
  EXPECT_EQ(detail::DirectoryScanCount(), before);
  // A name with many letters is cheaper to find in a listing.
  test::WriteFile(box + "/Quarterly-Report.MAI", "");
  EXPECT_EQ(detail::FindNameIgnoringCase(box, "QUARTERLY-REPORT.mai"), "Quarterly-Report.MAI");
  EXPECT_EQ(detail::DirectoryScanCount(), before + 1);
}

// Threads resolving names while the listings they use are re-read and
// dropped must all get the right answer (and, under the sanitizers, touch no
// freed listing).
TEST(PlatformFilesPath, ConcurrentLookupsAgreeWhileListingsChange) {
  test::ScratchDir dir;
  for (int i = 0; i < 4; ++i) test::MakeDirs(dir / ("Box" + std::to_string(i)));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < 300; ++n) {
        const std::string box = std::to_string((t + n) % 4);
        if (ToSystemPath(dir.path() + "\\BOX" + box + "\\x") != dir.path() + "/Box" + box + "/x") ++wrong;
        if (t == 0) {
          CreateDirectory(dir / ("churn" + box));
          RemoveDirectory(dir / ("churn" + box));
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST(PlatformFilesPattern, MatchesLikeWindowsWithoutRegardToCase) {
  for (const auto& [pattern, name, matches] : std::initializer_list<std::tuple<const char*, const char*, bool>>{
           {"*.MAI", ".MAI", true}, {"*.MAI", "1.MAIL", false}, {"*.MAI", "1MAI", false}, {"a*b*c", "abbbc", true},
           {"a*b*c", "aXXcYYb", false}, {"a?c", "a.c", true}, {"a?c", "ac", false}, {"a?c", "abbc", false},
           {"INBOX", "Inbox2", false}, {"", "x", false}, {"*.*", "..", true}, {"name.*", "NAME", true},
           {"name.*", "names", false}, {"*.MAI", "noext", false}})  // "*.*" and "name.*" also match names without a dot
    EXPECT_EQ(MatchesPattern(pattern, name), matches) << pattern << " " << name;
  std::string stars, name(5000, 'a');  // hostile patterns finish
  for (int i = 0; i < 200; ++i) stars += "*a";
  EXPECT_TRUE(!MatchesPattern(stars + "*b", name) && MatchesPattern(stars + "*", name));
  EXPECT_FALSE(MatchesPattern(std::string(3000, '?') + "*b", name));
}

// Every name a search reports, sorted; empty when nothing matches.
Strings Find(const std::string& pattern) {
  Strings names;
  FindHandle find;
  FindData data;
  for (bool more = find.First(pattern, data); more; more = find.Next(data)) names.push_back(data.name);
  EXPECT_EQ(GetLastError(), names.empty() ? kErrorFileNotFound : kErrorNoMoreFiles) << pattern;
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PlatformFilesFind, ListsSkipsMatchesFillsAndFails) {
  test::ScratchDir dir;
  for (const char* name : {"a.MAI", "B.mai", "c.txt", "noext", "_index.xml", "Sub/.notes.tmp",
                           // Forbidden names and bookkeeping files, such as one left by a creator killed before
                           // naming its new file, are skipped.
                           "colon:name", "star*name", "quest?name", "pipe|name", "back\\slash", "ctl\x01name",
                           "quote\"name", "lt<name", ".twcreated", ".twcreated.123.4",
                           "._index.blk.4242.0123456789abcdef.tmp"})
    test::WriteFile(dir / name, "xy");
  ASSERT_EQ(::symlink((dir / "Sub").c_str(), (dir / "dirlink").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  FindHandle find;
  FindData data, second;
  ASSERT_TRUE(find.First(dir.path() + "\\*.*", data) && find.Next(second));
  EXPECT_EQ(data.name + "|" + second.name, ".|..");
  const Strings all = {".", "..", "B.mai", "Sub", "_index.xml", "a.MAI", "c.txt", "dangling", "dirlink", "noext"};
  for (const auto& [pattern, names] : std::initializer_list<std::pair<const char*, Strings>>{{"\\*", all},
           {"/*.*", all}, {"\\*.MAI", {"B.mai", "a.MAI"}}, {"/*.mai", {"B.mai", "a.MAI"}}, {"/?.txt", {"c.txt"}},
           {"/noext.*", {"noext"}}, {"\\b.MAI", {"B.mai"}}, {"\\sub", {"Sub"}}, {"\\_INDEX.XML", {"_index.xml"}},
           {"\\.", {"."}}, {"/*.vcf", {}}, {"/SUB/*", {".", "..", ".notes.tmp"}}})
    EXPECT_EQ(Find(dir.path() + pattern), names) << pattern;
  ASSERT_TRUE(SetFileLastWriteTime(dir / "a.MAI", FileTimeFromUnix(1500000000)));
  ASSERT_TRUE(find.First(dir / "A.mai", data));  // the handle can be used again
  EXPECT_EQ(std::tie(data.name, data.attributes, data.size, data.lastWriteTime),
            std::make_tuple("a.MAI", kAttrArchive, uint64_t{2}, FileTimeFromUnix(1500000000)));
  EXPECT_NE(data.creationTime, 0u);
  EXPECT_FALSE(find.Next(data) || find.Next(data));
  EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
  for (const auto& [pattern, attributes] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"S*", kAttrDirectory}, {"dirl*", kAttrDirectory | kAttrReparsePoint},
           {"dang*", kAttrArchive | kAttrReparsePoint}}) {
    ASSERT_TRUE(find.First(dir / pattern, data)) << pattern;
    EXPECT_EQ(data.attributes, attributes) << data.name;
  }
  find.Close();
  EXPECT_FALSE(find.IsOpen() || find.Next(data));
  for (const auto& [pattern, error] : std::initializer_list<std::pair<const char*, uint32_t>>{
           {"none.MAI", 2}, {"Missing/*", 3}, {"a.MAI/*", 3}, {"S*b/*", 123}, {"a:b*", 123}}) {
    EXPECT_FALSE(find.First(dir / pattern, data) || find.IsOpen()) << pattern;
    EXPECT_EQ(GetLastError(), error) << pattern;
  }
}

}  // namespace
}  // namespace tw::platform
