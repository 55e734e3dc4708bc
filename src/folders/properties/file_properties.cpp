#include "folders/properties/file_properties.h"

#include <cstring>
#include <optional>
#include <string>

#include "common/text.h"
#include "folders/properties/item_file.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_conversion.h"
#include "platform/files.h"

namespace tw {
namespace {

std::optional<uint64_t> FileTimeNamed(const platform::FileInfo& info, std::string_view indexName) {
  if (EqualsNoCase(indexName, "LASTMODIFIEDDATE")) return info.lastWriteTime;
  if (EqualsNoCase(indexName, "CREATEDDATE")) return info.creationTime;
  if (EqualsNoCase(indexName, "LASTACCESSEDDATE")) return info.lastAccessTime;
  return std::nullopt;
}

// The fact as a value of the storage type.
std::optional<ValueBlock> FetchFileFact(const platform::FileInfo& info, const PropertyDescriptor& descriptor) {
  const std::string_view indexName = StoredName(descriptor.indexName);
  if (descriptor.longText == kLongTextFileType) {
    const int32_t type = (info.attributes & platform::kAttrDirectory) != 0 ? kFileTypeDirectory : kFileTypeFile;
    return StoredValueFromText(std::to_string(type), descriptor.storageType);
  }
  const std::optional<uint64_t> fileTime = FileTimeNamed(info, indexName);
  if (!fileTime) return std::nullopt;
  if (descriptor.storageType != kValueFileTime)
    return StoredValueFromText(std::to_string(*fileTime), descriptor.storageType);
  std::optional<ValueBlock> block = ValueBlock::Allocate(sizeof *fileTime, sizeof *fileTime);
  if (block) std::memcpy(block->Data(), &*fileTime, sizeof *fileTime);
  return block;
}

}  // namespace

uint32_t ReadFileProperty(const IndexItem& item, const PropertyDescriptor& descriptor, void** value,
                          uint32_t* length) {
  *value = nullptr;
  *length = 0;
  const std::optional<std::string> path = ItemFilePath(item);
  platform::FileInfo info;
  if (!path || !platform::GetFileInfo(*path, info)) return kNoPropertyValue;
  std::optional<ValueBlock> fetched = FetchFileFact(info, descriptor);
  if (!fetched) return kNoPropertyValue;
  std::optional<ValueBlock> converted =
      ConvertStoredValue(std::move(*fetched), descriptor.storageType, descriptor.valueType);
  if (!converted) return kNoPropertyValue;
  *length = converted->Length();
  *value = converted->Release();
  return kPropertyReturned;
}

}  // namespace tw
