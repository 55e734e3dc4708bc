#include "folders/properties/property_types.h"

#include <optional>

#include "folders/properties/property_map.h"

namespace tw {

uint32_t PropertyValueType(std::string_view name, uint32_t folderType) {
  if (folderType <= kKindFileRoot) {
    const std::optional<PropertyDescriptor> found = FindProperty(folderType, name);
    return found ? found->valueType : kValueText;
  }
  for (uint32_t kind : {kKindMail, kKindContacts, kKindCalendar})
    if (const std::optional<PropertyDescriptor> found = FindProperty(kind, name)) return found->valueType;
  return 0;
}

}  // namespace tw
