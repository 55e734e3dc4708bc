// Removing shares when their folder goes away, so that no user keeps a
// reference to a folder that is gone. A share is recorded three times: in
// the owner's `_Shares.xml`, in the shared folder's access list
// `_Access.XML`, and in the security file of each user on that list. A
// removal drops the folder's share and the shares of every folder below it
// from all three.
//
// Every step is tried even after one fails (a broken owner file must not
// leave users pointing at a removed folder); the result is 1 when every file
// needed could be loaded and written, else 0. Names that could lead outside
// the place they name are refused with 0 before anything is touched.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

// Called when a folder is removed; `folderPath` is the folder's path in
// the mailbox ("Inbox\Projects" or "/Inbox/Projects"). A path that names no
// folder (the mailbox itself) is refused.
int32_t RemoveFolderShares(const std::string& postoffice, const std::string& mailbox,
                           const std::string& folderPath);

// A folder as a postoffice, a mailbox and a folder path.
struct ShareFolder {
  std::string postoffice;
  std::string mailbox;
  std::string path;
};

// Called after a folder was moved from `from` to `to`: the shares of the
// moved tree, made for its old place, are dropped, and the access lists
// that moved with it (found below `to`) are deleted, so that the folder is
// not shared under its new name by a list nobody granted for it.
int32_t RemoveMovedFolderShares(const ShareFolder& from, const ShareFolder& to);

// Every share listed in the mailbox's `_Shares.xml`.
int32_t RemoveMailboxShares(const std::string& mailbox, const std::string& postoffice);

// Drops `resource` and every resource below it from one user's security
// file in the postoffice. 1 also when there is no configuration directory
// (nothing to touch); 0 for an unsafe user name or a file that cannot be
// loaded or written.
int32_t RemoveUserAccess(const std::string& user, const std::string& resource, const std::string& postoffice);

}  // namespace tw
