#include "platform/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace tw::platform {
namespace {

using test::CapturedEvents;
using test::ScopedRegistry;
using test::ScratchDir;
using test::WriteFile;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr const char* kKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick";

std::string Section(const std::string& values) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n" + values;
}

std::string ReadText(const std::string& name, const std::string& key = kKey) {
  auto value = RegistryGetValue(Hive::LocalMachine, key, name);
  if (!value) return "<missing>";
  return value->type == RegistryType::String ? value->text : "<dword " + std::to_string(value->number) + ">";
}

timespec ModificationTime(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mtim;
}

void SetModificationTime(const std::string& path, timespec when) {
  timespec times[2] = {{0, UTIME_OMIT}, when};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Rewrites the file in place and moves its modification time a second past
// the previous one, so the change shows whatever the timestamp granularity.
void RewriteForward(const std::string& path, const std::string& content) {
  auto before = fs::last_write_time(path);
  WriteFile(path, content);
  fs::last_write_time(path, before + std::chrono::seconds(1));
}

// Keeps TW_REGISTRY_FILE as it was, whatever the test does to it.
class RegistryEnvironmentGuard {
 public:
  RegistryEnvironmentGuard() {
    if (const char* value = std::getenv("TW_REGISTRY_FILE")) saved_ = value, had_ = true;
  }
  ~RegistryEnvironmentGuard() {
    if (had_)
      setenv("TW_REGISTRY_FILE", saved_.c_str(), 1);
    else
      unsetenv("TW_REGISTRY_FILE");
    RegistryReset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

// --- Reading values ------------------------------------------------------------

TEST(PlatformRegistryRead, ReadsValuesOfTheFileNamedByTheEnvironment) {
  ScopedRegistry registry(Section("\"Mail Root\"=\"/srv/mail\"\r\n\"Mode\"=dword:00000003\r\n@=\"dflt\"\r\n") +
                          "[HKEY_CURRENT_USER\\Software\\Tarnwick\\Remote]\r\n\"Host\"=\"admin.example\"\r\n");
  EXPECT_EQ(RegistryFilePath(), registry.path());
  EXPECT_EQ(ReadText("Mail Root"), "/srv/mail");
  EXPECT_EQ(ReadText("MAIL ROOT", "software\\wow6432node\\tarnwick\\tarnwick"), "/srv/mail");
  EXPECT_EQ(ReadText("Mode"), "<dword 3>");
  EXPECT_EQ(ReadText(""), "dflt");
  EXPECT_EQ(ReadText("@"), "dflt");
  auto host = RegistryGetValue(Hive::CurrentUser, "Software\\Tarnwick\\Remote", "Host");
  ASSERT_TRUE(host.has_value());
  EXPECT_EQ(host->text, "admin.example");
  EXPECT_FALSE(RegistryGetValue(Hive::LocalMachine, "Software\\Tarnwick\\Remote", "Host").has_value());
}

TEST(PlatformRegistryRead, MissingValuesAndKeysSetLastErrorTwo) {
  ScopedRegistry registry(Section("\"Present\"=\"yes\"\r\n"));
  SetLastError(0);
  EXPECT_FALSE(RegistryGetValue(Hive::LocalMachine, kKey, "Absent").has_value());
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  SetLastError(0);
  EXPECT_FALSE(RegistryGetValue(Hive::LocalMachine, "SOFTWARE\\Nowhere", "Present").has_value());
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  SetLastError(0);
  EXPECT_FALSE(RegistryKeyExists(Hive::LocalMachine, "SOFTWARE\\Nowhere"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST(PlatformRegistryRead, KeyExistsForSectionsAndKeysAboveThem) {
  ScopedRegistry registry("[HKLM\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Providers\\Store]\r\n");
  EXPECT_TRUE(RegistryKeyExists(Hive::LocalMachine, "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Providers\\Store"));
  EXPECT_TRUE(RegistryKeyExists(Hive::LocalMachine, "software\\wow6432node\\tarnwick\\tarnwick\\providers"));
  EXPECT_TRUE(RegistryKeyExists(Hive::LocalMachine, "SOFTWARE"));
  EXPECT_FALSE(RegistryKeyExists(Hive::LocalMachine, "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Services"));
  EXPECT_FALSE(RegistryKeyExists(Hive::CurrentUser, "SOFTWARE"));
}

TEST(PlatformRegistryRead, ReadsUtf16FilesFromDisk) {
  ScopedRegistry registry("");
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\K]\r\n\"Name\"=\"caf\u00e9\"\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  RewriteForward(registry.path(), bytes);
  EXPECT_EQ(ReadText("Name", "K"), "caf\xE9");
}

// --- The file cache --------------------------------------------------------------

TEST(PlatformRegistryCache, SeesARewriteWithANewerModificationTime) {
  ScopedRegistry registry(Section("\"Value\"=\"one\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "one");
  RewriteForward(registry.path(), kHeader + Section("\"Value\"=\"two\"\r\n"));  // same size
  EXPECT_EQ(ReadText("Value"), "two");
  RewriteForward(registry.path(), kHeader + Section("\"Value\"=\"three\"\r\n\"More\"=\"x\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "three");
  EXPECT_EQ(ReadText("More"), "x");
}

TEST(PlatformRegistryCache, ANanosecondOfModificationTimeIsAChange) {
  ScopedRegistry registry(Section("\"Value\"=\"one\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "one");
  timespec before = ModificationTime(registry.path());
  WriteFile(registry.path(), kHeader + Section("\"Value\"=\"two\"\r\n"));
  timespec after = before;
  if (++after.tv_nsec == 1000000000) after.tv_sec += 1, after.tv_nsec = 0;
  SetModificationTime(registry.path(), after);
  EXPECT_EQ(ReadText("Value"), "two");
}

TEST(PlatformRegistryCache, ASizeChangeAloneIsAChange) {
  ScopedRegistry registry(Section("\"Value\"=\"one\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "one");
  timespec before = ModificationTime(registry.path());
  WriteFile(registry.path(), kHeader + Section("\"Value\"=\"longer\"\r\n"));
  SetModificationTime(registry.path(), before);  // same inode, same time, other size
  EXPECT_EQ(ReadText("Value"), "longer");
}

TEST(PlatformRegistryCache, AReplacedFileAloneIsAChange) {
  ScopedRegistry registry(Section("\"Value\"=\"one\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "one");
  timespec before = ModificationTime(registry.path());
  std::string replacement = registry.path() + ".new";
  WriteFile(replacement, kHeader + Section("\"Value\"=\"two\"\r\n"));
  SetModificationTime(replacement, before);  // same size, same time, other inode
  fs::rename(replacement, registry.path());
  EXPECT_EQ(ReadText("Value"), "two");
}

TEST(PlatformRegistryCache, AMissingFileIsAnEmptyRegistryUntilItAppears) {
  RegistryEnvironmentGuard guard;
  ScratchDir dir;
  std::string path = dir / "later.reg";
  setenv("TW_REGISTRY_FILE", path.c_str(), 1);
  CapturedEvents events;
  EXPECT_EQ(ReadText("Value"), "<missing>");
  EXPECT_FALSE(RegistryKeyExists(Hive::LocalMachine, "SOFTWARE"));
  EXPECT_TRUE(events.entries().empty());  // a missing file is not worth a report

  WriteFile(path, kHeader + Section("\"Value\"=\"here\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "here");
  EXPECT_TRUE(RegistryKeyExists(Hive::LocalMachine, "SOFTWARE"));

  fs::remove(path);
  EXPECT_EQ(ReadText("Value"), "<missing>");
  EXPECT_TRUE(events.entries().empty());
}

TEST(PlatformRegistryCache, FollowsTheEnvironmentVariable) {
  ScopedRegistry first(Section("\"Which\"=\"first\"\r\n"));
  ScratchDir dir;
  std::string second = dir / "second.reg";
  WriteFile(second, kHeader + Section("\"Which\"=\"second\"\r\n"));

  EXPECT_EQ(ReadText("Which"), "first");
  setenv("TW_REGISTRY_FILE", second.c_str(), 1);
  EXPECT_EQ(RegistryFilePath(), second);
  EXPECT_EQ(ReadText("Which"), "second");
  setenv("TW_REGISTRY_FILE", first.path().c_str(), 1);
  EXPECT_EQ(ReadText("Which"), "first");
}

TEST(PlatformRegistryCache, WithoutTheVariableTheDefaultPathIsUsed) {
  RegistryEnvironmentGuard guard;
  unsetenv("TW_REGISTRY_FILE");
  EXPECT_EQ(RegistryFilePath(), kDefaultRegistryFile);
  setenv("TW_REGISTRY_FILE", "", 1);
  EXPECT_EQ(RegistryFilePath(), kDefaultRegistryFile);
}

TEST(PlatformRegistryCache, ResetReloadsTheFile) {
  ScopedRegistry registry(Section("\"Value\"=\"one\"\r\n"));
  EXPECT_EQ(ReadText("Value"), "one");
  registry.Rewrite(Section("\"Value\"=\"two\"\r\n"));  // rewrites, then resets
  EXPECT_EQ(ReadText("Value"), "two");
}

TEST(PlatformRegistryCache, ConcurrentReadersSeeWholeVersionsInOrder) {
  ScopedRegistry registry(Section("\"Version\"=dword:00000001\r\n"));
  constexpr uint32_t kVersions = 30;
  std::atomic<bool> failed{false};
  std::atomic<bool> done{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      uint32_t last = 1;
      for (int i = 0; i < 3000 || !done; ++i) {
        auto value = RegistryGetValue(Hive::LocalMachine, kKey, "Version");
        if (!value || value->type != RegistryType::Dword || value->number < last || value->number > kVersions) {
          failed = true;
          return;
        }
        last = value->number;
        if (i > 1000000) return;  // bound the loop whatever happens
      }
    });
  }
  timespec when = ModificationTime(registry.path());
  for (uint32_t version = 2; version <= kVersions; ++version) {
    // Whole files only: written aside, then renamed over the old one.
    std::string aside = registry.path() + ".tmp";
    char hex[16];
    snprintf(hex, sizeof hex, "%08x", version);
    WriteFile(aside, kHeader + Section(std::string("\"Version\"=dword:") + hex + "\r\n"));
    when.tv_sec += 1;
    SetModificationTime(aside, when);
    fs::rename(aside, registry.path());
  }
  done = true;
  for (auto& reader : readers) reader.join();
  EXPECT_FALSE(failed);
  EXPECT_EQ(ReadText("Version"), "<dword 30>");
}

// --- Reports of bad files -----------------------------------------------------------

TEST(PlatformRegistryReports, MalformedLinesAreReportedOncePerFileVersion) {
  CapturedEvents events;
  ScopedRegistry registry(Section("\"A\"=dword:zz\r\n\"B\"=\"ok\"\r\n") + "no such line\r\n");
  EXPECT_EQ(ReadText("B"), "ok");  // the rest is still read
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].type, kEventWarning);
  EXPECT_EQ(entries[0].identifier, 0x40000001u);
  EXPECT_EQ(entries[0].source, "Tarnwick");
  EXPECT_EQ(entries[0].text1, "Tarnwick Store Provider registry");
  EXPECT_EQ(entries[0].text2, "Registry file " + registry.path() + ": line 4 skipped: bad dword value");
  EXPECT_EQ(entries[1].text2,
            "Registry file " + registry.path() + ": line 6 skipped: not a section, value or comment");

  // Reading again, also after a reset, reports nothing new: same bytes.
  EXPECT_EQ(ReadText("A"), "<missing>");
  RegistryReset();
  EXPECT_EQ(ReadText("B"), "ok");
  EXPECT_EQ(events.entries().size(), 2u);

  // Another file and back: still the same version of this one.
  {
    ScopedRegistry other(Section("\"B\"=\"other\"\r\n"));
    EXPECT_EQ(ReadText("B"), "other");
  }
  setenv("TW_REGISTRY_FILE", registry.path().c_str(), 1);
  EXPECT_EQ(ReadText("B"), "ok");
  EXPECT_EQ(events.entries().size(), 2u);

  // A new version of the file is reported again.
  RewriteForward(registry.path(), kHeader + Section("\"B\"=\"ok\"\r\n\"C\"=\"unclosed\r\n"));
  EXPECT_EQ(ReadText("B"), "ok");
  entries = events.entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].text2, "Registry file " + registry.path() + ": line 5 skipped: bad quoting in the string value");
}

TEST(PlatformRegistryReports, AMissingHeaderIsReportedOnceAndTheFileIsRead) {
  CapturedEvents events;
  ScopedRegistry registry("");
  RewriteForward(registry.path(), Section("\"A\"=\"x\"\r\n"));
  EXPECT_EQ(ReadText("A"), "x");
  EXPECT_EQ(ReadText("A"), "x");
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text2, "Registry file " + registry.path() +
                                  ": no header line (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"); "
                                  "read anyway");
}

TEST(PlatformRegistryReports, ManyBadLinesEndInASummary) {
  CapturedEvents events;
  std::string body = Section("");
  for (int i = 0; i < 105; ++i) body += "bad\r\n";
  ScopedRegistry registry(body);
  EXPECT_FALSE(RegistryGetValue(Hive::LocalMachine, kKey, "x").has_value());
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 101u);
  EXPECT_EQ(entries[99].text2, "Registry file " + registry.path() + ": line 103 skipped: not a section, value or comment");
  EXPECT_EQ(entries[100].text2, "Registry file " + registry.path() + ": 5 more lines skipped");
}

TEST(PlatformRegistryReports, FilesOverSixteenMebibytesAreIgnored) {
  CapturedEvents events;
  ScopedRegistry registry(Section("\"A\"=\"x\"\r\n"));
  fs::resize_file(registry.path(), 16u * 1024 * 1024 + 1);
  EXPECT_EQ(ReadText("A"), "<missing>");
  EXPECT_EQ(ReadText("A"), "<missing>");
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text2, "Registry file " + registry.path() +
                                  ": larger than 16 MiB (16777217 bytes); ignored");

  // Exactly the limit is read (the zero bytes after the values make one bad line).
  fs::resize_file(registry.path(), 16u * 1024 * 1024);
  EXPECT_EQ(ReadText("A"), "x");
}

TEST(PlatformRegistryReports, ADirectoryOrFifoInPlaceOfTheFileIsAnEmptyRegistry) {
  RegistryEnvironmentGuard guard;
  ScratchDir dir;
  setenv("TW_REGISTRY_FILE", dir.path().c_str(), 1);
  CapturedEvents events;
  EXPECT_EQ(ReadText("A"), "<missing>");
  EXPECT_EQ(ReadText("A"), "<missing>");
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text2, "Registry file " + dir.path() + ": not a regular file; ignored");

  // A FIFO must not hang the reader waiting for a writer.
  std::string fifo = dir / "registry.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  setenv("TW_REGISTRY_FILE", fifo.c_str(), 1);
  EXPECT_EQ(ReadText("A"), "<missing>");
  entries = events.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].text2, "Registry file " + fifo + ": not a regular file; ignored");
}

TEST(PlatformRegistryReports, ASinkThatReadsTheRegistryDoesNotDeadlock) {
  ScopedRegistry registry(Section("\"A\"=dword:zz\r\n\"B\"=\"ok\"\r\n"));
  std::vector<std::string> seen;
  SetEventSink([&](const EventEntry&) { seen.push_back(ReadText("B")); });
  EXPECT_EQ(ReadText("B"), "ok");
  SetEventSink({});
  EXPECT_EQ(seen, std::vector<std::string>{"ok"});
}

}  // namespace
}  // namespace tw::platform
