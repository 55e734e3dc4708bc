#include "common/dictionary_codec.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "frame/event_report.h"

namespace tw {
namespace {

constexpr size_t kSingleBytes = 256;
constexpr size_t kMostEntries = 1023;  // the count stops here: 1022 is the highest number given
constexpr size_t kLongestPhraseToExtend = 62;

// Both directions add the same entries in the same order: each new entry is
// an entry already there and one byte more. An entry added again (a phrase
// that could not extend past 62 bytes) gets a new number, but a lookup
// answers the first number of its bytes, as the walk from the first entry
// of that length would.

// The compressor's side: which number an entry plus one byte has, keyed by
// the entry's first number and the byte (equal bytes give equal keys).
class Extensions {
 public:
  Extensions() { keys_.fill(kEmpty); }
  int32_t Find(uint32_t prefix, unsigned char byte) const {
    const uint32_t key = prefix << 8 | byte;
    for (size_t slot = Slot(key);; slot = (slot + 1) % kSlots) {
      if (keys_[slot] == kEmpty) return -1;
      if (keys_[slot] == key) return numbers_[slot];
    }
  }
  // Keeps the first number given to these bytes.
  void Add(uint32_t prefix, unsigned char byte, uint16_t number) {
    const uint32_t key = prefix << 8 | byte;
    size_t slot = Slot(key);
    while (keys_[slot] != kEmpty && keys_[slot] != key) slot = (slot + 1) % kSlots;
    if (keys_[slot] == kEmpty) {
      keys_[slot] = key;
      numbers_[slot] = number;
    }
  }

 private:
  static constexpr size_t kSlots = 4096;  // four times the entries at most
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  static size_t Slot(uint32_t key) { return (key * 2654435761u) >> 20; }
  std::array<uint32_t, kSlots> keys_;
  std::array<uint16_t, kSlots> numbers_{};
};

// The decompressor's side: the bytes of every entry, one after the other.
class Entries {
 public:
  Entries() {
    bytes_.reserve(kSingleBytes + kMostEntries * (kLongestPhraseToExtend + 2));
    for (size_t b = 0; b < kSingleBytes; ++b) Add(std::string_view(), static_cast<char>(b));
  }
  bool Full() const { return starts_.size() >= kMostEntries; }
  size_t Count() const { return starts_.size(); }
  std::string_view Entry(size_t number) const {
    return std::string_view(bytes_.data() + starts_[number], lengths_[number]);
  }
  // Entry `number` and one byte more.
  void Extend(size_t number, char byte) {
    const size_t start = starts_[number], length = lengths_[number], at = bytes_.size();
    starts_.push_back(at);
    lengths_.push_back(length + 1);
    // Copied by place: the pool may move as it grows.
    bytes_.resize(at + length + 1);
    std::memcpy(bytes_.data() + at, bytes_.data() + start, length);
    bytes_[at + length] = byte;
  }

 private:
  void Add(std::string_view prefix, char byte) {
    starts_.push_back(bytes_.size());
    lengths_.push_back(prefix.size() + 1);
    bytes_.insert(bytes_.end(), prefix.begin(), prefix.end());
    bytes_.push_back(byte);
  }
  std::vector<char> bytes_;
  std::vector<size_t> starts_;
  std::vector<size_t> lengths_;
};

bool Put(unsigned char* out, size_t capacity, size_t& written, uint16_t number) {
  if (written > capacity || capacity - written < 2) return false;
  out[written++] = static_cast<unsigned char>(number & 0xFF);
  out[written++] = static_cast<unsigned char>(number >> 8);
  return true;
}

bool Append(unsigned char* out, size_t capacity, size_t& written, std::string_view bytes) {
  if (written > capacity || capacity - written < bytes.size()) return false;
  for (const char c : bytes) out[written++] = static_cast<unsigned char>(c);
  return true;
}

}  // namespace

int32_t DictionaryCompress(std::string_view input, unsigned char* out, size_t capacity, size_t& written) {
  written = 0;
  if (input.empty() || out == nullptr) return -1;
  Extensions extensions;
  size_t count = kSingleBytes;
  uint32_t phrase = static_cast<unsigned char>(input[0]);
  size_t length = 1;
  for (size_t at = 1; at < input.size(); ++at) {
    const auto byte = static_cast<unsigned char>(input[at]);
    const int32_t longer = extensions.Find(phrase, byte);
    if (longer >= 0 && length < kLongestPhraseToExtend) {
      phrase = static_cast<uint32_t>(longer);
      ++length;
      continue;
    }
    if (!Put(out, capacity, written, static_cast<uint16_t>(phrase))) return -1;
    if (count < kMostEntries) extensions.Add(phrase, byte, static_cast<uint16_t>(count++));
    phrase = byte;
    length = 1;
  }
  return Put(out, capacity, written, static_cast<uint16_t>(phrase)) ? 0 : -1;
}

int32_t DictionaryDecompress(std::string_view input, unsigned char* out, size_t capacity, size_t& written) {
  written = 0;
  if (input.size() < 2 || input.size() % 2 != 0 || out == nullptr) return -1;
  Entries dictionary;
  int32_t previous = -1;
  for (size_t at = 0; at < input.size(); at += 2) {
    const uint16_t number =
        static_cast<uint16_t>(static_cast<unsigned char>(input[at]) | static_cast<unsigned char>(input[at + 1]) << 8);
    if (number == kFailedLookup) {
      Print("Something wrong\n");
      continue;
    }
    if (previous < 0) {
      if (number >= dictionary.Count() || !Append(out, capacity, written, dictionary.Entry(number))) return -1;
    } else if (number < dictionary.Count()) {
      const std::string_view entry = dictionary.Entry(number);
      if (!Append(out, capacity, written, entry)) return -1;
      if (!dictionary.Full()) dictionary.Extend(static_cast<size_t>(previous), entry[0]);
    } else if (number == dictionary.Count() && !dictionary.Full()) {
      // The entry the compressor made from the previous one and its own
      // first byte, in the same step as it used it.
      dictionary.Extend(static_cast<size_t>(previous), dictionary.Entry(static_cast<size_t>(previous))[0]);
      if (!Append(out, capacity, written, dictionary.Entry(number))) return -1;
    } else {
      return -1;
    }
    previous = number;
  }
  return 1;
}

}  // namespace tw
