// The files of one directory, for a scan that reads thousands of them (a
// mail folder's messages). The listing takes each entry's kind from the
// directory itself instead of asking every entry for its status, and files
// are opened by name in the directory held open, which spares each open the
// walk along the directory's path and the letter-case mapping: a name from
// the listing is the file's exact spelling.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"

namespace tw::platform {

enum class EntryKind { File, Directory, Link, Other };

// Which names a listing reports. `AnyName` also reports names Windows
// forbids (control bytes, '"', '*', ':', ...), which every other scan skips;
// only the folder-index rebuild asks for them, to rename them to safe ones.
enum class NameMode { Valid, AnyName };

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;  // of the entry itself: a link is a Link
};

class FolderFiles {
 public:
  FolderFiles() = default;
  ~FolderFiles();
  FolderFiles(const FolderFiles&) = delete;
  FolderFiles& operator=(const FolderFiles&) = delete;

  // The directory at `path` (mapped as every path is). False with the last
  // error set (3 when it is not there).
  bool Open(std::string_view path);
  bool IsOpen() const { return dir_ != nullptr; }

  // The entries whose names match `pattern` (find wildcards) in listing
  // order, without "." and "..", names Windows forbids or the platform's own
  // files, as FindHandle would list them. Only an entry whose kind the file
  // system does not tell is asked for its status.
  std::vector<FolderEntry> List(std::string_view pattern, NameMode mode = NameMode::Valid);

  // Renames the entry `from` of this directory to `to`, never replacing an
  // existing entry in any letter case (183). `from` may be any name a
  // NameMode::AnyName listing reported; `to` must be a valid name (123).
  bool RenameAnyName(std::string_view from, std::string_view to);

  // Renames the entry `from` (a valid name) to `to`, which may be any name
  // a NameMode::AnyName listing could report (a Maildir file name holds
  // ":"), never replacing an existing entry (183). Only for directories
  // outside the store, such as an export's Maildir.
  bool RenameToAnyName(std::string_view from, std::string_view to);

  // Operations on exact names, for a caller that listed the directory once
  // and keeps track of its names itself (an import putting thousands of
  // files in one folder): no other letter case is looked for, so no call
  // lists the directory again after the last one changed it.
  //
  // Creates `name` (a valid name) for writing; fails (80) when it exists.
  FileHandle CreateExact(std::string_view name);
  // Renames `from` to `to` (valid names), never replacing an entry of
  // exactly that name (183).
  bool RenameExact(std::string_view from, std::string_view to);
  // Sets the last write time of `name` (a file time).
  bool SetWriteTimeExact(std::string_view name, uint64_t fileTime);

  // What FindHandle reports of the entry `name` (a link described by its
  // target). False with the last error set (2 when it is gone). With
  // NameMode::AnyName, `name` may be any name such a listing reported.
  bool GetInfo(std::string_view name, FileInfo& info, NameMode mode = NameMode::Valid) const;

  // OpenForReading of the entry `name`, spelt exactly (a name from List);
  // a symbolic link is refused (5). `info` as OpenForReading fills it.
  FileHandle OpenForReading(std::string_view name, FileInfo* info = nullptr, NameMode mode = NameMode::Valid) const;

 private:
  // A single name of this directory, else the last error is set (123).
  // With NameMode::AnyName only what makes it one name is checked.
  bool CheckName(std::string_view name, NameMode mode = NameMode::Valid) const;

  void* dir_ = nullptr;
  std::string path_;  // the directory's system path
};

}  // namespace tw::platform
