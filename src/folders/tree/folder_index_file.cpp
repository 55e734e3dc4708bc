#include "folders/tree/folder_index_file.h"

#include <algorithm>

#include <pugixml.hpp>

#include "common/text.h"
#include "platform/file_handle.h"
#include "platform/file_head.h"
#include "platform/mutex.h"
#include "platform/system_info.h"

namespace tw {
namespace {

// Far beyond any real folder's sub-folders; a larger file is not ours.
constexpr size_t kLargestIndexFile = 16u << 20;
constexpr size_t kComparedNameLength = 259;

std::string IndexPath(const std::string& directory) { return directory + "\\" + kFolderIndexFile; }

// The text of an element and everything under it, as the document model's
// text property gives it.
void AppendText(const pugi::xml_node& node, std::string& out) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      out += child.value();
    } else if (child.type() == pugi::node_element) {
      AppendText(child, out);
    }
  }
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  platform::FileHandle file = platform::OpenForReading(path, nullptr);
  if (!file.IsOpen()) return false;
  const int64_t size = file.Size();
  if (size < 0 || static_cast<uint64_t>(size) > kLargestIndexFile) return false;
  bytes.resize(static_cast<size_t>(size));
  size_t got = 0;
  if (!file.Read(bytes.data(), bytes.size(), got)) return false;
  bytes.resize(got);
  return true;
}

}  // namespace

std::string FolderIndexText(const std::vector<std::string>& names) {
  std::string text = "<folderindex>";
  for (const std::string& name : names) {
    if (name.find("]]>") != std::string::npos) continue;
    text += "<folder><name><![CDATA[";
    text += name;
    text += "]]></name></folder>";
  }
  text += "</folderindex>";
  return text;
}

bool WriteFolderIndex(const std::string& directory, const std::vector<std::string>& names) {
  const std::string path = IndexPath(directory);
  const std::string temporary = path + "." + std::to_string(platform::CurrentProcessId()) + "." +
                                std::to_string(platform::CurrentThreadId()) + ".tmp";
  const std::string text = FolderIndexText(names);
  bool written = false;
  {
    platform::FileHandle file =
        platform::OpenFile(temporary, platform::Access::Write, platform::Share::None, platform::Disposition::CreateAlways);
    if (!file.IsOpen()) return false;
    written = file.Write(text.data(), text.size());
  }
  if (written && platform::ReplaceFile(temporary, path)) return true;
  platform::DeleteFile(temporary);
  return false;
}

FolderIndexRead ReadFolderIndex(const std::string& directory, FolderIndexContent& content) {
  content.names.clear();
  const std::string path = IndexPath(directory);
  if (!platform::GetFileStamp(path, content.stamp)) return FolderIndexRead::Missing;
  std::string bytes;
  if (!ReadBytes(path, bytes)) return FolderIndexRead::Malformed;
  pugi::xml_document document;
  // No conversion: names keep every byte they were written with.
  const pugi::xml_parse_result parsed =
      document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8);
  const pugi::xml_node root = document.document_element();
  if (!parsed || root.empty()) return FolderIndexRead::Malformed;
  for (pugi::xml_node other = root.next_sibling(); other; other = other.next_sibling()) {
    if (other.type() == pugi::node_element) return FolderIndexRead::Malformed;  // a second document element
  }
  for (pugi::xml_node folder : root.children("folder")) {
    std::string name;
    AppendText(folder, name);
    content.names.push_back(std::move(name));
  }
  return FolderIndexRead::Read;
}

bool FolderIndexListsName(const std::string& directory, std::string_view name) {
  FolderIndexContent content;
  if (ReadFolderIndex(directory, content) != FolderIndexRead::Read) return false;
  const std::string_view wanted = name.substr(0, std::min(name.size(), kComparedNameLength));
  for (const std::string& listed : content.names) {
    const std::string_view cut = std::string_view(listed).substr(0, std::min(listed.size(), kComparedNameLength));
    if (EqualsNoCase(cut, wanted)) return true;
  }
  return false;
}

}  // namespace tw
