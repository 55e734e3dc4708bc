#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "platform/registry.h"
#include "platform/sleep.h"

namespace fs = std::filesystem;

namespace tw::test {

ScratchDir::ScratchDir() {
  std::string base = fs::temp_directory_path().string() + "/twtest-XXXXXX";
  std::vector<char> buf(base.begin(), base.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void WriteFile(const std::string& path, const std::string& content) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

ScopedRegistry::ScopedRegistry(const std::string& body) {
  path_ = dir_ / "registry.reg";
  if (const char* prev = std::getenv("TW_REGISTRY_FILE")) {
    previous_ = prev;
    hadPrevious_ = true;
  }
  Rewrite(body);
  setenv("TW_REGISTRY_FILE", path_.c_str(), 1);
  platform::RegistryReset();
}

ScopedRegistry::~ScopedRegistry() {
  if (hadPrevious_)
    setenv("TW_REGISTRY_FILE", previous_.c_str(), 1);
  else
    unsetenv("TW_REGISTRY_FILE");
  platform::RegistryReset();
}

void ScopedRegistry::Rewrite(const std::string& body) {
  WriteFile(path_, "Windows Registry Editor Version 5.00\r\n\r\n" + body);
  platform::RegistryReset();
}

struct CapturedEvents::Store {
  mutable std::mutex mutex;
  std::vector<platform::EventEntry> entries;
};

CapturedEvents::CapturedEvents() : store_(new Store) {
  platform::SetEventSink([s = store_](const platform::EventEntry& e) {
    std::lock_guard<std::mutex> lock(s->mutex);
    s->entries.push_back(e);
  });
}

CapturedEvents::~CapturedEvents() {
  platform::SetEventSink({});
  delete store_;
}

std::vector<platform::EventEntry> CapturedEvents::entries() const {
  std::lock_guard<std::mutex> lock(store_->mutex);
  return store_->entries;
}

namespace {
std::atomic<uint64_t> g_sleepCalls{0};
std::atomic<uint64_t> g_sleepTotal{0};
std::function<void(uint64_t)> g_onSleep;
void CountingSleep(uint32_t ms) {
  const uint64_t call = ++g_sleepCalls;
  g_sleepTotal += ms;
  if (g_onSleep) g_onSleep(call);
}
}  // namespace

FastSleep::FastSleep(std::function<void(uint64_t)> onSleep)
    : previous_(platform::SetSleepFunction(&CountingSleep)), previousOnSleep_(std::move(g_onSleep)) {
  g_sleepCalls = 0;
  g_sleepTotal = 0;
  g_onSleep = std::move(onSleep);
}
FastSleep::~FastSleep() {
  g_onSleep = std::move(previousOnSleep_);
  platform::SetSleepFunction(previous_);
}
uint64_t FastSleep::Calls() { return g_sleepCalls; }
uint64_t FastSleep::TotalMilliseconds() { return g_sleepTotal; }

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* old = std::getenv("TZ")) had_ = true, old_ = old;
  setenv("TZ", zone, 1);
  tzset();
}
ScopedTimeZone::~ScopedTimeZone() {
  had_ ? setenv("TZ", old_.c_str(), 1) : unsetenv("TZ");
  tzset();
}

std::string RegistryKey(const std::string& subkey) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick" + (subkey.empty() ? "" : "\\" + subkey) +
         "]\r\n";
}

std::string DwordValue(const std::string& name, uint32_t value) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08x", value);
  return "\"" + name + "\"=dword:" + hex + "\r\n";
}

std::string StringValue(const std::string& name, const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return "\"" + name + "\"=\"" + escaped + "\"\r\n";
}

std::string RegistryWithMailRoot(const std::string& mailRoot, const std::string& extraValues) {
  return RegistryKey() + StringValue("Mail Root", mailRoot) + extraValues + "\r\n";
}

std::string SystemPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace tw::test
