#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using namespace tw::test;
using namespace std::chrono_literals;

const std::string kSection = "[HKLM\\K]\r\n";
const std::string kFile = "Windows Registry Editor Version 5.00\r\n\r\n" + kSection;  // as ScopedRegistry writes it

std::string Read(const std::string& name, const std::string& key = "K") {
  auto value = RegistryGetValue(Hive::LocalMachine, key, name);
  return value ? value->text : "<missing>";
}

TEST(PlatformRegistryRead, ReadsTheFileNamedByTheEnvironment) {
  ScopedRegistry registry(kSection + "\"Mail Root\"=\"/srv/mail\"\r\n");
  EXPECT_EQ(RegistryFilePath(), registry.path());
  EXPECT_EQ(Read("MAIL ROOT", "k"), "/srv/mail");
  EXPECT_TRUE(RegistryKeyExists(Hive::LocalMachine, "k"));
  // Whatever is missing sets last error 2 (read right after the call; found, it would stay 0).
  EXPECT_EQ((SetLastError(0), RegistryKeyExists(Hive::LocalMachine, "Nowhere"), GetLastError()), kErrorFileNotFound);
  EXPECT_EQ((SetLastError(0), RegistryGetValue(Hive::LocalMachine, "K", "Absent"), GetLastError()), kErrorFileNotFound);
  setenv("TW_REGISTRY_FILE", "", 1);  // ScopedRegistry restores it
  EXPECT_EQ(RegistryFilePath(), kDefaultRegistryFile);
  unsetenv("TW_REGISTRY_FILE");
  EXPECT_EQ(RegistryFilePath(), kDefaultRegistryFile);
}

TEST(PlatformRegistryCache, RereadsOnAnyChangeOfTheFile) {
  ScopedRegistry registry(kSection + "\"Value\"=\"v0\"\r\n");
  EXPECT_EQ(Read("Value"), "v0");
  struct Change { std::chrono::nanoseconds later{}; bool replace = false, reset = false, grow = false; };
  int version = 0;  // each change leaves the rest of the identity (inode, size, modification time) as it was
  for (const Change& c : {Change{.later = 1s}, Change{.later = 1ns}, Change{.replace = true}, Change{.reset = true},
                          Change{.grow = true}}) {
    auto when = std::filesystem::last_write_time(registry.path()) + c.later;
    std::string next = "v" + std::to_string(++version);
    std::string target = c.replace ? registry.path() + ".new" : registry.path();
    WriteFile(target, kFile + ("\"Value\"=\"" + next + "\"\r\n") + (c.grow ? "; longer\r\n" : ""));
    std::filesystem::last_write_time(target, when);
    if (c.replace) std::filesystem::rename(target, registry.path());
    if (c.reset) RegistryReset();
    EXPECT_EQ(Read("Value"), next);
  }
  std::filesystem::remove(registry.path());
  EXPECT_EQ(Read("Value"), "<missing>");  // a missing file is an empty registry
  WriteFile(registry.path(), kFile + "\"Value\"=\"back\"\r\n");
  EXPECT_EQ(Read("Value"), "back");  // until it appears again
}

TEST(PlatformRegistryCache, ConcurrentReadersSeeWholeVersionsInOrder) {
  ScopedRegistry registry(kSection + "\"Version\"=\"x\"\r\n");  // version n: n letters
  std::atomic<bool> failed{false}, done{false};
  auto reader = [&] {
    for (size_t i = 0, last = 1; (i < 3000 || !done) && i < 1000000 && !failed; ++i) {
      auto value = RegistryGetValue(Hive::LocalMachine, "K", "Version");
      if (!value || value->text.size() < last || value->text.size() > 30) failed = true;
      last = value ? value->text.size() : 0;
    }
  };
  std::thread readers[] = {std::thread(reader), std::thread(reader), std::thread(reader)};
  for (size_t version = 2; version <= 30; ++version) {  // whole files only: written aside, renamed over the old one
    WriteFile(registry.path() + ".tmp", kFile + ("\"Version\"=\"" + std::string(version, 'x') + "\"\r\n"));
    std::filesystem::rename(registry.path() + ".tmp", registry.path());
  }
  done = true;
  for (auto& thread : readers) thread.join();
  EXPECT_FALSE(failed);
  EXPECT_EQ(Read("Version"), std::string(30, 'x'));
}

TEST(PlatformRegistryReports, MalformedLinesAreReportedOncePerFileVersion) {
  ScopedRegistry registry(kSection + "\"A\"=dword:zz\r\n\"B\"=\"ok\"\r\nno such line\r\n");
  std::vector<std::string> reports;
  SetEventSink([&](const EventEntry& e) {
    EXPECT_TRUE(e.type == kEventWarning && e.identifier == 0x40000001u && e.source == "Tarnwick") << e.text2;
    EXPECT_EQ(e.text1, "Tarnwick Store Provider registry");
    reports.push_back(e.text2);
    EXPECT_EQ(Read("B"), "ok");  // a sink may read the registry: reports are written outside its lock
  });
  EXPECT_EQ(Read("B"), "ok");  // the rest is still read
  RegistryReset();
  EXPECT_EQ(Read("B"), "ok");  // the same bytes again: nothing new
  WriteFile(registry.path(), kFile + "\"B\"=\"ok\"\r\n\"C\"=\"unclosed\r\n");  // a new version
  EXPECT_EQ(Read("B"), "ok");
  SetEventSink({});
  const std::string prefix = "Registry file " + registry.path() + ": line ";
  EXPECT_EQ(reports, (std::vector<std::string>{prefix + "4 skipped: bad dword value",
                                               prefix + "6 skipped: not a section, value or comment",
                                               prefix + "5 skipped: bad quoting in the string value"}));
}

TEST(PlatformRegistryReports, WholeFileProblemsAreReportedOnce) {
  ScopedRegistry registry("");  // restores the variable afterwards
  const std::string dir = registry.path() + ".d/";
  std::string many = kFile;
  for (int i = 0; i < 105; ++i) many += "bad\r\n";
  WriteFile(dir + "many.reg", many);
  WriteFile(dir + "bare.reg", kSection + "\"A\"=\"x\"\r\n");
  for (const char* name : {"big.reg", "limit.reg"}) WriteFile(dir + name, kFile + "\"A\"=\"x\"\r\n");
  std::filesystem::resize_file(dir + "big.reg", 16u * 1024 * 1024 + 1);
  std::filesystem::resize_file(dir + "limit.reg", 16u * 1024 * 1024);  // read, zero bytes and all
  ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);  // must not hang the reader waiting for a writer
  struct Case { const char* file; const char* value; size_t count; const char* last; };
  for (const Case& c : {Case{"bare.reg", "x", 1, "no header line (\"Windows Registry Editor Version 5.00\" or "
                                                 "\"REGEDIT4\"); read anyway"},
                        Case{"limit.reg", "x", 1, "line 5 skipped: not a section, value or comment"},
                        Case{"many.reg", "<missing>", 101, "5 more lines skipped"},
                        Case{"big.reg", "<missing>", 1, "larger than 16 MiB (16777217 bytes); ignored"},
                        Case{"", "<missing>", 1, "not a regular file; ignored"},  // the directory
                        Case{"fifo", "<missing>", 1, "not a regular file; ignored"},
                        Case{"absent.reg", "<missing>", 0, nullptr}}) {  // a missing file is not worth a report
    const std::string path = dir + c.file;
    setenv("TW_REGISTRY_FILE", path.c_str(), 1);
    CapturedEvents events;
    EXPECT_EQ(Read("A") + Read("A"), c.value + std::string(c.value)) << path;
    auto entries = events.entries();
    ASSERT_EQ(entries.size(), c.count) << path;
    EXPECT_EQ(entries.empty() ? "" : entries.back().text2, c.last ? "Registry file " + path + ": " + c.last : "");
  }
}

}  // namespace
}  // namespace tw::platform
