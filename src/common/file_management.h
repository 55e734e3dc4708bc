// File-system helpers shared by the whole store: splitting paths, creating
// directory trees, whole-file reads and writes, deleting, moving and copying
// files and trees, the retrying delete and move, and directory listings.
// Both "\" and "/" count as separators. Failures of tree creation, moves and
// copies are thrown as tw::Exception from "common\FileManagement".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/array.h"
#include "platform/files.h"

namespace tw {

inline constexpr const char* kFileManagementSourceModule = "common\\FileManagement";
inline constexpr int kLineEmptyPath = 153;
inline constexpr int kLineInvalidPath = 158;
inline constexpr int kLineCreateDirectoryFailed = 173;
inline constexpr int kLineMoveSourceMissing = 375;
inline constexpr int kLineMoveFailed = 401;
inline constexpr int kLineCopySourceMissing = 421;
inline constexpr int kLineCopyFailed = 474;

// The byte buffer of whole-file reads and writes.
using ByteArray = Array<uint8_t>;
inline constexpr uint32_t kByteArrayCapacity = 1024;

// DeleteTree results.
inline constexpr int kDeleteTreeMissing = 0;  // nothing there, or a single file not deleted
inline constexpr int kDeleteTreeDone = 1;
inline constexpr int kDeleteTreePartial = 2;  // something was left

// Retry counts of the retrying delete and move (one second apart).
inline constexpr int kFileRetries = 16;
inline constexpr uint32_t kFileRetryPauseMs = 1000;

bool IsPathSeparator(char c);

// The path up to its last separator, with trailing and repeated separators
// dropped ("C:\x\\y\" -> "C:\x"); empty when there is no separator or only a
// leading one.
std::string ParentDirectory(std::string_view path);
// The text after the last separator; empty when there is none or the path
// ends with one.
std::string FileName(std::string_view path);

// True when a directory entry matches `path` (which may hold wildcards).
bool FileExists(std::string_view path);
// True when `path` is a directory.
bool IsDirectory(std::string_view path);
// False only when the path's name is invalid (error 123).
bool IsValidPath(std::string_view path);

// Creates `path` and any missing parents; an existing directory is left
// alone. Throws "Empty path", "Invalid path: <path>" or "Failed to create
// directory (<path>)".
void CreateDirectoryTree(std::string_view path);

// Reads the whole file (shared) into `bytes`, replacing what it held. True
// when the file exists and was read completely.
bool ReadWholeFile(std::string_view path, ByteArray& bytes);
// The file's bytes as text; empty when it cannot be read.
std::string ReadWholeFileAsText(std::string_view path);
// Creates the parent tree and writes `bytes` over the file (shared,
// truncating). False when the file cannot be opened or written; a parent
// that cannot be created throws as CreateDirectoryTree does.
bool WriteWholeFile(std::string_view path, const ByteArray& bytes);

// Deletes a file, or a directory with its entries (with `recursive` 0 only
// the entries carrying the hidden, system, archive, normal or temporary
// attribute, so sub-directories stay and the directory with them). Returns
// kDeleteTreeMissing, kDeleteTreeDone or kDeleteTreePartial; failures are
// written to the event log. A link to a directory (reparse attribute 0x400)
// is removed as a link, never walked into.
int DeleteTree(std::string_view path, uint32_t recursive);

// Moves `source` to `destination`, creating the destination's parent tree.
// Throws "File not found: <source>" or "Call to MoveFile failed
// (GetLastError() returned <n>)".
void MoveFileChecked(std::string_view source, std::string_view destination);

// Names a tree copy leaves out, with everything below them.
using CopySkip = bool (*)(std::string_view name);

// Copies a file, or a directory tree entry by entry, stopping at the first
// failure. A file is copied over an existing destination unless
// `failIfExists` is non-zero; the flag is handed down the tree. Links inside
// the tree are left out (a copy never reaches outside its tree), and so are
// the entries `skip` names. Throws "File not found: <source>", "Call to
// CopyFile failed (GetLastError() returned <n>)" or a directory-creation
// failure.
void CopyFileOrTree(std::string_view source, std::string_view destination, uint32_t failIfExists,
                    CopySkip skip = nullptr);

// Deletes the file, retrying 16 times a second apart while it is held.
// True when the file is gone, also when it never existed.
bool DeleteFileWithRetry(std::string_view path);

// Moves the file, retrying 16 times a second apart; false at once when the
// source or its directory is missing, and after the last retry.
bool MoveActivityFileWithRetry(std::string_view source, std::string_view destination);

// Fills `list` with the find data of the entries matching `pattern`,
// leaving out directories, symbolic links (a scan never follows one) and
// names beginning with "_" or ".", sorted by
// name without regard to case. The walk stops when `maximum` entries (every
// entry counts, taken or not) have been seen; the entry that reaches the
// maximum is not taken. A negative maximum means no limit. Returns the
// number of entries in the list.
size_t ListDirectory(std::string_view pattern, std::vector<platform::FindData>& list, int32_t maximum);

}  // namespace tw
