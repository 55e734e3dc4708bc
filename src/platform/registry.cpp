// The registry file, parsed once per version and shared by every thread.
// A read costs one stat, a shared lock and a hash lookup; the file is parsed
// again only when its identity (device, inode, size, modification time to
// the nanosecond) or its path changes.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/event_log.h"
#include "platform/last_error.h"
#include "platform/registry_parser.h"

namespace tw::platform {
namespace {

constexpr uint64_t kMaxRegistryFileBytes = 16ull * 1024 * 1024;
constexpr uint32_t kRegistryEventId = 0x40000001;
constexpr const char* kRegistryEventText1 = "Tarnwick Store Provider registry";
// Versions already reported; cleared when it grows past this, which at worst
// repeats a report.
constexpr size_t kMaxRememberedVersions = 4096;

struct FileIdentity {
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t mtimeSeconds = 0;
  int64_t mtimeNanoseconds = 0;
  // Permission bits: a change of them alone must be seen (a secret in a
  // file made private again becomes usable).
  uint32_t mode = 0;

  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.exists = true;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<uint64_t>(st.st_size);
  id.mtimeSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  id.mtimeNanoseconds = static_cast<int64_t>(st.st_mtim.tv_nsec);
  id.mode = static_cast<uint32_t>(st.st_mode & 07777);
  return id;
}

FileIdentity StatIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return IdentityOf(st);
}

std::string VersionKey(const std::string& path, const FileIdentity& id) {
  return path + '\n' + std::to_string(id.device) + ':' + std::to_string(id.inode) + ':' +
         std::to_string(id.size) + ':' + std::to_string(id.mtimeSeconds) + '.' +
         std::to_string(id.mtimeNanoseconds) + ':' + std::to_string(id.mode);
}

struct Snapshot {
  bool loaded = false;
  std::string path;
  FileIdentity identity;
  ParsedRegistry registry;
};

struct LoadedFile {
  FileIdentity identity;
  std::string bytes;
  std::string failure;  // why the file was not read; empty when it was (or is missing)
};

// Reads the whole file through one descriptor, so that the identity kept is
// that of the bytes parsed.
LoadedFile ReadRegistryFile(const std::string& path) {
  LoadedFile file;
  // Non-blocking, so that a FIFO put in the file's place cannot hang the reader.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int err = errno;
    if (err != ENOENT && err != ENOTDIR) {
      file.identity = StatIdentity(path);
      file.failure = "cannot be opened (errno " + std::to_string(err) + "); ignored";
    }
    return file;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    file.failure = "cannot be examined (errno " + std::to_string(errno) + "); ignored";
    ::close(fd);
    return file;
  }
  file.identity = IdentityOf(st);
  if (!S_ISREG(st.st_mode)) {
    file.failure = "not a regular file; ignored";
  } else if (static_cast<uint64_t>(st.st_size) > kMaxRegistryFileBytes) {
    file.failure = "larger than 16 MiB (" + std::to_string(st.st_size) + " bytes); ignored";
  } else {
    // Read to the end, but never past the limit even if the file grows.
    file.bytes.reserve(static_cast<size_t>(st.st_size));
    std::vector<char> buffer(64 * 1024);
    while (true) {
      ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        file.failure = "cannot be read (errno " + std::to_string(errno) + "); ignored";
        file.bytes.clear();
        break;
      }
      if (n == 0) break;
      file.bytes.append(buffer.data(), static_cast<size_t>(n));
      if (file.bytes.size() > kMaxRegistryFileBytes) {
        file.failure = "larger than 16 MiB; ignored";
        file.bytes.clear();
        break;
      }
    }
  }
  ::close(fd);
  return file;
}

class RegistryCache {
 public:
  explicit RegistryCache(std::string (*pathOf)()) : pathOf_(pathOf) {}

  template <typename Reader>
  auto Read(Reader reader) -> decltype(reader(std::declval<const Snapshot&>())) {
    std::string path = pathOf_();
    FileIdentity seen = StatIdentity(path);
    {
      std::shared_lock lock(mutex_);
      if (IsCurrent(path, seen)) return reader(snapshot_);
    }
    std::vector<std::string> reports;
    std::unique_lock lock(mutex_);
    // Another thread may have loaded the file meanwhile; look again so that
    // only one of them reads it.
    seen = StatIdentity(path);
    if (!IsCurrent(path, seen)) Reload(path, reports);
    if (reports.empty()) return reader(snapshot_);
    auto result = reader(snapshot_);
    lock.unlock();
    // Outside the lock: the event sink may read the registry itself.
    for (const std::string& text : reports) {
      WriteEvent(EventEntry{kEventWarning, kRegistryEventId, "Tarnwick", kRegistryEventText1, text});
    }
    return result;
  }

  void Reset() {
    std::unique_lock lock(mutex_);
    snapshot_ = Snapshot{};
  }

  // True the first time `what` (a text naming the version of the file it
  // is about) is said.
  bool FirstWarning(const std::string& what) {
    std::unique_lock lock(mutex_);
    return FirstLoadOfVersion(what);
  }

 private:
  bool IsCurrent(const std::string& path, const FileIdentity& seen) const {
    return snapshot_.loaded && snapshot_.path == path && snapshot_.identity == seen;
  }

  // Builds the new snapshot aside, so that a failure (out of memory) leaves
  // the old one in place and the next read tries again.
  void Reload(const std::string& path, std::vector<std::string>& reports) {
    LoadedFile file = ReadRegistryFile(path);
    Snapshot fresh;
    fresh.loaded = true;
    fresh.path = path;
    fresh.identity = file.identity;
    if (file.identity.exists) {  // missing: an empty registry, nothing to say
      RegistryParseResult parsed;
      if (file.failure.empty()) parsed = ParseRegistryText(file.bytes);
      // The same bytes are never reported twice, also not after a reset.
      if (FirstLoadOfVersion(VersionKey(path, file.identity))) Describe(path, file, parsed, reports);
      fresh.registry = std::move(parsed.registry);
    }
    snapshot_ = std::move(fresh);
  }

  static void Describe(const std::string& path, const LoadedFile& file, const RegistryParseResult& parsed,
                       std::vector<std::string>& reports) {
    std::string prefix = "Registry file " + path;
    if (!file.failure.empty()) reports.push_back(prefix + ": " + file.failure);
    if (parsed.missingHeader)
      reports.push_back(prefix + ": no header line (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"); "
                                 "read anyway");
    for (const RegistryParseProblem& problem : parsed.problems)
      reports.push_back(prefix + ": line " + std::to_string(problem.line) + " skipped: " + problem.reason);
    if (parsed.problemCount > parsed.problems.size())
      reports.push_back(prefix + ": " + std::to_string(parsed.problemCount - parsed.problems.size()) +
                        " more lines skipped");
  }

  bool FirstLoadOfVersion(const std::string& version) {
    if (reportedVersions_.size() >= kMaxRememberedVersions) reportedVersions_.clear();
    return reportedVersions_.insert(version).second;
  }

  std::string (*pathOf_)();
  std::shared_mutex mutex_;
  Snapshot snapshot_;
  std::unordered_set<std::string> reportedVersions_;
};

// Never destroyed: usable from exit-time code.
RegistryCache& Cache() {
  static RegistryCache* cache = new RegistryCache(&RegistryFilePath);
  return *cache;
}

RegistryCache& UserCache() {
  static RegistryCache* cache = new RegistryCache(&UserRegistryFilePath);
  return *cache;
}

bool ReadableByOthers(const Snapshot& snapshot) { return (snapshot.identity.mode & 077) != 0; }

// The user's file speaks for HKEY_CURRENT_USER only; `secret` passes over
// its value while others can read the file.
std::optional<RegistryValue> UserValue(Hive hive, const std::string& keyPath, const std::string& valueName,
                                       bool secret) {
  if (hive != Hive::CurrentUser) return std::nullopt;
  bool exposed = false;
  std::string path, version;
  std::optional<RegistryValue> value = UserCache().Read([&](const Snapshot& snapshot) {
    const RegistryValue* found = ParsedFindValue(snapshot.registry, hive, keyPath, valueName);
    if (found == nullptr) return std::optional<RegistryValue>();
    if (secret && ReadableByOthers(snapshot)) {
      exposed = true;
      path = snapshot.path;
      version = "secret " + valueName + '\n' + VersionKey(snapshot.path, snapshot.identity);
      return std::optional<RegistryValue>();
    }
    return std::optional<RegistryValue>(*found);
  });
  // Outside the cache's lock, which the warning takes again.
  if (exposed && UserCache().FirstWarning(version)) {
    WriteEvent(EventEntry{kEventWarning, kRegistryEventId, "Tarnwick", kRegistryEventText1,
                          "Registry file " + path + ": others can read it, so its \"" + valueName +
                              "\" is ignored (chmod 600 the file)"});
  }
  return value;
}

std::optional<RegistryValue> GetValue(Hive hive, const std::string& keyPath, const std::string& valueName,
                                      bool secret) {
  try {
    std::optional<RegistryValue> value = UserValue(hive, keyPath, valueName, secret);
    if (!value) {
      value = Cache().Read([&](const Snapshot& snapshot) {
        const RegistryValue* found = ParsedFindValue(snapshot.registry, hive, keyPath, valueName);
        return found ? std::optional<RegistryValue>(*found) : std::nullopt;
      });
    }
    if (!value) SetLastError(kErrorFileNotFound);
    return value;
  } catch (...) {
    SetLastError(kErrorNotEnoughMemory);
    return std::nullopt;
  }
}

}  // namespace

bool RegistryKeyExists(Hive hive, const std::string& keyPath) {
  try {
    auto exists = [&](const Snapshot& snapshot) { return ParsedKeyExists(snapshot.registry, hive, keyPath); };
    bool found = (hive == Hive::CurrentUser && UserCache().Read(exists)) || Cache().Read(exists);
    if (!found) SetLastError(kErrorFileNotFound);
    return found;
  } catch (...) {  // out of memory while loading: as if the key were missing
    SetLastError(kErrorNotEnoughMemory);
    return false;
  }
}

std::optional<RegistryValue> RegistryGetValue(Hive hive, const std::string& keyPath,
                                              const std::string& valueName) {
  return GetValue(hive, keyPath, valueName, false);
}

std::optional<RegistryValue> RegistryGetSecret(Hive hive, const std::string& keyPath, const std::string& valueName) {
  return GetValue(hive, keyPath, valueName, true);
}

std::string RegistryFilePath() {
  const char* fromEnvironment = std::getenv("TW_REGISTRY_FILE");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  return kDefaultRegistryFile;
}

std::string UserRegistryFilePath() {
  const char* fromEnvironment = std::getenv("TW_USER_REGISTRY_FILE");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  std::string home;
  const char* fromHome = std::getenv("HOME");
  if (fromHome && *fromHome) {
    home = fromHome;
  } else {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
      home = found->pw_dir;
  }
  // Without a home there is no user file: a name that cannot exist.
  if (home.empty()) return "/nonexistent/.config/tarnwick/user.reg";
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home + "/.config/tarnwick/user.reg";
}

void RegistryReset() {
  Cache().Reset();
  UserCache().Reset();
}

}  // namespace tw::platform
