#include "folders/property_conversion.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "common/text.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr size_t kTextBlockSize = 1024;
constexpr size_t kDateTextCapacity = 256;  // a date text fits easily
constexpr size_t kNumberTextSize = 64;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kDaySeconds = 86400;
// What a birthday of "no date" is stored as.
constexpr int64_t kNoBirthday = 2147483647;
// Texts whose length could not be handed out as a 32-bit length.
constexpr size_t kLongestText = 0x3FFFFFFE;

bool IsTextStorage(uint32_t type) {
  return type == kValueText || type == kValueLongText || type == kValueLongText14;
}

// 8-bit text in a block of `size` bytes (cut to size - 1), handed out with
// the value type's length.
std::optional<ValueBlock> TextBlock(std::string_view text, size_t size, uint32_t length) {
  auto block = ValueBlock::Allocate(size, length);
  if (block) CopyText(reinterpret_cast<char*>(block->Data()), size, text);
  return block;
}

std::optional<ValueBlock> FixedTextBlock(std::string_view text) { return TextBlock(text, kTextBlockSize, 1024); }

std::optional<ValueBlock> VariableTextBlock(std::string_view text) {
  if (text.size() > kLongestText) return std::nullopt;
  auto block = ValueBlock::Allocate(text.size() + 1, static_cast<uint32_t>(text.size() + 1));
  if (block && !text.empty()) std::memcpy(block->Data(), text.data(), text.size());
  return block;
}

// Each byte becomes one 16-bit unit (the store's 8-bit texts are Latin-1).
std::optional<ValueBlock> WideTextBlock(std::string_view text) {
  if (text.size() > kLongestText) return std::nullopt;
  auto block = ValueBlock::Allocate((text.size() + 1) * 2, static_cast<uint32_t>(text.size() + 1));
  if (!block) return block;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = static_cast<unsigned char>(text[i]);
    std::memcpy(block->Data() + i * 2, &unit, 2);
  }
  return block;
}

template <typename T>
std::optional<ValueBlock> ScalarBlock(T value) {
  auto block = ValueBlock::Allocate(sizeof(T), sizeof(T));
  if (block) std::memcpy(block->Data(), &value, sizeof(T));
  return block;
}

template <typename T>
T ScalarOf(const ValueBlock& block) {
  T value{};
  if (block.Size() >= sizeof(T)) std::memcpy(&value, block.Data(), sizeof(T));
  return value;
}

// The text of a text block, up to its first NUL.
std::string_view TextOf(const ValueBlock& block) {
  const char* data = reinterpret_cast<const char*>(block.Data());
  const void* end = std::memchr(data, '\0', block.Size());
  return std::string_view(data, end != nullptr ? static_cast<const char*>(end) - data : block.Size());
}

double DoubleFromText(std::string_view text) {
  const std::string bounded(text);
  return std::strtod(bounded.c_str(), nullptr);
}

uint32_t TruthFromText(std::string_view text) { return EqualsNoCase(text, "TRUE") || text == "1" ? 1 : 0; }

// Decimal, or hexadecimal after "0x"; leading blanks and a sign as strtoul
// takes them.
uint32_t WordFromText(std::string_view text) {
  const std::string bounded(text);
  return static_cast<uint32_t>(std::strtoul(bounded.c_str(), nullptr, 0));
}

// Digits only, at most 20 of them, without overflow.
std::optional<uint64_t> Unsigned(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// atoll rules: leading blanks, an optional sign, digits; saturates.
int64_t LeadingNumber64(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (std::numeric_limits<int64_t>::max() - 9) / 10) return negative ? std::numeric_limits<int64_t>::min()
                                                                                : std::numeric_limits<int64_t>::max();
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::optional<uint64_t> FileTimeFromUnixSeconds(int64_t seconds) {
  if (seconds < -kSecondsFrom1601To1970 || seconds > std::numeric_limits<int64_t>::max() / kTicksPerSecond)
    return std::nullopt;
  const uint64_t since1601 = static_cast<uint64_t>(seconds + kSecondsFrom1601To1970);
  return since1601 * static_cast<uint64_t>(kTicksPerSecond);
}

int64_t UnixSecondsFromFileTime(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / static_cast<uint64_t>(kTicksPerSecond)) - kSecondsFrom1601To1970;
}

// Days from 1970-01-01 (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// Reads `width` digits at `at`, skipping one optional separator first.
bool Field(std::string_view text, size_t& at, size_t width, char separator, int64_t& value) {
  if (separator != '\0' && at < text.size() && text[at] == separator) ++at;
  if (at + width > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += width;
  return true;
}

std::optional<uint64_t> FileTimeFromStoredDate(std::string_view text) {
  if (auto number = Unsigned(text)) {
    // MODIFIEDDATE keeps a DOS date and time; anything wider is a file time.
    if (*number <= 0xFFFFFFFFu) return platform::DosDateTimeToFileTime(static_cast<uint32_t>(*number));
    return *number;
  }
  return FileTimeFromIsoText(text);
}

std::optional<ValueBlock> FromText(std::string_view text, uint32_t valueType) {
  switch (valueType) {
    case kValueText:
      return FixedTextBlock(text);
    case kValueLongText:
    case kValueLongText14:
      return VariableTextBlock(text);
    case kValueInteger:
      return ScalarBlock<int32_t>(ParseLeadingNumber(text));
    case kValueDouble:
      return ScalarBlock<double>(DoubleFromText(text));
    case kValueTruth:
      return ScalarBlock<uint32_t>(TruthFromText(text));
    case kValueWord:
      return ScalarBlock<uint32_t>(WordFromText(text));
    case kValueWideFrom8:
    case kValueWideText:
      return WideTextBlock(text);
    default:
      return std::nullopt;
  }
}

std::optional<ValueBlock> FromFileTime(uint64_t fileTime, uint32_t valueType, bool birthday) {
  const int64_t seconds = UnixSecondsFromFileTime(fileTime);
  if (valueType == kValueDateText) {
    const std::string text = birthday && seconds == kNoBirthday ? std::string() : IsoTextFromFileTime(fileTime);
    // A 1024-byte block, since the length handed out is the type's size.
    auto block = ValueBlock::Allocate(kTextBlockSize, 1024);
    if (block) CopyText(reinterpret_cast<char*>(block->Data()), kDateTextCapacity, text);
    return block;
  }
  if (valueType == kValueUnixText) return FixedTextBlock(std::to_string(seconds));
  return std::nullopt;
}

}  // namespace

std::optional<ValueBlock> ValueBlock::Allocate(size_t size, uint32_t length) {
  void* data = std::calloc(size == 0 ? 1 : size, 1);
  if (data == nullptr) return std::nullopt;
  ValueBlock block;
  block.data_.reset(static_cast<unsigned char*>(data));
  block.size_ = size;
  block.length_ = length;
  return block;
}

std::string IsoTextFromFileTime(uint64_t fileTime) {
  const int64_t seconds = UnixSecondsFromFileTime(fileTime);
  const int64_t days = (seconds >= 0 ? seconds : seconds - (kDaySeconds - 1)) / kDaySeconds;
  const int64_t inDay = seconds - days * kDaySeconds;
  int64_t year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  return FormatText(kDateTextCapacity, "%4d-%02d-%02dT%02d:%02d:%02d", static_cast<int>(year),
                    static_cast<int>(month), static_cast<int>(day), static_cast<int>(inDay / 3600),
                    static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
}

std::optional<uint64_t> FileTimeFromIsoText(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == 'Z' || text.back() == 'z'))
    text.remove_suffix(1);
  size_t at = 0;
  int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Field(text, at, 4, '\0', year) || !Field(text, at, 2, '-', month) || !Field(text, at, 2, '-', day))
    return std::nullopt;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != 't' && text[at] != ' ') return std::nullopt;
    ++at;
    if (!Field(text, at, 2, '\0', hour) || !Field(text, at, 2, ':', minute)) return std::nullopt;
    if (at < text.size() && !Field(text, at, 2, ':', second)) return std::nullopt;
    if (at != text.size()) return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return std::nullopt;
  const int64_t seconds = DaysFromCivil(year, month, day) * kDaySeconds + hour * 3600 + minute * 60 + second;
  return FileTimeFromUnixSeconds(seconds);
}

std::optional<ValueBlock> FetchStoredValue(const IndexItemPropertyContainer& item, std::string_view indexName,
                                           uint32_t storageType) {
  if (!item.Has(indexName)) return std::nullopt;
  const std::string text = item.GetText(indexName);
  switch (storageType) {
    case kValueText:
    case kValueTextOnly:
    case kValueDateText:
    case kValueTextOnly5:
    case kValueUnixText:
    case kValueDateText11:
      return FixedTextBlock(text);
    case kValueLongText:
    case kValueLongText14:
      return VariableTextBlock(text);
    case kValueWideFrom8:
    case kValueWideText:
      return WideTextBlock(text);
    case kValueInteger:
      return ScalarBlock<int32_t>(ParseLeadingNumber(text));
    case kValueDouble:
      return ScalarBlock<double>(DoubleFromText(text));
    case kValueTruth:
      return ScalarBlock<uint32_t>(TruthFromText(text));
    case kValueWord:
      return ScalarBlock<uint32_t>(WordFromText(text));
    case kValueFileTime:
      if (auto fileTime = FileTimeFromStoredDate(text)) return ScalarBlock<uint64_t>(*fileTime);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<ValueBlock> ConvertStoredValue(ValueBlock fetched, uint32_t storageType, uint32_t valueType,
                                             bool birthday) {
  if (ValueTypeSize(valueType) == 0) return std::nullopt;
  // Same type: the fetched block is already the value.
  if (storageType == valueType) return fetched;
  if (IsTextStorage(storageType)) return FromText(TextOf(fetched), valueType);
  switch (storageType) {
    case kValueInteger: {
      const std::string text = std::to_string(ScalarOf<int32_t>(fetched));
      if (valueType == kValueText) return FixedTextBlock(text);
      if (valueType == kValueLongText) return TextBlock(text, kNumberTextSize, static_cast<uint32_t>(text.size() + 1));
      return std::nullopt;
    }
    case kValueDouble:
      if (valueType == kValueText) return FixedTextBlock(FormatText(kTextBlockSize, "%10.2f", ScalarOf<double>(fetched)));
      return std::nullopt;
    case kValueTruth:
      if (valueType == kValueText) return FixedTextBlock(ScalarOf<uint32_t>(fetched) != 0 ? "1" : "0");
      return std::nullopt;
    case kValueFileTime:
      return FromFileTime(ScalarOf<uint64_t>(fetched), valueType, birthday);
    case kValueDateText:
    case kValueDateText11: {
      if (valueType != kValueFileTime) return std::nullopt;
      const std::string_view text = TextOf(fetched);
      if (birthday && storageType == kValueDateText && text.empty())
        return ScalarBlock<uint64_t>(*FileTimeFromUnixSeconds(kNoBirthday));
      if (auto fileTime = FileTimeFromIsoText(text)) return ScalarBlock<uint64_t>(*fileTime);
      return std::nullopt;
    }
    case kValueUnixText: {
      if (valueType != kValueFileTime) return std::nullopt;
      if (auto fileTime = FileTimeFromUnixSeconds(LeadingNumber64(TextOf(fetched))))
        return ScalarBlock<uint64_t>(*fileTime);
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

std::optional<ValueBlock> ReadPropertyValue(const IndexItemPropertyContainer& item,
                                            const PropertyDescriptor& descriptor, bool birthday) {
  auto fetched = FetchStoredValue(item, StoredName(descriptor.indexName), descriptor.storageType);
  if (!fetched) return std::nullopt;
  return ConvertStoredValue(std::move(*fetched), descriptor.storageType, descriptor.valueType, birthday);
}

}  // namespace tw
