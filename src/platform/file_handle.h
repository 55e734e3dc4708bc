// Open files in the shape of CreateFile. A handle opened with Share::None is
// exclusive, as on Windows: while its holder lives nobody else can open,
// create or delete the file (error 32, or 80 for a create), also from another
// process or another host on a shared file system. When the holder dies,
// killed or not, the file stays behind and becomes deletable.
//
// Share::Read lets others open the file for reading only: nobody else may
// write, take it exclusively or delete it while the holder lives.
//
// Mapping: every handle holds a flock() on its open file description for its
// life: exclusive opens LOCK_EX, shared opens LOCK_SH, deletes probe with
// LOCK_SH. A read-sharing holder takes LOCK_SH plus an OFD lock on one byte
// far beyond any data (the deny-write marker), which deletes and opens for
// writing test. CreateNew creates and locks a private temporary file first
// and link()s it to the name, so the name never exists unlocked.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tw::platform {

struct FileInfo;

enum class Access { Read, Write, ReadWrite };
enum class Share { None, Read, All };
enum class Disposition { CreateNew, CreateAlways, OpenExisting, OpenAlways, TruncateExisting };
enum class SeekFrom { Begin, Current, End };

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // A value that names the handle in texts; never 0 while open.
  uintptr_t Value() const { return fd_ >= 0 ? static_cast<uintptr_t>(fd_) + 1 : 0; }

  // Reads up to `size` bytes; `got` < size only at the end of the file.
  bool Read(void* buffer, size_t size, size_t& got);
  bool Write(const void* buffer, size_t size);
  bool Seek(int64_t offset, SeekFrom from, int64_t* newPosition = nullptr);
  int64_t Size() const;  // -1 on failure
  bool Truncate(uint64_t size);
  // Flushes to stable storage (fsync), as FlushFileBuffers does: costly.
  bool Flush();
  bool LastWriteTime(uint64_t& fileTime) const;
  void Close();

  // Hands the open file over to a stdio stream (the lock stays with it until
  // fclose). The handle is empty afterwards. nullptr on failure.
  FILE* ReleaseToStream(const char* mode);

 private:
  friend FileHandle OpenFile(std::string_view, Access, Share, Disposition);
  friend FileHandle OpenForReading(std::string_view, FileInfo*);
  friend class FolderFiles;
  friend bool DeleteHeldFile(const FileHandle&, std::string_view);
  friend FileHandle CreateNewFile(std::string_view, Access, Share, std::string_view);
  int fd_ = -1;
};

// Returns a closed handle on failure, with the last error set (2, 3, 5, 32,
// 80, 123, 206).
FileHandle OpenFile(std::string_view path, Access access, Share share, Disposition disposition);

// OpenFile with CreateNew, the file holding `content` from the moment it
// has its name: a process killed while making it leaves the whole file or
// none.
FileHandle CreateNewFile(std::string_view path, Access access, Share share, std::string_view content);

// fopen() with the C runtime's mode text ("r", "rb", "w", "a+", ...); with
// `exclusive`, the sharing-denied variant. nullptr on failure, last error set.
FILE* OpenStream(std::string_view path, const char* mode, bool exclusive);

// Deletes the file at `path` while `handle` still holds it, when the name
// still refers to the handle's file. Deleting before closing leaves no moment
// in which the file stands unlocked, which others would take for a file its
// holder left behind. False with error 2/3 (missing), 32 (the name refers to
// another file now) or 6 (no handle).
bool DeleteHeldFile(const FileHandle& handle, std::string_view path);

}  // namespace tw::platform
