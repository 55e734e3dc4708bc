#include "platform/name_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/path_mapping.h"

namespace tw::platform::detail {

namespace {

constexpr size_t kMaxDirectories = 32;
// Beyond this many names in all, older listings are dropped (the newest one
// is always kept, however large).
constexpr size_t kMaxCachedNames = 1000000;
// A listing whose directory changed less than this long before it was read
// may have missed a change made within the same timestamp tick (a jiffy at
// most, for file systems that stamp with the coarse clock).
constexpr int64_t kRacyWindowNs = 50000000;

// A name with at most this many letters may be looked up spelling by
// spelling (2^letters lookups) instead of listing the directory again...
constexpr int kMaxProbeLetters = 10;
// ...when the directory's size in bytes is at least this many times the
// number of spellings and at least the floor below: a listing costs about
// one lookup per entry, and file systems spend some 20 to 40 bytes of
// directory size on each entry (ext4 never less than a 4 KiB block).
constexpr int64_t kDirectoryBytesPerProbe = 64;
constexpr int64_t kMinProbedDirectoryBytes = 65536;

struct Listing {
  dev_t device = 0;
  ino_t inode = 0;
  timespec mtime{};
  timespec ctime{};
  bool racy = false;
  std::vector<std::string> names;  // sorted without regard to case, then bytewise
};

struct Entry {
  std::shared_ptr<const Listing> listing;
  uint64_t lastUse = 0;
};

bool NameLess(const std::string& a, const std::string& b) {
  int c = CompareIgnoreCase(a, b);
  return c != 0 ? c < 0 : a < b;
}

int64_t Nanoseconds(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The change time also moves when someone sets the modification time back.
bool SameState(const Listing& l, const struct stat& st) {
  return l.device == st.st_dev && l.inode == st.st_ino && SameTime(l.mtime, st.st_mtim) &&
         SameTime(l.ctime, st.st_ctim);
}

class ListingCache {
 public:
  // The directory's state, or false (and the listing dropped) when it is no
  // directory.
  bool Stat(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    Forget(path);
    return false;
  }

  // The cached listing when it still matches `st`, else null.
  std::shared_ptr<const Listing> Current(const std::string& path, const struct stat& st) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(path);
    if (it == entries_.end() || it->second.listing->racy || !SameState(*it->second.listing, st)) return nullptr;
    it->second.lastUse = ++clock_;
    return it->second.listing;
  }

  std::shared_ptr<const Listing> Refresh(const std::string& path, const struct stat& st) {
    // Read without holding the lock: a large directory takes a while.
    std::shared_ptr<const Listing> fresh = Read(path, st);
    if (!fresh) {
      Forget(path);
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& e = entries_[path];
    if (e.listing) totalNames_ -= e.listing->names.size();
    e.listing = fresh;
    e.lastUse = ++clock_;
    totalNames_ += fresh->names.size();
    Evict(path);
    return fresh;
  }

  void Forget(const std::string& directory) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(directory);
    if (it == entries_.end()) return;
    totalNames_ -= it->second.listing->names.size();
    entries_.erase(it);
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    totalNames_ = 0;
  }

  uint64_t Scans() const { return scans_.load(); }

 private:
  std::shared_ptr<const Listing> Read(const std::string& path, const struct stat& st) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return nullptr;
    ++scans_;
    auto listing = std::make_shared<Listing>();
    listing->device = st.st_dev;
    listing->inode = st.st_ino;
    listing->mtime = st.st_mtim;
    listing->ctime = st.st_ctim;
    while (const dirent* d = ::readdir(dir)) {
      std::string_view name(d->d_name);
      if (name == "." || name == "..") continue;
      listing->names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(listing->names.begin(), listing->names.end(), NameLess);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    listing->racy = Nanoseconds(now) - Nanoseconds(st.st_mtim) < kRacyWindowNs;
    return listing;
  }

  void Evict(const std::string& keep) {
    while (entries_.size() > kMaxDirectories || (totalNames_ > kMaxCachedNames && entries_.size() > 1)) {
      auto victim = entries_.end();
      for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->first == keep) continue;
        if (victim == entries_.end() || it->second.lastUse < victim->second.lastUse) victim = it;
      }
      if (victim == entries_.end()) return;
      totalNames_ -= victim->second.listing->names.size();
      entries_.erase(victim);
    }
  }

  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
  uint64_t clock_ = 0;
  size_t totalNames_ = 0;
  std::atomic<uint64_t> scans_{0};
};

// "" and "." both stand for the working directory; "dir/" is "dir".
std::string Key(const std::string& directory) {
  if (directory.empty()) return ".";
  std::string key = directory;
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

// Never destroyed: file calls may still run from other objects' destructors
// at process exit.
ListingCache& Cache() {
  static ListingCache* cache = new ListingCache;
  return *cache;
}

// The names equal to `name` without regard to case, as a range of `names`.
std::pair<std::vector<std::string>::const_iterator, std::vector<std::string>::const_iterator> CaseRange(
    const Listing& listing, std::string_view name) {
  auto first = std::lower_bound(listing.names.begin(), listing.names.end(), name,
                                [](const std::string& a, std::string_view b) { return CompareIgnoreCase(a, b) < 0; });
  auto last = first;
  while (last != listing.names.end() && EqualsIgnoreCase(*last, name)) ++last;
  return {first, last};
}

// Every spelling of `name` present in `directory`, found by looking each
// spelling up; nothing when that would cost more than listing the directory
// again or a lookup fails for another reason than absence.
std::optional<std::vector<std::string>> ProbeSpellings(const std::string& directory, const struct stat& st,
                                                       std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > kMaxComponentLength) return std::nullopt;
  std::vector<size_t> letters;
  for (size_t i = 0; i < name.size(); ++i)
    if (FoldCase(name[i]) >= 'a' && FoldCase(name[i]) <= 'z') letters.push_back(i);
  if (letters.size() > kMaxProbeLetters) return std::nullopt;
  const uint32_t spellings = 1u << letters.size();
  const int64_t size = st.st_size;
  if (size < kMinProbedDirectoryBytes || static_cast<int64_t>(spellings) * kDirectoryBytesPerProbe > size)
    return std::nullopt;
  const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return std::nullopt;
  std::vector<std::string> found;
  std::string spelling(name);
  bool failed = false;
  for (uint32_t mask = 0; mask < spellings && !failed; ++mask) {
    for (size_t bit = 0; bit < letters.size(); ++bit) {
      const char lower = FoldCase(name[letters[bit]]);
      spelling[letters[bit]] = (mask >> bit) & 1 ? static_cast<char>(lower - ('a' - 'A')) : lower;
    }
    struct stat entry {};
    if (::fstatat(dir, spelling.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
      found.push_back(spelling);
    } else if (errno != ENOENT) {
      failed = true;
    }
  }
  ::close(dir);
  if (failed) return std::nullopt;
  std::sort(found.begin(), found.end(), NameLess);
  return found;
}

// The spellings of `name` in `directory`, in listing order: from the cached
// listing while it is current, else by lookups when they are cheaper, else
// from a fresh listing.
std::vector<std::string> SpellingsOf(const std::string& directory, std::string_view name) {
  const std::string key = Key(directory);
  struct stat st {};
  if (!Cache().Stat(key, st)) return {};
  auto listing = Cache().Current(key, st);
  if (!listing) {
    if (auto probed = ProbeSpellings(key, st, name)) return *std::move(probed);
    listing = Cache().Refresh(key, st);
    if (!listing) return {};
  }
  auto [first, last] = CaseRange(*listing, name);
  return std::vector<std::string>(first, last);
}

}  // namespace

std::string FindNameIgnoringCase(const std::string& directory, std::string_view name) {
  const std::vector<std::string> spellings = SpellingsOf(directory, name);
  for (const std::string& spelling : spellings)
    if (spelling == name) return spelling;
  return spellings.empty() ? std::string() : spellings.front();
}

std::vector<std::string> FindAllCases(const std::string& directory, std::string_view name) {
  return SpellingsOf(directory, name);
}

void ForgetDirectory(const std::string& directory) { Cache().Forget(Key(directory)); }

uint64_t DirectoryScanCount() { return Cache().Scans(); }

void ClearDirectoryCache() { Cache().Clear(); }

}  // namespace tw::platform::detail
