// Where a postoffice, mailbox and folder lie on disk, and how a folder path
// is classified. Paths are formed with "\" (the platform maps separators).
// A name that would lead outside the place it names resolves to the empty
// text, and so does a result longer than its buffer (a cut path would name
// some other directory).
#pragma once
#include <cstdint>
#include <string>

namespace tw {

inline constexpr size_t kPathCapacity = 1024;
inline constexpr size_t kScanPathCapacity = 2048;
inline constexpr size_t kSpecialNameCapacity = 512;

enum FolderType : uint32_t {
  kFolderMail = 0,
  kFolderContacts = 1,
  kFolderCalendar = 2,
  kFolderTasks = 3,
  kFolderFileRoot = 4,
  kFolderCalendarFile = 5,
  kFolderContactGroups = 54,
};

// "Public Folders Enabled", read each time: missing or non-zero is enabled.
bool PublicFoldersEnabled();

// "Public" at the first or second character (after one "\" or "/"),
// followed by the end, "\" or "/"; any case.
bool IsPublicPath(const std::string& folderPath);

// The postoffice's directory: a custom "PostofficeRoot" option when custom
// postoffice paths are allowed and the provider has one, else
// mail root + "\" + postoffice.
std::string PostofficeRoot(const std::string& postoffice);

// A folder record's directory (folder operations): mail root based, no
// custom postoffice roots. `folderPath` is the record's parent path.
std::string FolderDirectoryForRecord(const std::string& mailbox, const std::string& postoffice,
                                     const std::string& folderPath);

// An index's directory; creates a missing special tree ($VCFROOT,
// $FILEROOT, Public) one level deep.
std::string FolderDirectoryForIndex(const std::string& postoffice, const std::string& mailbox,
                                    const std::string& folderPath);

// The directory message scanning uses, through the postoffice root.
// `folderPath` nullptr means the mailbox itself.
std::string FolderDirectoryViaPostofficeRoot(const std::string& postoffice, const std::string& mailbox,
                                             const std::string* folderPath);

// The folder type of a folder path (0 mail, 1 contacts, 2 calendar, 3 tasks,
// 4 file root).
uint32_t FolderTypeFromPath(const std::string& folderPath);

// A top-level folder's name in its standard form ("deleted items" ->
// "Deleted Items"); other names unchanged.
std::string SpecialNameForm(const std::string& parentPath, const std::string& name);

// Writes "_CHANGE.DTY" (the folder is dirty) into a folder directory.
bool WriteChangeFlagIn(const std::string& directory);

// Writes the folder's "_CHANGE.DTY" flag file. False when it cannot be
// written or the names are unsafe.
bool WriteFolderChangeFlag(const std::string& postoffice, const std::string& mailbox,
                           const std::string& folderPath);

inline constexpr const char* kChangeFlagFile = "_CHANGE.DTY";
inline constexpr const char* kChangeFlagText = "This file is a flag file that denotes that this folder has been changed";

}  // namespace tw
