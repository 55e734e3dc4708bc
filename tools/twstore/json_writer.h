// The tool's one JSON writer, for every command's --json output: one object
// a run, numbers as numbers, times in ISO 8601 UTC ending in "Z", texts as
// UTF-8 with invalid bytes as U+FFFD and control characters escaped.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::cli {

// A JSON string literal of `text`, quotes included.
std::string JsonText(std::string_view text);

// Builds one object or array by appending members and elements; commas are
// placed by the writer.
class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  // The member name of the next value inside an object.
  JsonWriter& Key(std::string_view name);
  JsonWriter& Text(std::string_view text);
  JsonWriter& Number(uint64_t value);
  JsonWriter& Integer(int64_t value);
  // A number with a fraction; null when it is not finite (JSON has no NaN).
  JsonWriter& Real(double value);
  JsonWriter& Null();
  JsonWriter& Bool(bool value);
  const std::string& Result() const { return out_; }

 private:
  void BeforeValue();
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  std::string out_;
  bool needComma_ = false;
};

}  // namespace tw::cli
