#include "folders/properties/property_map.h"

#include <atomic>
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

constexpr PropertyMapping kTasks[] = {
    {"PR_SUBJECT", Text("SUBJECT")},
    {"PR_SENSITIVITY", Typed("SENSITIVITY", kValueInteger, kValueText)},
    {"PR_IMPORTANCE", Typed("IMPORTANCE", kValueInteger, kValueText)},
    {"PR_MESSAGE_SIZE", Typed("SIZE", kValueInteger, kValueText)},
    {"PR_SENT_REPRESENTING_NAME", Text("SENDERNAME")},
    {"PR_SENT_REPRESENTING_EMAIL_ADDRESS", Text("SENDERADDRESS")},
    {"PR_BNP_Status", Typed("STATUS", kValueInteger, kValueText)},
    {"PR_BNP_StartDate", Typed("STARTDATE", kValueFileTime, kValueUnixText)},
    {"PR_BNP_DueDate", Typed("DUEDATE", kValueFileTime, kValueUnixText)},
    {"PR_BNP_PatternStartDate", Typed("PATTERNSTARTDATE", kValueFileTime, kValueUnixText)},
    {"PR_BNP_PatternEndDate", Typed("PATTERNENDDATE", kValueFileTime, kValueUnixText)},
    {"PR_BNP_AppointmentUID", Text("APPOINTMENTUID")},
    {"PR_BNP_Mileage", Text("MILEAGE")},
    {"PR_BNP_Companies", Text("COMPANY")},
    {"PR_BNP_BillingInformation", Text("BILLING")},
    {"PR_BNP_PercentComplete", Typed("PERCCOMP", kValueDouble, kValueText)},
    {"PR_BNP_Complete", Typed("COMPLETE", kValueTruth, kValueText)},
    {"PR_BNP_TotalWork", Typed("TOTALWORK", kValueInteger, kValueText)},
    {"PR_BNP_ActualWork", Typed("ACTUALWORK", kValueInteger, kValueText)},
    {"PR_BODY", Typed("BODY", kValueLongText, kValueLongText, kLongTextBody)},
    {"PR_BNP_vCalendar", Typed("VCALENDAR", kValueLongText, kValueLongText, kLongTextBody)},
    {"PR_BNP_vCalendar_UNICODE", Typed("VCALENDAR", kValueWideFrom8, kValueText, kLongTextBody)},
    {"PR_TW_NumAttachments", Typed("ATTACHMENTS", kValueInteger, kValueText)},
    {"PR_TW_ReadStatus", Typed("READ", kValueInteger, kValueText)},
    {"PR_BNP_IsRecurring", Typed("ISRECURRING", kValueInteger, kValueText)},
    {"PR_BNP_RecurrenceType", Typed("RECURRENCETYPE", kValueInteger, kValueText)},
    {"PR_BNP_RecurrenceInterval", Typed("RECURRENCEINTERVAL", kValueInteger, kValueText)},
    {"PR_BNP_Occurrences", Typed("OCCURRENCES", kValueInteger, kValueText)},
    {"PR_BNP_NoEndDate", Typed("NOENDDATE", kValueInteger, kValueText)},
    {"PR_BNP_RecurrenceDayOfMonth", Typed("RECURRENCEDAYOFMONTH", kValueInteger, kValueText)},
    {"PR_BNP_RecurrenceDayOfWeekMask", Typed("RECURRENCEDAYOFWEEKMASK", kValueInteger, kValueText)},
    {"PR_BNP_RecurrenceMonthOfYear", Typed("RECURRENCEMONTHOFYEAR", kValueInteger, kValueText)},
};

// The contact and calendar tables come with those folder kinds; until they
// are filled in, neither knows a name.
std::optional<PropertyDescriptor> NoProperty(std::string_view) { return std::nullopt; }
std::atomic<PropertyLookup> contactLookup{NoProperty};
std::atomic<PropertyLookup> calendarLookup{NoProperty};

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
PropertyTable TaskPropertyTable() { return {kTasks, std::size(kTasks)}; }

KindPropertyLookups SetKindPropertyLookups(KindPropertyLookups lookups) {
  return {contactLookup.exchange(lookups.contacts != nullptr ? lookups.contacts : NoProperty),
          calendarLookup.exchange(lookups.calendar != nullptr ? lookups.calendar : NoProperty)};
}

std::optional<PropertyDescriptor> FindMailProperty(std::string_view name) {
  return FindWithCommon(MailPropertyTable(), name);
}

std::optional<PropertyDescriptor> FindFileRootProperty(std::string_view name) {
  return FindWithCommon(FileRootPropertyTable(), name);
}

std::optional<PropertyDescriptor> FindTaskProperty(std::string_view name) {
  return FindWithCommon(TaskPropertyTable(), name);
}

std::optional<PropertyDescriptor> FindContactProperty(std::string_view name) {
  if (auto common = Find(CommonPropertyTable(), name)) return common;
  return contactLookup.load()(name);
}

std::optional<PropertyDescriptor> FindCalendarProperty(std::string_view name) {
  if (auto common = Find(CommonPropertyTable(), name)) return common;
  return calendarLookup.load()(name);
}

std::optional<PropertyDescriptor> FindProperty(uint32_t kind, std::string_view name) {
  switch (kind) {
    case kKindMail:
    case kKindMailLike:
      return FindMailProperty(name);
    case kKindContacts:
      return FindContactProperty(name);
    case kKindCalendar:
      return FindCalendarProperty(name);
    case kKindTasks:
      return FindTaskProperty(name);
    case kKindFileRoot:
      return FindFileRootProperty(name);
    default:
      return std::nullopt;
  }
}

}  // namespace tw
