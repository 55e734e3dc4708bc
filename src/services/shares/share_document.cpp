#include "services/shares/share_document.h"

#include <cstdio>
#include <vector>

#include "common/file_management.h"
#include "frame/event_report.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutex.h"
#include "platform/system_info.h"

namespace tw {

namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype;
constexpr uint32_t kFacilityWin32 = 0x80070000u;
constexpr const char* kErrorSource = "ShareFile";

void PrintDocumentError(uint32_t error, const std::string& description) {
  const uint32_t code = kFacilityWin32 | (error & 0xFFFFu);
  char line[64];
  std::snprintf(line, sizeof line, "Code = %08lx\n", static_cast<unsigned long>(code));
  Print(std::string("Error:\n") + line + "Code meaning = " + platform::ErrorMessage(error) + "\n" +
        "Source = " + kErrorSource + "\n" + "Error Description = " + description + "\n");
}

// A text writer for pugixml's save.
struct TextWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

bool WriteWhole(const std::string& path, const std::string& bytes) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Write, platform::Share::None, platform::Disposition::CreateAlways);
  return file.IsOpen() && file.Write(bytes.data(), bytes.size());
}

}  // namespace

bool LoadShareDocument(const std::string& path, ShareDocument& share) {
  share.path = path;
  share.document.reset();
  ByteArray bytes;
  if (!ReadWholeFile(path, bytes)) {
    Print("General error loading index file\n");
    return false;
  }
  const pugi::xml_parse_result result =
      share.document.load_buffer(bytes.Data() ? bytes.Data() : reinterpret_cast<const uint8_t*>(""), bytes.Count(),
                                 kParseOptions, pugi::encoding_auto);
  if (!result || !share.document.document_element()) {
    share.document.reset();
    Print("General error loading index file\n");
    return false;
  }
  share.encoding = result.encoding;
  return true;
}

bool SaveShareDocument(const ShareDocument& share) {
  TextWriter writer;
  share.document.save(writer, "\t", pugi::format_indent | pugi::format_no_declaration, share.encoding);
  // A name of this writer's own: two removals at once never share a temporary.
  const std::string temporary = share.path + "." + std::to_string(platform::CurrentProcessId()) + "." +
                                std::to_string(platform::CurrentThreadId()) + ".tmp";
  if (!WriteWhole(temporary, writer.text)) {
    const uint32_t error = platform::GetLastError();
    platform::DeleteFile(temporary);
    PrintDocumentError(error, "Failed to write " + temporary);
    return false;
  }
  if (!platform::ReplaceFile(temporary, share.path)) {
    const uint32_t error = platform::GetLastError();
    platform::DeleteFile(temporary);
    PrintDocumentError(error, "Failed to replace " + share.path);
    return false;
  }
  return true;
}

size_t RemoveSelectedNodes(pugi::xml_document& document, const char* query,
                           const std::function<bool(pugi::xml_node)>& drop) {
  pugi::xpath_node_set selected = document.select_nodes(query);
  selected.sort();
  std::vector<pugi::xml_node> doomed;
  for (const pugi::xpath_node& found : selected)
    if (drop(found.node())) doomed.push_back(found.node());
  // In reverse document order a node goes before any node that holds it,
  // so no removal frees a node still to be removed.
  for (auto node = doomed.rbegin(); node != doomed.rend(); ++node) node->parent().remove_child(*node);
  return doomed.size();
}

}  // namespace tw
