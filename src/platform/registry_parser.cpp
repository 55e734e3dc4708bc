#include "platform/registry_parser.h"

#include <cstdint>

#include "common/utf8_append.h"

namespace tw::platform {
namespace {

constexpr std::string_view kHeader500 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr size_t kMaxQuotedInReason = 60;

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendFolded(std::string& out, std::string_view s) {
  for (char c : s) out += FoldAscii(c);
}

bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsFolded(s.substr(0, prefix.size()), prefix);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (IsBlank(s[n - 1]) || s[n - 1] == '\r')) --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A piece of file text safe to quote in an event-log message.
std::string Printable(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, kMaxQuotedInReason)) {
    auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7F) ? '?' : c;
  }
  if (s.size() > kMaxQuotedInReason) out += "...";
  return out;
}

// Physical lines of the text, without their LF or CR LF ends.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (done_) return false;
    ++number_;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) {
      line = text_.substr(pos_);
      done_ = true;
    } else {
      line = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

  size_t number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
  bool done_ = false;
};

// A quoted text starting at s[start] == '"', with the escapes "\\" and "\"".
// Any other backslash is kept as it is. Sets `end` just past the closing quote.
bool ParseQuoted(std::string_view s, size_t start, std::string& out, size_t& end) {
  out.clear();
  for (size_t i = start + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[i + 1];
      ++i;
    } else if (c == '"') {
      end = i + 1;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

// "xx,xx,..." with optional blanks and one optional trailing comma.
bool ParseHexList(std::string_view s, std::string& out) {
  out.clear();
  s = Trim(s);
  if (s.empty()) return true;
  size_t pos = 0;
  while (true) {
    size_t comma = s.find(',', pos);
    std::string_view token = Trim(s.substr(pos, comma == std::string_view::npos ? s.npos : comma - pos));
    bool last = comma == std::string_view::npos;
    if (token.empty()) return last && pos > 0;  // only a trailing comma leaves an empty token
    if (token.size() > 2) return false;
    int value = 0;
    for (char c : token) {
      int d = HexDigit(c);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    out += static_cast<char>(value);
    if (last) return true;
    pos = comma + 1;
  }
}

enum class SectionState { None, Active, Ignored };

class Parser {
 public:
  RegistryParseResult Run(std::string_view text) {
    LineReader lines(text);
    std::string_view raw;
    bool sawContent = false;
    while (lines.Next(raw)) {
      std::string_view line = Trim(raw);
      if (line.empty()) continue;
      // The header is the first line that is neither blank nor a comment.
      if (!sawContent && line.front() != ';') {
        sawContent = true;
        if (EqualsFolded(line, kHeader500)) continue;
        if (EqualsFolded(line, kHeader4)) {
          wideStrings_ = false;
          continue;
        }
        result_.missingHeader = true;
      }
      size_t number = lines.number();
      switch (line.front()) {
        case ';':
          break;
        case '[':
          OnSection(number, line);
          break;
        case '"':
        case '@':
          OnValue(number, line, lines);
          break;
        default:
          Problem(number, "not a section, value or comment");
          break;
      }
    }
    return std::move(result_);
  }

 private:
  void Problem(size_t line, std::string reason) {
    ++result_.problemCount;
    if (result_.problems.size() < kMaxKeptRegistryProblems)
      result_.problems.push_back(RegistryParseProblem{line, std::move(reason)});
  }

  void OnSection(size_t number, std::string_view line) {
    current_ = nullptr;
    section_ = SectionState::Ignored;
    if (line.size() < 2 || line.back() != ']') {
      Problem(number, "section line does not end with \"]\"");
      return;
    }
    std::string_view body = line.substr(1, line.size() - 2);
    if (!body.empty() && body.front() == '-') return;  // a key deletion: nothing to read
    size_t slash = body.find('\\');
    std::string_view root = body.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? std::string_view() : body.substr(slash + 1);
    Hive hive;
    if (EqualsFolded(root, "HKEY_LOCAL_MACHINE") || EqualsFolded(root, "HKLM")) {
      hive = Hive::LocalMachine;
    } else if (EqualsFolded(root, "HKEY_CURRENT_USER") || EqualsFolded(root, "HKCU")) {
      hive = Hive::CurrentUser;
    } else if (EqualsFolded(root, "HKEY_CLASSES_ROOT") || EqualsFolded(root, "HKEY_USERS") ||
               EqualsFolded(root, "HKEY_CURRENT_CONFIG") || EqualsFolded(root, "HKCR") ||
               EqualsFolded(root, "HKU") || EqualsFolded(root, "HKCC")) {
      return;  // real root keys the store never reads
    } else if (root.empty()) {
      Problem(number, "section names no key");
      return;
    } else {
      Problem(number, "unknown root key \"" + Printable(root) + "\"");
      return;
    }
    std::string key = RegistryLookupKey(hive, path);
    for (size_t i = key.find('\\'); i != std::string::npos; i = key.find('\\', i + 1))
      result_.registry.presentKeys.insert(key.substr(0, i));
    result_.registry.presentKeys.insert(key);
    current_ = &result_.registry.keys[key];  // element addresses survive rehashing
    section_ = SectionState::Active;
  }

  void OnValue(size_t number, std::string_view line, LineReader& lines) {
    std::string name;
    const char* nameError = nullptr;
    size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else if (!ParseQuoted(line, 0, name, pos)) {
      nameError = "bad quoting in the value name";
    }
    std::string_view data;
    if (!nameError) {
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      if (pos >= line.size() || line[pos] != '=')
        nameError = "no \"=\" after the value name";
      else
        data = TrimLeft(line.substr(pos + 1));
    }

    // Hex lists may go on over lines ending in "\"; take them in whatever
    // the section, so that their tails are not read as lines of their own.
    std::string joined;
    if (!nameError && StartsWithFolded(data, "hex") && data.back() == '\\') {
      joined.assign(data.substr(0, data.size() - 1));
      std::string_view next;
      while (lines.Next(next)) {
        next = Trim(next);
        bool more = !next.empty() && next.back() == '\\';
        if (more) next.remove_suffix(1);
        joined.append(next);
        if (!more) break;
      }
      data = joined;
    }

    if (section_ == SectionState::Ignored) return;
    if (section_ == SectionState::None) {
      Problem(number, "value outside a section");
      return;
    }
    if (nameError) {
      Problem(number, nameError);
      return;
    }
    RegistryValue value{RegistryType::String, {}, 0};
    bool isDeletion = false;
    if (const char* error = ParseData(data, value, isDeletion)) {
      Problem(number, error);
      return;
    }
    if (isDeletion) return;  // "Name"=- removes a value on import; nothing to read
    current_->values[RegistryValueKey(name)] = std::move(value);
  }

  // Null on success, else the reason.
  const char* ParseData(std::string_view data, RegistryValue& value, bool& isDeletion) const {
    data = TrimRight(data);
    if (!data.empty() && data.front() == '"') {
      size_t end = 0;
      if (!ParseQuoted(data, 0, value.text, end) || end != data.size()) return "bad quoting in the string value";
      value.type = RegistryType::String;
      return nullptr;
    }
    if (data == "-") {
      isDeletion = true;
      return nullptr;
    }
    if (StartsWithFolded(data, "dword:")) {
      std::string_view digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) return "bad dword value";
      uint32_t number = 0;
      for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return "bad dword value";
        number = number * 16 + static_cast<uint32_t>(d);
      }
      value.type = RegistryType::Dword;
      value.number = number;
      return nullptr;
    }
    if (StartsWithFolded(data, "hex")) {
      std::string_view rest = data.substr(3);
      uint32_t kind = 3;  // plain "hex:" is binary
      if (!rest.empty() && rest.front() == '(') {
        size_t close = rest.find(')');
        if (close == std::string_view::npos || close < 2 || close > 9) return "bad hex value";
        kind = 0;
        for (char c : rest.substr(1, close - 1)) {
          int d = HexDigit(c);
          if (d < 0) return "bad hex value";
          kind = kind * 16 + static_cast<uint32_t>(d);
        }
        rest = rest.substr(close + 1);
      }
      if (rest.empty() || rest.front() != ':') return "bad hex value";
      std::string bytes;
      if (!ParseHexList(rest.substr(1), bytes)) return "bad hex value";
      StoreHexValue(kind, std::move(bytes), value);
      return nullptr;
    }
    return "unknown value type";
  }

  // Strings and expand strings become texts (UTF-16LE in 5.00 files, 8-bit in
  // REGEDIT4 files), 4-byte numbers become dwords; any other kind is handed
  // out as its raw bytes, which is what a string read of it returns.
  void StoreHexValue(uint32_t kind, std::string bytes, RegistryValue& value) const {
    value.type = RegistryType::String;
    if (kind == 1 || kind == 2) {
      value.text = wideStrings_ ? StoreTextFromUtf16Le(bytes) : std::move(bytes);
      size_t nul = value.text.find('\0');
      if (nul != std::string::npos) value.text.resize(nul);
    } else if ((kind == 4 || kind == 5) && bytes.size() == 4) {
      auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])); };
      value.type = RegistryType::Dword;
      value.number = kind == 4 ? (b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24)
                               : (b(3) | b(2) << 8 | b(1) << 16 | b(0) << 24);
    } else {
      value.text = std::move(bytes);
    }
  }

  RegistryParseResult result_;
  SectionState section_ = SectionState::None;
  RegistryKeyValues* current_ = nullptr;
  bool wideStrings_ = true;
};

}  // namespace

RegistryParseResult ParseRegistryText(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::string text = StoreTextFromUtf16Le(bytes.substr(2));
    return Parser().Run(text);
  }
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
      static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
    bytes.remove_prefix(3);
  return Parser().Run(bytes);
}

std::string RegistryLookupKey(Hive hive, std::string_view keyPath) {
  std::string key = hive == Hive::LocalMachine ? "HKLM" : "HKCU";
  key.reserve(key.size() + keyPath.size() + 1);
  size_t pos = 0;
  while (pos <= keyPath.size()) {
    size_t slash = keyPath.find('\\', pos);
    size_t end = slash == std::string_view::npos ? keyPath.size() : slash;
    if (end > pos) {
      key += '\\';
      AppendFolded(key, keyPath.substr(pos, end - pos));
    }
    if (slash == std::string_view::npos) break;
    pos = slash + 1;
  }
  return key;
}

std::string RegistryValueKey(std::string_view valueName) {
  if (valueName == "@") return {};
  std::string key;
  key.reserve(valueName.size());
  AppendFolded(key, valueName);
  return key;
}

bool ParsedKeyExists(const ParsedRegistry& registry, Hive hive, std::string_view keyPath) {
  std::string key = RegistryLookupKey(hive, keyPath);
  if (key.size() == 4) return true;  // the root keys always exist
  return registry.presentKeys.count(key) != 0;
}

const RegistryValue* ParsedFindValue(const ParsedRegistry& registry, Hive hive, std::string_view keyPath,
                                     std::string_view valueName) {
  auto key = registry.keys.find(RegistryLookupKey(hive, keyPath));
  if (key == registry.keys.end()) return nullptr;
  auto value = key->second.values.find(RegistryValueKey(valueName));
  return value == key->second.values.end() ? nullptr : &value->second;
}

std::string StoreTextFromUtf16Le(std::string_view bytes) {
  std::string out;
  size_t units = bytes.size() / 2;
  out.reserve(units);
  auto unit = [&](size_t i) -> uint32_t {
    return static_cast<unsigned char>(bytes[2 * i]) | static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8;
  };
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = unit(i);
    if (u < 0x100) {
      out += static_cast<char>(u);
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out += '?';
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace tw::platform
