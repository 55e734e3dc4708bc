// File-system calls in the Windows shape the store is written against.
//
// Paths: the store forms paths with "\" (and callers may use "/"); every call
// here turns both into "/" at the system-call boundary. Letter case: the
// library's own files ("_index.xml", "_CHANGE.DTY", ...) have one canonical
// spelling (see CanonicalLibraryFileName) and are used exactly; any other
// name that does not exist as written is looked up without regard to case in
// its parent, through a small cache of directory listings.
//
// Every call sets the thread's last error (last_error.h) on failure.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tw::platform {

inline constexpr uint32_t kAttrReadonly = 0x1;
inline constexpr uint32_t kAttrHidden = 0x2;
inline constexpr uint32_t kAttrSystem = 0x4;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kAttrTemporary = 0x100;
// A symbolic link (reported with the attributes of what it points to, as
// Windows reports a directory link as a directory that is a reparse point).
inline constexpr uint32_t kAttrReparsePoint = 0x400;
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// Path mapping --------------------------------------------------------------

// The Linux path for a store path: separators mapped, the library's own file
// names spelt canonically, other components found without regard to case
// where they do not exist as written. Does not fail; a component that exists
// in no spelling is kept as written.
std::string ToSystemPath(std::string_view path);

// False for names Windows forbids: control bytes, '"', '*', ':', '<', '>',
// '?', '|', and '\' or '/' inside a single name. Empty names are invalid.
bool IsValidFileName(std::string_view name);

// The one spelling of a library file name when `name` is one of them in any
// letter case ("_change.dty" -> "_CHANGE.DTY"); empty otherwise.
std::string_view CanonicalLibraryFileName(std::string_view name);

// Wildcard match of Windows find patterns: '*' and '?', without regard to
// case; "*.*" also matches names without a dot.
bool MatchesPattern(std::string_view pattern, std::string_view name);

// Attributes and times --------------------------------------------------------

struct FileInfo {
  uint32_t attributes = kInvalidAttributes;
  uint64_t creationTime = 0;    // file time: 100 ns since 1601-01-01 UTC
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
};

// kInvalidAttributes (last error 2, 3, 123 or 206) when nothing is there.
uint32_t GetFileAttributes(std::string_view path);
bool GetFileInfo(std::string_view path, FileInfo& info);
bool SetFileLastWriteTime(std::string_view path, uint64_t fileTime);

// One version of a file: a write by anyone moves the write time, a
// replacement changes the identity (device and inode).
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t writeSeconds = 0;
  uint32_t writeNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

bool GetFileStamp(std::string_view path, FileStamp& stamp);
// Sets the write time to the precise clock, to the nanosecond. File systems
// stamp writes from a coarse clock (one tick is milliseconds), so a later
// write by anyone, even within the same tick, leaves a different time.
bool StampFileWrittenNow(std::string_view path, FileStamp& stamp);

// File times ------------------------------------------------------------------

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds = 0);
int64_t UnixFromFileTime(uint64_t fileTime);  // whole seconds
uint64_t CurrentFileTime();
// MS-DOS date (high 16 bits) and time (low 16 bits) in local time.
uint32_t FileTimeToDosDateTime(uint64_t fileTime);
uint64_t DosDateTimeToFileTime(uint32_t dosDateTime);

// Operations ------------------------------------------------------------------

// Error 183 when the directory exists, 3 when its parent is missing.
bool CreateDirectory(std::string_view path);
// Error 145 when not empty.
bool RemoveDirectory(std::string_view path);
// Error 32 while a live holder has the file open without sharing; 2 or 3
// when missing; 5 for a directory.
bool DeleteFile(std::string_view path);
// Deletes a flag file in every letter case it exists in. True when at least
// one spelling was deleted.
bool DeleteFileAllCases(std::string_view path);
// Fails with 183 when the destination exists (unless only the letter case of
// the name changes), 2/3 when the source is missing, 32 when an exclusive
// holder has the source.
bool MoveFile(std::string_view from, std::string_view to);
// Renames `from` over `to`, replacing it atomically when it exists (for
// files written whole through a temporary).
bool ReplaceFile(std::string_view from, std::string_view to);
// Error 80 when failIfExists and the destination exists.
bool CopyFile(std::string_view from, std::string_view to, bool failIfExists);

// Directory search ------------------------------------------------------------

// An entry as a listing reports it. A symbolic link is recognised as such
// (the entry itself is looked at first, without following it: IsLink); its
// other facts are those of its target, where there is one.
struct FindData {
  uint32_t attributes = 0;
  uint64_t creationTime = 0;
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
  std::string name;
};

// The entry itself is a symbolic link (to a file, a directory or nothing).
inline bool IsLink(const FindData& data) { return (data.attributes & kAttrReparsePoint) != 0; }

// FindFirstFile / FindNextFile over "dir\pattern". "." and ".." are
// reported as Windows does; names Windows forbids and the platform's own
// hidden bookkeeping files are skipped.
class FindHandle {
 public:
  FindHandle() = default;
  ~FindHandle();
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  // False (last error 2, 3 or 18) when nothing matches.
  bool First(std::string_view pattern, FindData& data);
  // False (last error 18) at the end.
  bool Next(FindData& data);
  void Close();
  bool IsOpen() const { return dir_ != nullptr; }

 private:
  bool Step(FindData& data);
  bool StepSingle(FindData& data);
  bool Fill(const std::string& name, FindData& data);
  void* dir_ = nullptr;
  std::string directory_;
  std::string pattern_;
  bool emittedDot_ = false;
  bool emittedDotDot_ = false;
  // A pattern without wildcards names one entry: it is looked up, not
  // searched for among all entries.
  bool single_ = false;
  bool singleDone_ = false;
};

// Leftovers --------------------------------------------------------------------

// Deletes the plain files directly in `directory` (never links, never
// directories) last written before `writtenBefore` (a file time) whose names
// `isLeftover` accepts, and the platform's own temporaries that a killed
// process left there. A file a live holder keeps without sharing stays.
// Returns how many were deleted.
size_t DeleteStaleFiles(std::string_view directory, uint64_t writtenBefore,
                        const std::function<bool(std::string_view)>& isLeftover);

}  // namespace tw::platform
