#include "services/shares/share_removal.h"

#include <string_view>
#include <vector>

#include "common/text.h"
#include "frame/path_safety.h"
#include "frame/store_paths.h"
#include "index/file/document_serialiser.h"
#include "platform/files.h"
#include "services/shares/share_document.h"
#include "services/shares/share_names.h"
#include "services/shares/share_settings.h"

namespace tw {

namespace {

constexpr std::string_view kFileRoot = "$FILEROOT";
constexpr const char* kSharesFile = "_Shares.xml";
constexpr const char* kAccessListFile = "_Access.XML";

std::string Backslashed(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

bool Fits(const std::string& path) { return !path.empty() && path.size() < kPathCapacity; }

std::string SharesFilePath(const std::string& postofficeRoot, const std::string& mailbox) {
  return postofficeRoot + "\\MAILROOT\\" + mailbox + "\\" + kSharesFile;
}

// The access list of a folder given as ShareFolderPath spells it: in the
// mailbox's file tree for "$FILEROOT" paths, else in the mailbox. Empty when
// the path is too long to name it.
std::string AccessListPath(const std::string& postofficeRoot, const std::string& mailbox,
                           std::string_view sharePath) {
  const std::string_view rest = sharePath.substr(1);
  std::string directory;
  if (StartsWithNoCase(rest, kFileRoot) && (rest.size() == kFileRoot.size() || rest[kFileRoot.size()] == '/'))
    directory = postofficeRoot + "\\FILEROOT\\" + mailbox + Backslashed(rest.substr(kFileRoot.size()));
  else
    directory = postofficeRoot + "\\MAILROOT\\" + mailbox + Backslashed(sharePath);
  std::string path = directory + "\\" + kAccessListFile;
  return Fits(path) ? path : std::string();
}

// Postoffices\<postoffice>\Security below the configuration directory,
// made level by level when missing (never the configuration directory
// itself).
std::string SecurityDirectory(const std::string& configurationDirectory, const std::string& postoffice) {
  std::string directory = configurationDirectory;
  for (const std::string& level : {std::string("Postoffices"), postoffice, std::string("Security")}) {
    directory += "\\" + level;
    if (platform::GetFileAttributes(directory) == platform::kInvalidAttributes) platform::CreateDirectory(directory);
  }
  return directory;
}

void AddOnce(std::vector<std::string>& list, const std::string& value) {
  for (const std::string& known : list)
    if (known == value) return;
  list.push_back(value);
}

// A removed tree: the resource at its root, where its access lists are now
// and whether they go with the shares.
struct RemovedTree {
  std::string postoffice;
  std::string mailbox;
  std::string sharePath;
  // Where the tree's folders are now, for their access lists: the same
  // place for a remove, the new one for a move.
  std::string listPostofficeRoot;
  std::string listMailbox;
  std::string listSharePath;
  bool deleteAccessLists = false;
};

// Drops the tree's entries from the owner's `_Shares.xml`; adds the folder
// paths of the dropped shares to `paths`.
bool DropOwnerShares(const RemovedTree& tree, const std::string& postofficeRoot, const std::string& root,
                     std::vector<std::string>& paths) {
  ShareDocument shares;
  if (!LoadShareDocument(SharesFilePath(postofficeRoot, tree.mailbox), shares)) return false;
  const size_t removed = RemoveSelectedNodes(shares.document, "//SHARES/SHARE", [&](pugi::xml_node share) {
    const std::string_view resource = share.child("RESOURCE").text().get();
    if (!InShareTree(resource, root)) return false;
    const std::string path = FolderPathOfResource(tree.postoffice, tree.mailbox, resource);
    if (!path.empty() && IsSafeFolderPath(path)) AddOnce(paths, path);
    return true;
  });
  return removed == 0 || SaveShareDocument(shares);
}

// Collects the users on the access list of each folder in `paths`.
bool CollectUsers(const RemovedTree& tree, const std::vector<std::string>& paths, std::vector<std::string>& users,
                  std::vector<std::string>& lists) {
  bool ok = true;
  for (const std::string& path : paths) {
    // The folder's place now: the same path, or the same path below the
    // tree's new root.
    const std::string now = tree.listSharePath + path.substr(tree.sharePath.size());
    const std::string listPath = AccessListPath(tree.listPostofficeRoot, tree.listMailbox, now);
    ShareDocument list;
    if (listPath.empty() || !LoadShareDocument(listPath, list)) {
      ok = false;
      continue;
    }
    lists.push_back(listPath);
    for (const pugi::xpath_node& item : list.document.select_nodes("//LIST/ITEM")) {
      const std::string user = item.node().child("USER").text().get();
      if (!user.empty()) AddOnce(users, user);
    }
  }
  return ok;
}

int32_t RemoveTreeShares(const RemovedTree& tree) {
  if (!IsSafeStoreName(tree.postoffice) || !IsSafeStoreName(tree.mailbox) || tree.sharePath.empty() ||
      !IsSafeFolderPath(tree.sharePath) || tree.listSharePath.empty() || !IsSafeFolderPath(tree.listSharePath) ||
      !IsSafeStoreName(tree.listMailbox) || tree.listPostofficeRoot.empty())
    return 0;
  const std::string postofficeRoot = PostofficeRoot(tree.postoffice);
  if (postofficeRoot.empty() || !DocumentModelAvailable()) return 0;
  const std::string root = ShareResourceName(tree.postoffice, tree.mailbox, tree.sharePath);

  std::vector<std::string> paths{tree.sharePath};
  bool ok = DropOwnerShares(tree, postofficeRoot, root, paths);
  std::vector<std::string> users;
  std::vector<std::string> lists;
  ok = CollectUsers(tree, paths, users, lists) && ok;
  for (const std::string& user : users) ok = RemoveUserAccess(user, root, tree.postoffice) == 1 && ok;
  if (tree.deleteAccessLists)
    for (const std::string& list : lists) ok = platform::DeleteFile(list) && ok;
  return ok ? 1 : 0;
}

}  // namespace

int32_t RemoveUserAccess(const std::string& user, const std::string& resource, const std::string& postoffice) {
  if (!IsSafeStoreName(postoffice)) return 0;
  const std::string configuration = ConfigurationDirectory();
  if (configuration.empty()) return 1;
  const std::string part = SecurityFileUser(user);
  if (part.empty()) return 0;
  if (!DocumentModelAvailable()) return 0;
  const std::string path = SecurityDirectory(configuration, postoffice) + "\\" + part + ".xml";
  ShareDocument security;
  if (!LoadShareDocument(path, security)) return 0;
  const size_t removed = RemoveSelectedNodes(security.document, "//LIST/ITEM", [&](pugi::xml_node item) {
    return InShareTree(item.attribute("URI").value(), resource);
  });
  return (removed == 0 || SaveShareDocument(security)) ? 1 : 0;
}

int32_t RemoveFolderShares(const std::string& postoffice, const std::string& mailbox,
                           const std::string& folderPath) {
  const std::string path = ShareFolderPath(folderPath);
  return RemoveTreeShares({postoffice, mailbox, path, PostofficeRoot(postoffice), mailbox, path, false});
}

int32_t RemoveMovedFolderShares(const ShareFolder& from, const ShareFolder& to) {
  return RemoveTreeShares({from.postoffice, from.mailbox, ShareFolderPath(from.path), PostofficeRoot(to.postoffice),
                           to.mailbox, ShareFolderPath(to.path), true});
}

int32_t RemoveMailboxShares(const std::string& mailbox, const std::string& postoffice) {
  if (!IsSafeStoreName(postoffice) || !IsSafeStoreName(mailbox)) return 0;
  const std::string postofficeRoot = PostofficeRoot(postoffice);
  if (postofficeRoot.empty() || !DocumentModelAvailable()) return 0;
  ShareDocument shares;
  if (!LoadShareDocument(SharesFilePath(postofficeRoot, mailbox), shares)) return 0;
  std::vector<std::string> resources;
  for (const pugi::xpath_node& share : shares.document.select_nodes("//SHARES/SHARE"))
    resources.emplace_back(share.node().child("RESOURCE").text().get());
  bool ok = true;
  for (const std::string& resource : resources) {
    // A resource of another mailbox, or one naming no folder, cannot be
    // reached through this mailbox's folders: it stays, and is reported.
    const std::string path = FolderPathOfResource(postoffice, mailbox, resource);
    ok = !path.empty() && RemoveFolderShares(postoffice, mailbox, path) == 1 && ok;
  }
  return ok ? 1 : 0;
}

}  // namespace tw
