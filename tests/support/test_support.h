// Shared fixtures: a scratch directory per test, a registry file the test
// writes, captured event-log entries and a sleep that does not sleep.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/event_log.h"

namespace tw::test {

// A fresh directory under $TMPDIR, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `content` to `path` (creating parent directories).
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
void MakeDirs(const std::string& path);

// Points TW_REGISTRY_FILE at a file with the given body (the header line is
// added) for the life of the object, and restores the previous setting.
class ScopedRegistry {
 public:
  explicit ScopedRegistry(const std::string& body);
  ~ScopedRegistry();
  void Rewrite(const std::string& body);
  const std::string& path() const { return path_; }

 private:
  ScratchDir dir_;
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Captures every event-log entry written while it lives.
class CapturedEvents {
 public:
  CapturedEvents();
  ~CapturedEvents();
  std::vector<platform::EventEntry> entries() const;

 private:
  struct Store;
  Store* store_;
};

// Replaces the library's sleep with one that only counts, for its lifetime;
// `onSleep`, when given, runs at each sleep with the call's number (from 1),
// standing for what others do meanwhile. The counts start afresh with each
// FastSleep; the previous one is back when it ends.
class FastSleep {
 public:
  explicit FastSleep(std::function<void(uint64_t call)> onSleep = {});
  ~FastSleep();
  FastSleep(const FastSleep&) = delete;
  FastSleep& operator=(const FastSleep&) = delete;
  static uint64_t Calls();
  static uint64_t TotalMilliseconds();

 private:
  void (*previous_)(uint32_t);
  std::function<void(uint64_t)> previousOnSleep_;
};

// Sets TZ (and tzset) for its lifetime and puts the process's zone back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

// Registry text: the header of the store's key (or of a key below it, such
// as "Providers"), and values to put under it.
std::string RegistryKey(const std::string& subkey = "");
std::string DwordValue(const std::string& name, uint32_t value);
std::string StringValue(const std::string& name, const std::string& text);
// A mail root (and anything extra) under the store's key.
std::string RegistryWithMailRoot(const std::string& mailRoot, const std::string& extraValues = "");

// A store path with its backslashes as "/", for the file helpers above.
std::string SystemPath(std::string path);

}  // namespace tw::test
