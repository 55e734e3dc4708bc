// Shared fixtures: a scratch directory per test, a registry file the test
// writes, captured event-log entries and a sleep that does not sleep.
#pragma once
#include <atomic>
#include <cstdint>
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

// Replaces the library's sleep with one that only counts, for its lifetime.
class FastSleep {
 public:
  FastSleep();
  ~FastSleep();
  static uint64_t Calls();
  static uint64_t TotalMilliseconds();
};

// Registry text for a mail root (and anything extra) under the store's key.
std::string RegistryWithMailRoot(const std::string& mailRoot, const std::string& extraValues = "");

}  // namespace tw::test
