#include "folders/properties/property_conversion.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "calendar/date_texts.h"
#include "common/number_texts.h"
#include "common/text.h"
#include "common/wide_text.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr size_t kTextBlockSize = 1024;
constexpr size_t kDateTextCapacity = 256;  // a date text fits easily
constexpr size_t kNumberTextSize = 64;
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

std::optional<ValueBlock> WideTextBlock(std::string_view text) {
  if (text.size() > kLongestText) return std::nullopt;
  const std::u16string wide = WideFromUtf8(text);
  auto block = ValueBlock::Allocate((wide.size() + 1) * sizeof(char16_t), static_cast<uint32_t>(wide.size() + 1));
  if (block && !wide.empty()) std::memcpy(block->Data(), wide.data(), wide.size() * sizeof(char16_t));
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

uint32_t TruthFromText(std::string_view text) { return EqualsNoCase(text, "TRUE") || text == "1" ? 1 : 0; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Decimal, or hexadecimal after "0x" (a leading "0" is not octal); leading
// blanks and a sign as strtoul takes them, a minus negating modulo 2^32.
// Too large saturates.
uint32_t WordFromText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && IsHexDigit(text[i + 2])) {
    base = 16;
    i += 2;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value, base);
  if (error == std::errc::result_out_of_range) return std::numeric_limits<uint32_t>::max();
  if (error != std::errc()) return 0;
  return negative ? 0u - value : value;
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

std::optional<uint64_t> FileTimeFromStoredDate(std::string_view text) {
  if (auto number = Unsigned(text)) {
    // MODIFIEDDATE keeps a DOS date and time; anything wider is a file time.
    if (*number <= 0xFFFFFFFFu) return platform::DosDateTimeToFileTime(static_cast<uint32_t>(*number));
    return *number;
  }
  return FileTimeFromIsoText(text);
}

// Texts convert to the value types that read a text (the others, dates
// among them, have no rule from text).
std::optional<ValueBlock> FromText(std::string_view text, uint32_t valueType) {
  switch (valueType) {
    case kValueText:
    case kValueLongText:
    case kValueLongText14:
    case kValueInteger:
    case kValueDouble:
    case kValueTruth:
    case kValueWord:
    case kValueWideFrom8:
    case kValueWideText:
      return StoredValueFromText(text, valueType);
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

std::optional<ValueBlock> FetchStoredValue(const IndexItemPropertyContainer& item, std::string_view indexName,
                                           uint32_t storageType) {
  if (!item.Has(indexName)) return std::nullopt;
  return StoredValueFromText(item.GetText(indexName), storageType);
}

std::optional<ValueBlock> StoredValueFromText(std::string_view text, uint32_t storageType) {
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
      if (valueType == kValueText) return FixedTextBlock(FixedPointText(ScalarOf<double>(fetched), 10, 2));
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
