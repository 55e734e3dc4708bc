#include "common/dictionary_codec.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "frame/event_report.h"

namespace tw {
namespace {

constexpr size_t kSingleBytes = 256;
constexpr size_t kMostEntries = 1023;  // the count stops here: 1022 is the highest number given
constexpr size_t kLongestPhraseToExtend = 62;

// Both directions add the same entries in the same order. An entry added
// again (a phrase that could not extend past 62 bytes) gets a new number,
// but a lookup answers the first number of its bytes, as the walk from the
// first entry of that length would.
class Dictionary {
 public:
  Dictionary() {
    entries_.reserve(kMostEntries);
    for (size_t b = 0; b < kSingleBytes; ++b) Add(std::string(1, static_cast<char>(b)));
  }
  bool Full() const { return entries_.size() >= kMostEntries; }
  size_t Count() const { return entries_.size(); }
  const std::string& Entry(size_t number) const { return entries_[number]; }
  // The first number of these bytes; -1 when none has them.
  int32_t Find(const std::string& bytes) const {
    const auto found = first_.find(bytes);
    return found == first_.end() ? -1 : static_cast<int32_t>(found->second);
  }
  void Add(std::string bytes) {
    first_.try_emplace(bytes, static_cast<uint16_t>(entries_.size()));
    entries_.push_back(std::move(bytes));
  }

 private:
  std::vector<std::string> entries_;
  std::unordered_map<std::string, uint16_t> first_;
};

bool Put(unsigned char* out, size_t capacity, size_t& written, uint16_t number) {
  if (written > capacity || capacity - written < 2) return false;
  out[written++] = static_cast<unsigned char>(number & 0xFF);
  out[written++] = static_cast<unsigned char>(number >> 8);
  return true;
}

bool Append(unsigned char* out, size_t capacity, size_t& written, const std::string& bytes) {
  if (written > capacity || capacity - written < bytes.size()) return false;
  for (const char c : bytes) out[written++] = static_cast<unsigned char>(c);
  return true;
}

}  // namespace

int32_t DictionaryCompress(std::string_view input, unsigned char* out, size_t capacity, size_t& written) {
  written = 0;
  if (input.empty() || out == nullptr) return -1;
  Dictionary dictionary;
  std::string phrase;
  for (const char c : input) {
    std::string candidate = phrase + c;
    if (dictionary.Find(candidate) >= 0 && phrase.size() < kLongestPhraseToExtend) {
      phrase = std::move(candidate);
      continue;
    }
    if (!Put(out, capacity, written, static_cast<uint16_t>(dictionary.Find(phrase)))) return -1;
    if (!dictionary.Full()) dictionary.Add(std::move(candidate));
    phrase.assign(1, c);
  }
  return Put(out, capacity, written, static_cast<uint16_t>(dictionary.Find(phrase))) ? 0 : -1;
}

int32_t DictionaryDecompress(std::string_view input, unsigned char* out, size_t capacity, size_t& written) {
  written = 0;
  if (input.size() < 2 || input.size() % 2 != 0 || out == nullptr) return -1;
  Dictionary dictionary;
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
      const std::string& entry = dictionary.Entry(number);
      if (!Append(out, capacity, written, entry)) return -1;
      if (!dictionary.Full()) dictionary.Add(dictionary.Entry(static_cast<size_t>(previous)) + entry[0]);
    } else if (number == dictionary.Count() && !dictionary.Full()) {
      // The entry the compressor made from the previous one and its own
      // first byte, in the same step as it used it.
      const std::string& last = dictionary.Entry(static_cast<size_t>(previous));
      std::string formed = last + last[0];
      if (!Append(out, capacity, written, formed)) return -1;
      dictionary.Add(std::move(formed));
    } else {
      return -1;
    }
    previous = number;
  }
  return 1;
}

}  // namespace tw
