#include "calendar/time_zone_block.h"

#include <algorithm>
#include <string>

#include "calendar/date_texts.h"
#include "calendar/recurrence_rule_parts.h"
#include "calendar/time_zone_offsets.h"
#include "common/text.h"
#include "frame/event_report.h"

namespace tw {
namespace {

// Real zones have a handful of blocks; more only cost time.
constexpr size_t kSectionLimit = 64;
// A folded line longer than this is cut; no zone property needs more.
constexpr size_t kLineLimit = 4096;

std::string_view Unquoted(std::string_view text) {
  text = TrimRuleBlanks(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

// Unfolds the text's lines (a line starting with a blank continues the one
// before) and splits each into its name (parameters dropped) and value.
class ContentLines {
 public:
  explicit ContentLines(std::string_view text) : text_(text) {}

  bool Next(std::string& name, std::string& value) {
    if (pos_ >= text_.size()) return false;
    line_.assign(Physical().substr(0, kLineLimit));
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
      const std::string_view more = Physical();
      if (line_.size() < kLineLimit) line_.append(more.substr(1, kLineLimit - line_.size()));
    }
    const std::string_view line = TrimRuleBlanks(line_);
    const size_t colon = line.find(':');
    const std::string_view head = line.substr(0, colon);
    name.assign(TrimRuleBlanks(head.substr(0, head.find(';'))));
    value.assign(colon == std::string_view::npos ? std::string_view{} : TrimRuleBlanks(line.substr(colon + 1)));
    return true;
  }

 private:
  std::string_view Physical() {
    const size_t end = std::min(text_.find('\n', pos_), text_.size());
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string line_;
};

std::string NormalizedOffset(std::string_view text) {
  const OffsetText offset = ReadOffsetText(text);
  if (offset.read != OffsetRead::kMinutes) return {};
  return OffsetTextFromMinutes(offset.minutes);
}

std::optional<SystemTime> MomentFromText(std::string_view text) {
  const auto fields = ReadDateTimeText(text);
  if (!fields) return std::nullopt;
  return SystemTimeFromTextFields(*fields);
}

struct SectionDraft {
  TimeZoneSection section;
  std::string rule;
};

TimeZoneSection FinishSection(SectionDraft& draft) {
  if (!draft.rule.empty()) {
    // The rule's own UNTIL is in UTC or local; the change-over only needs
    // its month, day and position.
    draft.section.rule = PatternFromICalendarRule(draft.rule, draft.section.changeOver);
  }
  return std::move(draft.section);
}

// The latest DTSTART becomes the section; the others stay as earlier ones.
void PlaceSections(std::vector<TimeZoneSection>& sections, TimeZoneSection& latest,
                   std::vector<TimeZoneSection>& earlier) {
  if (sections.empty()) return;
  std::stable_sort(sections.begin(), sections.end(), [](const TimeZoneSection& a, const TimeZoneSection& b) {
    return SectionStartWallSeconds(a) < SectionStartWallSeconds(b);
  });
  latest = std::move(sections.back());
  sections.pop_back();
  earlier = std::move(sections);
}

std::optional<TimeZoneRecord> ParseBlocks(std::string_view text, std::string_view tzid) {
  enum class Place { kOutside, kZone, kStandard, kDaylight };
  ContentLines lines(text);
  std::string name, value;
  Place place = Place::kOutside;
  std::optional<int> fixedOffset;
  TimeZoneRecord record;
  std::vector<TimeZoneSection> standards, daylights;
  SectionDraft draft;
  bool named = false;

  auto finishZone = [&]() -> bool {
    if (place == Place::kStandard || place == Place::kDaylight) {
      auto& list = place == Place::kStandard ? standards : daylights;
      if (list.size() < kSectionLimit) list.push_back(FinishSection(draft));
    }
    place = Place::kOutside;
    if (!tzid.empty() && !(named && EqualsNoCase(record.name, Unquoted(tzid)))) return false;
    if (!named) record.name = kUnnamedTimeZone;
    PlaceSections(standards, record.standard, record.earlierStandards);
    PlaceSections(daylights, record.daylight, record.earlierDaylights);
    return true;
  };

  while (lines.Next(name, value)) {
    if (place == Place::kOutside) {
      if (EqualsNoCase(name, "BEGIN") && EqualsNoCase(value, "VTIMEZONE")) {
        place = Place::kZone;
        record = TimeZoneRecord{};
        standards.clear();
        daylights.clear();
        named = false;
      } else if (EqualsNoCase(name, "TZ") && !fixedOffset) {
        const OffsetText offset = ReadOffsetText(value);
        if (offset.read == OffsetRead::kMinutes) fixedOffset = offset.minutes;
      }
      continue;
    }
    if (place == Place::kZone) {
      if (EqualsNoCase(name, "END") && EqualsNoCase(value, "VTIMEZONE")) {
        if (finishZone()) return record;
      } else if (EqualsNoCase(name, "TZID")) {
        record.name.assign(Unquoted(value).substr(0, kTimeZoneNameLimit));
        named = true;
      } else if (EqualsNoCase(name, "BEGIN") && (EqualsNoCase(value, "STANDARD") || EqualsNoCase(value, "DAYLIGHT"))) {
        place = EqualsNoCase(value, "STANDARD") ? Place::kStandard : Place::kDaylight;
        draft = SectionDraft{};
      }
      continue;
    }
    if (EqualsNoCase(name, "END")) {
      auto& list = place == Place::kStandard ? standards : daylights;
      if (list.size() < kSectionLimit) list.push_back(FinishSection(draft));
      place = Place::kZone;
    } else if (EqualsNoCase(name, "DTSTART")) {
      if (const auto moment = MomentFromText(value)) {
        draft.section.changeOver = *moment;
        draft.section.hasChangeOver = true;
      }
    } else if (EqualsNoCase(name, "RRULE")) {
      draft.rule = value;
    } else if (EqualsNoCase(name, "TZOFFSETFROM")) {
      draft.section.offsetFrom = NormalizedOffset(value);
    } else if (EqualsNoCase(name, "TZOFFSETTO")) {
      draft.section.offsetTo = NormalizedOffset(value);
    }
  }
  if (place != Place::kOutside && finishZone()) return record;
  if (fixedOffset && tzid.empty()) {
    TimeZoneRecord fixed;
    fixed.name = kUnnamedTimeZone;
    fixed.standard.offsetFrom = fixed.standard.offsetTo = OffsetTextFromMinutes(*fixedOffset);
    return fixed;
  }
  return std::nullopt;
}

}  // namespace

std::optional<TimeZoneRecord> VCalendar_ParseTimeZoneBlock(std::string_view calendarText, std::string_view tzid) {
  return AtBoundary("VCalendar_ParseTimeZoneBlock", kTimeZoneSourceModule, __LINE__, std::optional<TimeZoneRecord>{},
                    [&] { return ParseBlocks(calendarText, tzid); });
}

}  // namespace tw
