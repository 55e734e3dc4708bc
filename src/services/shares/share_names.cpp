#include "services/shares/share_names.h"

#include "common/text.h"
#include "frame/path_safety.h"

namespace tw {

namespace {
constexpr std::string_view kResourcePrefix = "SF:";
constexpr size_t kMaxUserPart = 1023;
}  // namespace

std::string ShareFolderPath(std::string_view folderPath) {
  std::string path;
  path.reserve(folderPath.size() + 1);
  if (folderPath.empty() || (folderPath[0] != '\\' && folderPath[0] != '/')) path += '/';
  for (char c : folderPath) path += (c == '\\') ? '/' : c;
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

std::string ShareResourceName(std::string_view postoffice, std::string_view mailbox, std::string_view sharePath) {
  std::string name(kResourcePrefix);
  name.append(postoffice).append("/").append(mailbox).append(sharePath);
  return name;
}

bool InShareTree(std::string_view resource, std::string_view root) {
  if (root.empty() || !StartsWithNoCase(resource, root)) return false;
  return resource.size() == root.size() || resource[root.size()] == '/';
}

std::string FolderPathOfResource(std::string_view postoffice, std::string_view mailbox, std::string_view resource) {
  const std::string mailboxRoot = ShareResourceName(postoffice, mailbox, "");
  if (!StartsWithNoCase(resource, mailboxRoot) || resource.size() <= mailboxRoot.size() + 1 ||
      resource[mailboxRoot.size()] != '/')
    return {};
  return ShareFolderPath(resource.substr(mailboxRoot.size()));
}

std::string SecurityFileUser(std::string_view user) {
  std::string_view part = user;
  if (const size_t slash = user.find('/'); slash != std::string_view::npos) {
    part = user.substr(slash + 1);
    part = part.substr(0, part.find('/'));
  }
  if (part.size() > kMaxUserPart || !IsSafeStoreName(part)) return {};
  return std::string(part);
}

}  // namespace tw
