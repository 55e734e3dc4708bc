#include "frame/store_paths.h"

#include <array>
#include <string_view>

#include "common/text.h"
#include "frame/path_safety.h"
#include "frame/providers.h"
#include "frame/registry_access.h"
#include "frame/settings.h"
#include "platform/file_handle.h"
#include "platform/files.h"

namespace tw {

namespace {
constexpr std::string_view kVcfRoot = "$VCFROOT";
constexpr std::string_view kFileRoot = "$FILEROOT";
constexpr std::string_view kPublic = "Public";

constexpr std::array<const char*, 10> kSpecialFolderNames = {
    "Inbox", "Outbox", "Deleted Items", "Sent Items", "Calendar",
    "Contacts", "Drafts", "Journal", "Notes", "Tasks"};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A result that does not fit its caller's buffer is refused, not cut.
std::string Fitted(std::string path, size_t capacity) {
  if (path.size() >= capacity) return {};
  return path;
}

bool SafeTriple(const std::string& postoffice, const std::string& mailbox, const std::string& folderPath) {
  return IsSafeStoreName(postoffice) && IsSafeStoreName(mailbox) && IsSafeFolderPath(folderPath);
}

std::string DropOneLeadingSeparator(const std::string& path) {
  return (!path.empty() && IsSeparator(path[0])) ? path.substr(1) : path;
}

// "Public/" or "Public\" at the start: the sub-path after it, else nullopt.
bool PublicSubPath(const std::string& path, std::string& subPath) {
  if (path.size() > kPublic.size() && StartsWithNoCase(path, kPublic) && IsSeparator(path[kPublic.size()])) {
    subPath = path.substr(kPublic.size() + 1);
    return true;
  }
  return false;
}

// Mail root + "\" + postoffice; empty when no mail root is known, so that
// nothing is ever resolved against the file system's root.
std::string PostofficeBase(const std::string& postoffice) {
  const std::string root = MailRoot();
  return root.empty() ? std::string() : root + "\\" + postoffice;
}

// The postoffice base for a triple whose names are all safe; empty otherwise.
std::string SafePostofficeBase(const std::string& postoffice, const std::string& mailbox,
                               const std::string& folderPath) {
  return SafeTriple(postoffice, mailbox, folderPath) ? PostofficeBase(postoffice) : std::string();
}

void CreateOneLevel(const std::string& directory) {
  if (platform::GetFileAttributes(directory) == platform::kInvalidAttributes) platform::CreateDirectory(directory);
}

std::string NormalisedForType(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsSeparator(text[start])) ++start;
  std::string out(text.substr(start));
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}
}  // namespace

bool PublicFoldersEnabled() {
  uint32_t enabled = 1;
  ReadRegistryDword(kRegistryRoot, "Public Folders Enabled", &enabled);
  return enabled != 0;
}

bool IsPublicPath(const std::string& folderPath) {
  const size_t start = (!folderPath.empty() && IsSeparator(folderPath[0])) ? 1 : 0;
  const std::string_view rest = std::string_view(folderPath).substr(start);
  if (!StartsWithNoCase(rest, kPublic)) return false;
  return rest.size() == kPublic.size() || IsSeparator(rest[kPublic.size()]);
}

std::string PostofficeRoot(const std::string& postoffice) {
  if (!IsSafeStoreName(postoffice)) return {};
  const std::string mailRoot = MailRoot();
  if (Settings().allowCustomPostofficePaths == 1) {
    std::string custom;
    if (GetStoreOption(kOptionScopePostoffice, postoffice, "PostofficeRoot", custom) != 0)
      return Fitted(custom, kPathCapacity);
  }
  return Fitted(mailRoot + "\\" + postoffice, kPathCapacity);
}

std::string FolderDirectoryForRecord(const std::string& mailbox, const std::string& postoffice,
                                     const std::string& folderPath) {
  const std::string po = SafePostofficeBase(postoffice, mailbox, folderPath);
  if (po.empty()) return {};
  const std::string& f = folderPath;
  std::string result;
  if (StartsWithNoCase(f, kVcfRoot)) {
    result = (f.size() > kVcfRoot.size() && f[kVcfRoot.size()] == '/')
                 ? po + "\\VCFROOT\\" + f.substr(kVcfRoot.size() + 1)
                 : po + "\\VCFROOT";
  } else if (StartsWithNoCase(f, kFileRoot)) {
    // The separator after "$FILEROOT" stays in the result.
    result = (f.size() > kFileRoot.size() && IsSeparator(f[kFileRoot.size()]))
                 ? po + "\\FILEROOT\\" + mailbox + f.substr(kFileRoot.size())
                 : po + "\\FILEROOT\\" + mailbox;
  } else if (PublicFoldersEnabled() && IsPublicPath(f)) {
    std::string sub;
    result = PublicSubPath(DropOneLeadingSeparator(f), sub) ? po + "\\PUBROOT\\" + sub : po + "\\PUBROOT";
  } else {
    result = po + "\\MAILROOT\\" + mailbox;
    if (f.empty() || !IsSeparator(f[0])) result += "\\";
    result += f;
    if (!result.empty() && IsSeparator(result.back())) result.pop_back();
  }
  return Fitted(result, kPathCapacity);
}

std::string FolderDirectoryForIndex(const std::string& postoffice, const std::string& mailbox,
                                    const std::string& folderPath) {
  const std::string po = SafePostofficeBase(postoffice, mailbox, folderPath);
  if (po.empty()) return {};
  const std::string& f = folderPath;
  std::string result;
  bool special = true;
  if (StartsWithNoCase(f, kVcfRoot)) {
    result = (f.size() > kVcfRoot.size() && IsSeparator(f[kVcfRoot.size()]))
                 ? po + "\\VCFROOT\\" + f.substr(kVcfRoot.size() + 1)
                 : po + "\\VCFROOT";
  } else if (StartsWithNoCase(f, kFileRoot)) {
    result = (f.size() > kFileRoot.size() && IsSeparator(f[kFileRoot.size()]))
                 ? po + "\\FILEROOT\\" + mailbox + "\\" + f.substr(kFileRoot.size() + 1)
                 : po + "\\FILEROOT\\" + mailbox;
  } else if (IsPublicPath(f) && PublicFoldersEnabled()) {
    std::string sub;
    result = PublicSubPath(f, sub) ? po + "\\PUBROOT\\" + sub : po + "\\PUBROOT";
  } else {
    special = false;
    result = po + "\\MAILROOT\\" + mailbox + "\\" + (f.empty() ? std::string("INBOX") : f);
  }
  result = Fitted(result, kPathCapacity);
  if (special && !result.empty()) CreateOneLevel(result);
  return result;
}

std::string FolderDirectoryViaPostofficeRoot(const std::string& postoffice, const std::string& mailbox,
                                             const std::string* folderPath) {
  if (!IsSafeStoreName(mailbox) || (folderPath && !IsSafeFolderPath(*folderPath))) return {};
  const std::string q = PostofficeRoot(postoffice);
  if (q.empty()) return {};
  std::string result;
  if (folderPath == nullptr) {
    result = q + "\\MAILROOT\\" + mailbox;
  } else if (PublicFoldersEnabled() && IsPublicPath(*folderPath)) {
    std::string sub;
    result = PublicSubPath(DropOneLeadingSeparator(*folderPath), sub) ? q + "\\PUBROOT\\" + sub : q + "\\PUBROOT";
  } else {
    const std::string rest = DropOneLeadingSeparator(*folderPath);
    const bool fileRoot = StartsWithNoCase(rest, kFileRoot) &&
                          (rest.size() == kFileRoot.size() || IsSeparator(rest[kFileRoot.size()]));
    if (fileRoot) {
      const std::string sub = rest.size() > kFileRoot.size() ? rest.substr(kFileRoot.size() + 1) : std::string();
      result = sub.empty() ? q + "\\FILEROOT\\" + mailbox : q + "\\FILEROOT\\" + mailbox + "\\" + sub;
    } else {
      result = q + "\\MAILROOT\\" + mailbox + "\\" + *folderPath;
    }
  }
  return Fitted(result, kScanPathCapacity);
}

uint32_t FolderTypeFromPath(const std::string& folderPath) {
  struct Entry {
    const char* name;
    uint32_t type;
  };
  static constexpr Entry kTable[] = {{"CALENDAR", kFolderCalendar},
                                     {"TASKS", kFolderTasks},
                                     {"$VCFROOT", kFolderContacts},
                                     {"CONTACTS", kFolderContacts},
                                     {"$FILEROOT", kFolderFileRoot}};
  const std::string path = NormalisedForType(folderPath);
  for (const Entry& e : kTable) {
    if (EqualsNoCase(path, NormalisedForType(e.name))) return e.type;
  }
  return kFolderMail;
}

std::string SpecialNameForm(const std::string& parentPath, const std::string& name) {
  if (parentPath != "\\" && parentPath != "/") return name;
  for (const char* special : kSpecialFolderNames) {
    if (EqualsNoCase(name, special)) return std::string(special).substr(0, kSpecialNameCapacity - 1);
  }
  return name;
}

bool WriteFolderChangeFlag(const std::string& postoffice, const std::string& mailbox,
                           const std::string& folderPath) {
  const std::string po = SafePostofficeBase(postoffice, mailbox, folderPath);
  if (po.empty()) return false;
  const std::string& f = folderPath;
  std::string directory;
  if (StartsWithNoCase(f, kFileRoot)) {
    const size_t sep = f.find_first_of("\\/");
    directory = po + "\\FILEROOT\\" + mailbox + (sep == std::string::npos ? std::string() : f.substr(sep));
  } else if (PublicFoldersEnabled() && IsPublicPath(f)) {
    std::string sub;
    directory = PublicSubPath(DropOneLeadingSeparator(f), sub) ? po + "\\PUBROOT\\" + sub : po + "\\PUBROOT";
  } else {
    directory = po + "\\MAILROOT\\" + mailbox + "\\" + f;
  }
  directory = Fitted(directory, kPathCapacity);
  return !directory.empty() && WriteChangeFlagIn(directory);
}

bool WriteChangeFlagIn(const std::string& directory) {
  platform::FileHandle file = platform::OpenFile(directory + "\\" + kChangeFlagFile, platform::Access::Write,
                                                 platform::Share::All, platform::Disposition::CreateAlways);
  if (!file.IsOpen()) return false;
  const std::string_view text = kChangeFlagText;
  return file.Write(text.data(), text.size());
}

}  // namespace tw
