#include "folders/operations/folder_place.h"

#include <vector>

#include "common/file_management.h"
#include "common/text.h"
#include "folders/operations/folder_record.h"
#include "frame/store_paths.h"
#include "platform/files.h"

namespace tw {
namespace {

// The special prefix that picks the record's tree, as the directory
// resolution reads it.
std::string TreePrefix(std::string_view path) {
  if (StartsWithNoCase(path, "$VCFROOT")) return "$VCFROOT";
  if (StartsWithNoCase(path, "$FILEROOT")) return "$FILEROOT";
  if (PublicFoldersEnabled() && IsPublicPath(std::string(path))) return "\\Public";
  return "\\";
}

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (at < path.size()) {
    size_t end = at;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    if (end > at) parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

bool IsLink(const std::string& path) {
  const uint32_t attributes = platform::GetFileAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint) != 0;
}

struct Resolved {
  std::string root;
  std::string directory;
  std::vector<std::string_view> parts;  // of directory below root
};

std::optional<Resolved> Resolve(const FolderRecord& record) {
  if (!IsSafeFolderRecord(record)) return std::nullopt;
  const std::string mailbox(RecordText(record.mailbox)), postoffice(RecordText(record.postoffice));
  const std::string_view path = RecordText(record.path);
  Resolved out;
  out.root = FolderDirectoryForRecord(mailbox, postoffice, TreePrefix(path));
  out.directory = FolderDirectoryForRecord(mailbox, postoffice, std::string(path));
  if (out.root.empty() || out.directory.empty()) return std::nullopt;
  const std::string_view name = RecordText(record.name);
  if (!name.empty()) out.directory += "\\" + std::string(name);
  if (out.directory.compare(0, out.root.size(), out.root) != 0) return std::nullopt;
  const std::string_view below = std::string_view(out.directory).substr(out.root.size());
  if (!below.empty() && !IsPathSeparator(below.front())) return std::nullopt;
  out.parts = Components(below);
  return out;
}

std::string Collapsed(std::string_view systemPath) {
  std::string out;
  for (char c : systemPath)
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

std::optional<std::string> RecordDirectory(const FolderRecord& record) {
  const std::optional<Resolved> resolved = Resolve(record);
  if (!resolved) return std::nullopt;
  std::string walked = resolved->root;
  for (std::string_view part : resolved->parts) {
    walked += "\\";
    walked += part;
    if (IsLink(walked)) return std::nullopt;
  }
  return resolved->directory;
}

std::optional<FolderPlace> ResolveFolderPlace(const FolderRecord& record) {
  const std::optional<Resolved> resolved = Resolve(record);
  if (!resolved || resolved->parts.empty()) return std::nullopt;
  FolderPlace place{resolved->root, resolved->root, resolved->root};
  for (size_t i = 0; i < resolved->parts.size(); ++i) {
    const std::string_view part = resolved->parts[i];
    if (part == "." || part == "..") return std::nullopt;
    place.parent = place.directory;
    place.directory += "\\";
    place.directory += part;
    if (i + 1 < resolved->parts.size() && IsLink(place.directory)) return std::nullopt;
  }
  return place;
}

std::string RecordFolderPath(const FolderRecord& record) {
  std::string path(RecordText(record.path));
  const std::string_view name = RecordText(record.name);
  if (!name.empty()) {
    if (!path.empty() && !IsPathSeparator(path.back())) path += "\\";
    path += name;
  }
  return path;
}

bool IsSameOrBelow(std::string_view inner, std::string_view outer) {
  const std::string in = Collapsed(platform::ToSystemPath(inner));
  const std::string out = Collapsed(platform::ToSystemPath(outer));
  return StartsWithNoCase(in, out) && (in.size() == out.size() || in[out.size()] == '/');
}

}  // namespace tw
