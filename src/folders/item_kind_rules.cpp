#include "folders/item_kind_rules.h"

#include "folders/properties/property_map.h"

namespace tw {
namespace {

ItemKindRules g_contacts;
ItemKindRules g_calendar;
ItemKindRules g_tasks;
CalendarFileRules g_calendarFile;

}  // namespace

bool HasOwnRules(uint32_t kind) { return kind == kKindContacts || kind == kKindCalendar || kind == kKindTasks; }

ItemKindRules* KindRules(uint32_t kind) {
  switch (kind) {
    case kKindContacts:
      return &g_contacts;
    case kKindCalendar:
      return &g_calendar;
    case kKindTasks:
      return &g_tasks;
    default:
      return nullptr;
  }
}

CalendarFileRules& CalendarFile() { return g_calendarFile; }

}  // namespace tw
