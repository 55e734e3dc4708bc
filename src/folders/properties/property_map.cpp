#include "folders/properties/property_map.h"

#include <iterator>

#include "common/text.h"

namespace tw {
namespace {

constexpr PropertyDescriptor Text(std::string_view indexName) {
  return {indexName, kValueLongText, kValueLongText, kLongTextNone};
}
constexpr PropertyDescriptor Typed(std::string_view indexName, uint32_t value, uint32_t storage,
                                   uint32_t longText = kLongTextNone) {
  return {indexName, value, storage, longText};
}

constexpr PropertyMapping kCommon[] = {
    {"TW_ITEM_ID", Text("@ID")},
    {"TW_ITEM_CLASS", Typed("!CLASS", kValueInteger, kValueText)},
    {"TW_ITEM_MODIFIEDDATE", Typed("MODIFIEDDATE", kValueInteger, kValueText)},
};

constexpr PropertyMapping kMail[] = {
    {"PR_TW_MODIFIEDDATE", Text("MODIFIEDDATE")},
    {"PR_TW_MESSAGEDATE", Text("MESSAGEDATE")},
    {"PR_TW_IMPORTANCE", Text("IMPORTANCE")},
    {"PR_SENSITIVITY", Typed("SENSITIVITY", kValueInteger, kValueLongText)},
    {"PR_TW_FLAGSTATUS", Text("FLAGSTATUS")},
    {"PR_TW_ATTACHMENTS", Text("ATTACHMENTS")},
    {"PR_TW_FROM", Text("FROM")},
    {"PR_TW_TO", Text("TO")},
    {"PR_TW_CC", Text("CC")},
    {"PR_SUBJECT", Text("SUBJECT")},
    {"PR_TW_RECEIVED", Text("RECEIVED")},
    {"PR_TW_READ", Text("READ")},
    {"PR_TW_STATE", Text("STATE")},
    {"PR_TW_SIZE", Text("SIZE")},
    {"PR_TW_CLASS", Text("CLASS")},
    {"PR_CATEGORIES", Text("CATEGORIES")},
};

constexpr PropertyMapping kFileRoot[] = {
    {"PR_SUBJECT", Text("SUBJECT")},
    {"PR_MESSAGE_SIZE", Typed("SIZE", kValueInteger, kValueText)},
    {"PR_BODY", Typed("BODY", kValueLongText, kValueLongText, kLongTextBody)},
    {"PR_TW_ReadStatus", Typed("READ", kValueInteger, kValueText)},
    {"PR_LAST_MODIFIED_DATE", Typed("LASTMODIFIEDDATE", kValueFileTime, kValueFileTime, kLongTextFileDate)},
    {"PR_CREATED_DATE", Typed("CREATEDDATE", kValueFileTime, kValueFileTime, kLongTextFileDate)},
    {"PR_LAST_ACCESSED_DATE", Typed("LASTACCESSEDDATE", kValueFileTime, kValueFileTime, kLongTextFileDate)},
    {"PR_FILE_TYPE", Typed("FILETYPE", kValueInteger, kValueText, kLongTextFileType)},
};

std::optional<PropertyDescriptor> Find(PropertyTable table, std::string_view name) {
  for (const PropertyMapping& row : table)
    if (EqualsNoCase(row.name, name)) return row.descriptor;
  return std::nullopt;
}

// The common names come first in every table.
std::optional<PropertyDescriptor> FindWithCommon(PropertyTable table, std::string_view name) {
  if (auto common = Find(CommonPropertyTable(), name)) return common;
  return Find(table, name);
}

}  // namespace

uint32_t ValueTypeSize(uint32_t code) {
  switch (code) {
    case kValueText:
    case kValueTextOnly:
    case kValueDateText:
    case kValueTextOnly5:
    case kValueUnixText:
      return 1024;
    case kValueFileTime:
    case kValueDouble:
      return 8;
    case kValueInteger:
    case kValueTruth:
    case kValueWord:
      return 4;
    case kValueLongText:
    case kValueLongText14:
    case kValueWideFrom8:
    case kValueWideText:
      return kVariableSize;
    default:
      return 0;
  }
}

PropertyTable CommonPropertyTable() { return {kCommon, std::size(kCommon)}; }
PropertyTable MailPropertyTable() { return {kMail, std::size(kMail)}; }
PropertyTable FileRootPropertyTable() { return {kFileRoot, std::size(kFileRoot)}; }

std::optional<PropertyDescriptor> FindMailProperty(std::string_view name) {
  return FindWithCommon(MailPropertyTable(), name);
}

std::optional<PropertyDescriptor> FindFileRootProperty(std::string_view name) {
  return FindWithCommon(FileRootPropertyTable(), name);
}

std::optional<PropertyDescriptor> FindProperty(uint32_t kind, std::string_view name) {
  switch (kind) {
    case kKindMail:
    case kKindMailLike:
      return FindMailProperty(name);
    case kKindFileRoot:
      return FindFileRootProperty(name);
    default:
      return std::nullopt;
  }
}

}  // namespace tw
