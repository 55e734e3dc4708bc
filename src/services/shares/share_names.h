// The names a share is known by: the resource name that the three share
// files hold ("SF:<postoffice>/<mailbox>/<folder path>"), and the user part
// of a security file's name.
#pragma once
#include <string>
#include <string_view>

namespace tw {

// The folder path as resource names spell it: "/" separators, one leading
// "/", no trailing one ("Inbox\Projects\" -> "/Inbox/Projects"). Empty when
// the path names no folder (empty, or separators only).
std::string ShareFolderPath(std::string_view folderPath);

// "SF:" + postoffice + "/" + mailbox + a folder path from ShareFolderPath.
std::string ShareResourceName(std::string_view postoffice, std::string_view mailbox, std::string_view sharePath);

// True when `resource` is `root` or names a folder below it ("root/...").
// Folder names compare without regard to letter case, as the store's
// directories do, so the spelling a share was made with does not matter.
bool InShareTree(std::string_view resource, std::string_view root);

// The folder path (as ShareFolderPath spells it) that a resource of this
// mailbox names; empty when it belongs to another mailbox or names none.
std::string FolderPathOfResource(std::string_view postoffice, std::string_view mailbox, std::string_view resource);

// The user part of a security file name: the whole user name, or, when it
// holds "/", the part after the first "/" up to the next one
// ("acme/ann" -> "ann"). Empty when that part could lead outside the
// security directory or is longer than 1023 characters.
std::string SecurityFileUser(std::string_view user);

}  // namespace tw
