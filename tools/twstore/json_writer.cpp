#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/wide_text.h"

namespace tw::cli {
namespace {

// The length of the well-formed UTF-8 sequence at `at`; 0 when there is none.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points above U+10FFFF.
  if (lead == 0xE0 && byte(1) < 0xA0) return 0;
  if (lead == 0xED && byte(1) >= 0xA0) return 0;
  if (lead == 0xF0 && byte(1) < 0x90) return 0;
  if (lead == 0xF4 && byte(1) >= 0x90) return 0;
  return length;
}

}  // namespace

std::string JsonText(std::string_view text) {
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const size_t length = SequenceLength(text, at);
    if (length == 0) {
      AppendUtf8(out, 0xFFFD);
      ++at;
      continue;
    }
    if (length == 1) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
        out += escaped;
      } else {
        out += c;
      }
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out + "\"";
}

void JsonWriter::BeforeValue() {
  if (needComma_) out_ += ',';
  needComma_ = true;
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  out_ += bracket;
  needComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  out_ += JsonText(name) + ':';
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::Text(std::string_view text) {
  BeforeValue();
  out_ += JsonText(text);
  return *this;
}

JsonWriter& JsonWriter::Number(uint64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Real(double value) {
  if (!std::isfinite(value)) return Null();
  BeforeValue();
  char text[32];
  // The shortest text that reads back as the same double.
  const auto result = std::to_chars(text, text + sizeof text, value);
  out_.append(text, result.ptr);
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

}  // namespace tw::cli
