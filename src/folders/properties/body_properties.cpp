#include "folders/properties/body_properties.h"

#include <cstring>
#include <new>
#include <optional>

#include "common/chunk_buffer.h"
#include "common/text.h"
#include "folders/properties/body_walk.h"
#include "folders/properties/item_file.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_conversion.h"
#include "frame/event_report.h"
#include "index/messages/header_line_reader.h"
#include "platform/file_head.h"
#include "platform/last_error.h"

namespace tw {
namespace {

// Header lines are read through a 2048-byte line buffer.
constexpr size_t kHeaderValueLineLimit = 2048;
// Found, but the text does not convert to the value type.
constexpr uint32_t kFoundNotConverted = 1;

bool IsTextType(uint32_t type) { return type == kValueText || type == kValueLongText || type == kValueLongText14; }

std::string HeaderPrefix(std::string_view name) {
  std::string prefix(name);
  if (prefix.find(':') == std::string::npos) prefix += ':';
  return prefix;
}

void AppendBounded(std::string& value, std::string_view text) {
  if (value.size() < kLongestHeaderValue) value.append(text.substr(0, kLongestHeaderValue - value.size()));
}

bool ScanHeaderLines(HeaderLineReader& lines, std::string_view prefix, std::string& value) {
  value.clear();
  bool found = false;
  std::string_view raw;
  while (lines.Next(raw, kHeaderValueLineLimit)) {
    const std::string_view line = UpToNul(raw);
    if (!line.empty() && (line.front() == '\r' || line.front() == '\n')) break;
    if (!found) {
      if (!StartsWithNoCase(line, prefix)) continue;
      std::string_view rest = line.substr(prefix.size());
      while (!rest.empty() && (rest.front() == '\r' || rest.front() == '\n' || rest.front() == ' '))
        rest.remove_prefix(1);
      AppendBounded(value, WithoutLineBreak(rest));
      found = true;
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      AppendBounded(value, WithoutLineBreak(line));
    } else {
      break;
    }
  }
  return found;
}

// The text as a value of the value type. A text found in a file is handed
// out whole: it is not cut to the 1024 bytes an index value of type 1
// would have. Numbers keep their own size as length, so that nobody reads
// past the block.
std::optional<ValueBlock> ConvertBodyText(std::string_view text, uint32_t storageType, uint32_t valueType) {
  if (!IsTextType(storageType)) {
    std::optional<ValueBlock> fetched = StoredValueFromText(text, storageType);
    if (!fetched) return std::nullopt;
    return ConvertStoredValue(std::move(*fetched), storageType, valueType);
  }
  if (text.size() > kLongestBodyText) return std::nullopt;
  std::optional<ValueBlock> whole = ValueBlock::Allocate(text.size() + 1, static_cast<uint32_t>(text.size() + 1));
  if (!whole) return std::nullopt;
  if (!text.empty()) std::memcpy(whole->Data(), text.data(), text.size());
  if (IsTextType(valueType)) return whole;
  return ConvertStoredValue(std::move(*whole), kValueLongText, valueType);
}

// The part asked for by `name`; false when the file or the part is not
// there.
bool ReadBodyText(const std::string& path, std::string_view name, ChunkBuffer& text) {
  platform::FileInfo facts;
  platform::FileHandle file = platform::OpenForReading(path, &facts);
  if (!file.IsOpen()) return false;
  HeaderLineReader lines(file, facts.size);
  return WalkBody(lines, BodyPartKindFor(name), text);
}

}  // namespace

bool ScanHeaderValue(std::string_view file, std::string_view name, std::string& value) {
  HeaderLineReader lines(file);
  return ScanHeaderLines(lines, HeaderPrefix(name), value);
}

bool ReadHeaderValue(const std::string& path, std::string_view name, std::string& value) {
  value.clear();
  platform::FileHandle file = platform::OpenForReading(path);
  if (!file.IsOpen()) {
    Print(FormatText(kUnboundedText, "Error: Could not open message file for input. Error Code: %ld\r\n",
                     static_cast<long>(platform::GetLastError())));
    return false;
  }
  HeaderLineReader lines(file);
  return ScanHeaderLines(lines, HeaderPrefix(name), value);
}

uint32_t ReadBodyProperty(const IndexItem& item, std::string_view name, uint32_t storageType, uint32_t valueType,
                          void** value, uint32_t* length) {
  *value = nullptr;
  *length = 0;
  try {
    const std::optional<std::string> path = ItemFilePath(item);
    if (!path) return kNoPropertyValue;
    std::string subject;
    ChunkBuffer body;
    std::string_view text;
    if (EqualsNoCase(name, "PR_SUBJECT")) {
      if (!ReadHeaderValue(*path, "Subject", subject)) return kNoPropertyValue;
      text = subject;
    } else {
      if (!ReadBodyText(*path, name, body)) return kNoPropertyValue;
      text = body.Text();
    }
    std::optional<ValueBlock> block = ConvertBodyText(text, storageType, valueType);
    if (!block) return kFoundNotConverted;
    *length = block->Length();
    *value = block->Release();
    return kPropertyReturned;
  } catch (const std::bad_alloc&) {
    // No room for the text: nothing is handed out.
    return kNoPropertyValue;
  }
}

}  // namespace tw
