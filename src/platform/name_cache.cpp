#include "platform/name_cache.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
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
  std::shared_ptr<const Listing> Get(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      Forget(path);
      return nullptr;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = entries_.find(path);
      if (it != entries_.end() && !it->second.listing->racy && SameState(*it->second.listing, st)) {
        it->second.lastUse = ++clock_;
        return it->second.listing;
      }
    }
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

}  // namespace

std::string FindNameIgnoringCase(const std::string& directory, std::string_view name) {
  auto listing = Cache().Get(Key(directory));
  if (!listing) return {};
  auto [first, last] = CaseRange(*listing, name);
  for (auto it = first; it != last; ++it)
    if (*it == name) return *it;
  return first != last ? *first : std::string();
}

std::vector<std::string> FindAllCases(const std::string& directory, std::string_view name) {
  auto listing = Cache().Get(Key(directory));
  if (!listing) return {};
  auto [first, last] = CaseRange(*listing, name);
  return std::vector<std::string>(first, last);
}

void ForgetDirectory(const std::string& directory) { Cache().Forget(Key(directory)); }

uint64_t DirectoryScanCount() { return Cache().Scans(); }

void ClearDirectoryCache() { Cache().Clear(); }

}  // namespace tw::platform::detail
