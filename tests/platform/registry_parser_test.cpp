#include "platform/registry_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
namespace {

using namespace std::string_literals;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

// Strings as they are, dwords as "dword:N", absent values as "<missing>".
auto Read(const RegistryParseResult& p, std::string_view key, std::string_view name, Hive h = Hive::LocalMachine) {
  const RegistryValue* value = ParsedFindValue(p.registry, h, key, name);
  if (!value) return "<missing>"s;
  return value->type == RegistryType::String ? value->text : "dword:" + std::to_string(value->number);
}

// UTF-16LE bytes with a byte-order mark.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

TEST(PlatformRegistryParserGood, ReadsEveryValueForm) {
  const std::string big(1 << 20, 'x');  // no line length limit
  struct Case { std::string line; const char* name; std::string expected; };
  const Case cases[] = {
      {"\"Path\"=\"C:\\\\Mail\\\\D\"", "Path", "C:\\Mail\\D"}, {"\"Quote\"=\"say \\\"hi\\\"\"", "Quote", "say \"hi\""},
      {"\"Name \\\"with\\\" quotes\"=\"q\"", "Name \"with\" quotes", "q"}, {"\"End\"=\"in \\\\\"", "End", "in \\"},
      {"\"Other\"=\"a\\tb\"", "Other", "a\\tb"},  // only \\ and \" are escapes
      {"\"Empty\"=\"\"", "Empty", ""}, {"@=\"dflt\"", "", "dflt"}, {"@=\"dflt\"", "@", "dflt"},
      {"  \"Spaced\" = \"spaced\"  ", "Spaced", "spaced"}, {"\"Tabbed\"\t=\tdword:00000002", "Tabbed", "dword:2"},
      {"\"Eight\"=dword:0000003c", "Eight", "dword:60"}, {"\"Short\"=dword:3C", "Short", "dword:60"},
      {"\"Max\"=dword:FFFFFFFF", "Max", "dword:4294967295"}, {"\"Upper\"=DWORD:00000010", "Upper", "dword:16"},
      {"\"Expand\"=hex(2):25,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,\\\r\n  4d,00,61,00,\\\n  69,00,6c,00,00,00",
       "Expand", "%Root%\\Mail"},  // UTF-16LE, over three lines
      {"\"Sz\"=hex(1):41,00,42,00,00,00", "Sz", "AB"}, {"\"Number\"=hex(4):3c,00,00,00", "Number", "dword:60"},
      {"\"Big endian\"=hex(5):00,00,01,00", "Big endian", "dword:256"}, {"\"Big\"=\"" + big + "\"", "Big", big},
      {"\"Binary\"=hex:01,00,ff", "Binary", "\x01\x00\xff"s}, {"\"EmptyBinary\"=hex:", "EmptyBinary", ""},
      {"\"Removed\"=-", "Removed", "<missing>"}, {"; \"Commented\"=\"out\"", "Commented", "<missing>"},
      {"\"Value\"=\"first\"", "value", "dword:5"},  // a later repeated section overrides it
  };
  std::string file = "; comments may come before the header line\n"s + kHeader + "   ; indented\n\t\n  [HKLM\\K]  \n";
  for (const Case& c : cases) file += c.line + "\n";
  auto parsed = ParseRegistryText(
      file + "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"Where\"=\"lm long\"\n[HKLM\\Software\\B]\n\"Where\"=\"lm short\"\n"
             "[HKEY_CURRENT_USER\\Software\\A]\n\"Where\"=\"cu long\"\n[HKCU\\Software\\B]\n\"Where\"=\"cu short\"\n"
             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n[HKEY_CLASSES_ROOT\\.mai]\n@=\"not ours\"\n"
             "[HKLM\\Other]\n\"Value\"=\"elsewhere\"\n[hklm\\k]\n\"VALUE\"=dword:00000005\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\MAPI]\n\"Mail Root\"=\"/data\"\n\"\xC9T\xE9\"=\"8-bit\"\n");
  EXPECT_FALSE(parsed.missingHeader);
  EXPECT_EQ(parsed.problemCount, 0u) << (parsed.problems.empty() ? "" : parsed.problems[0].reason);
  for (const Case& c : cases) EXPECT_EQ(Read(parsed, "K", c.name), c.expected) << c.name;
  EXPECT_EQ(Read(parsed, "Other", "Value"), "elsewhere");
  for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser})
    EXPECT_EQ(Read(parsed, "Software\\A", "Where", hive) + ", " + Read(parsed, "Software\\B", "Where", hive),
              hive == Hive::LocalMachine ? "lm long, lm short" : "cu long, cu short");
  // Key paths and value names ignore ASCII letter case, empty components and a trailing "\".
  for (const char* key : {"software\\tarnwick\\mapi", "\\SOFTWARE\\\\TARNWICK\\MAPI\\"})
    EXPECT_EQ(Read(parsed, key, "MAIL root") + Read(parsed, key, "\xC9t\xE9") + Read(parsed, key, "\xE9t\xE9"),
              "/data8-bit<missing>") << key;  // 8-bit letters do not fold
  EXPECT_EQ(Read(parsed, "SOFTWARE\\Tarnwick", "Mail Root"), "<missing>");
  for (const char* key : {"software\\tarnwick\\MAPI", "SOFTWARE\\Tarnwick", "SOFTWARE", ""})
    EXPECT_TRUE(ParsedKeyExists(parsed.registry, Hive::LocalMachine, key)) << key;
  for (const char* key : {"SOFTWARE\\Tarnwick\\MAPI\\Store", "SOFT", "SOFTWARE\\Tarn", "SOFTWARE\\Gone"})
    EXPECT_FALSE(ParsedKeyExists(parsed.registry, Hive::LocalMachine, key)) << key;
  EXPECT_FALSE(ParsedKeyExists(parsed.registry, Hive::CurrentUser, "SOFTWARE\\Tarnwick"));
}

TEST(PlatformRegistryParserGood, HeadersLineEndsAndEncodings) {
  const std::string lf = "Windows Registry Editor Version 5.00\n\n[HKLM\\K]\n\"A\"=\"caf\xE9\"\n\"B\"=dword:1\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? "\r\n"s : std::string(1, c);
  for (const std::string& file : {lf, crlf, "REGEDIT4\n"s + lf.substr(lf.find('\n')), "\xEF\xBB\xBF"s + crlf,
                                  Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n"
                                            u"\"A\"=\"caf\u00e9\"\r\n\"B\"=dword:1\r\n")}) {
    auto parsed = ParseRegistryText(file);
    EXPECT_FALSE(parsed.missingHeader) << file;
    EXPECT_EQ(parsed.problemCount, 0u) << file;
    EXPECT_EQ(Read(parsed, "K", "A"), "caf\xE9") << file;  // no CR left on the value
    EXPECT_EQ(Read(parsed, "K", "B"), "dword:1") << file;
  }
  // UTF-16 beyond Latin-1 becomes UTF-8: surrogate pairs joined, a lone surrogate "?".
  auto wide = ParseRegistryText(Utf16File(u"REGEDIT4\r\n[HKLM\\K]\r\n\"E\"=\"\u20ac5 \U0001D11E \xD800" u"A \xDC00\""));
  EXPECT_EQ(Read(wide, "K", "E"), "\xE2\x82\xAC" "5 \xF0\x9D\x84\x9E ?A ?");
  // Expand strings are 8-bit in REGEDIT4 files.
  EXPECT_EQ(Read(ParseRegistryText("REGEDIT4\n[HKLM\\K]\n\"X\"=hex(2):25,52,25,\\\n  5c,4d,00\n"), "K", "X"), "%R%\\M");
  auto missing = ParseRegistryText("[HKLM\\K]\nREGEDIT4\n\"A\"=\"x\"\n");
  EXPECT_TRUE(missing.missingHeader);
  ASSERT_EQ(missing.problems.size(), 1u);  // a header line after the start is just a bad line
  EXPECT_EQ(missing.problems[0].line, 2u);
  EXPECT_EQ(Read(missing, "K", "A"), "x");                     // read anyway
  EXPECT_FALSE(ParseRegistryText("\r\n  \r\n").missingHeader);  // nothing there to be missing a header
}

TEST(PlatformRegistryParserMalformed, EachBadLineIsSkippedWithItsLineNumberAndReason) {
  struct Line { const char* text; const char* reason; };  // reason null: a good line, or one dropped silently
  const Line lines[] = {
      {"Windows Registry Editor Version 5.00", nullptr}, {"\"Early\"=\"x\"", "value outside a section"},
      {"[HKLM\\K]", nullptr}, {"\"Bin\"=hex:00,\\\r\n  01,\\\r\n  02", nullptr},  // continuation lines count too
      {"\"Bad dword\"=dword:xyz", "bad dword value"}, {"\"Long\"=dword:123456789", "bad dword value"},
      {"\"Empty\"=dword:", "bad dword value"}, {"\"Negative\"=dword:-1", "bad dword value"},
      {"\"Open=\"x\"", "no \"=\" after the value name"}, {"\"NoEquals\" \"x\"", "no \"=\" after the value name"},
      {"\"Unclosed name=\"", "no \"=\" after the value name"},  // the quote after '=' closes the name
      {"\"Unclosed\"=\"text", "bad quoting in the string value"}, {"\"Q\"=qword:1", "unknown value type"},
      {"\"Junk\"=\"t\"j", "bad quoting in the string value"}, {"\"H\"=hex:zz", "bad hex value"},
      {"\"H2\"=hex(2):00,,00", "bad hex value"}, {"\"H3\"=hex(g):00", "bad hex value"}, {"[]", "section names no key"},
      {"just words", "not a section, value or comment"}, {"[HKLM\\Unclosed", "section line does not end with \"]\""},
      {"\"Lost\"=\"after bad section\"", nullptr}, {"[HKEY_NOWHERE\\X]", "unknown root key \"HKEY_NOWHERE\""},
      {"[HKLM\\K]", nullptr}, {"\"Good2\"=dword:00000002", nullptr}, {"\"Name", "bad quoting in the value name"},
  };
  std::string file;
  std::vector<std::pair<size_t, std::string>> expected;
  for (size_t number = 1; const Line& line : lines) {
    if (line.reason) expected.emplace_back(number, line.reason);
    file += line.text + "\r\n"s;
    number += 1 + std::ranges::count(std::string_view(line.text), '\n');
  }
  // UTF-16 files count lines the same way.
  for (const std::string& bytes : {file, Utf16File(std::u16string(file.begin(), file.end()))}) {
    auto parsed = ParseRegistryText(bytes);
    std::vector<std::pair<size_t, std::string>> problems;
    for (const auto& p : parsed.problems) problems.emplace_back(p.line, p.reason);
    EXPECT_EQ(problems, expected);
    EXPECT_EQ(parsed.problemCount, expected.size());
    EXPECT_EQ(Read(parsed, "K", "Good2"), "dword:2");
    EXPECT_EQ(Read(parsed, "K", "Bin"), "\x00\x01\x02"s);
    for (const char* name : {"Bad dword", "Unclosed", "Junk", "Lost"}) EXPECT_EQ(Read(parsed, "K", name), "<missing>");
    EXPECT_FALSE(ParsedKeyExists(parsed.registry, Hive::LocalMachine, "Unclosed"));
  }
}

// A hostile file can neither flood the event log nor crash the reader.
TEST(PlatformRegistryParserMalformed, HostileInputIsBounded) {
  std::string flood = std::string(kHeader) + "[HKLM\\K]\n";
  for (int i = 0; i < 150; ++i) flood += "garbage\n";
  auto flooded = ParseRegistryText(flood + "\"After\"=\"read\"\n");
  EXPECT_EQ(flooded.problems.size(), kMaxKeptRegistryProblems);
  EXPECT_EQ(flooded.problemCount, 150u);
  EXPECT_EQ(flooded.problems.front().line, 4u);
  EXPECT_EQ(flooded.problems.back().line, 103u);
  EXPECT_EQ(Read(flooded, "K", "After"), "read");
  auto quoted = ParseRegistryText(std::string(kHeader) + "[HKEY_" + std::string(500, 'Z') + "\x01\\X]\n");
  ASSERT_EQ(quoted.problems.size(), 1u);
  EXPECT_LT(quoted.problems[0].reason.size(), 100u);
  for (char c : quoted.problems[0].reason) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
  for (const std::string& edge : {"["s, "]"s, "@"s, "\""s, "@="s, "\"\"="s, "\\"s, "[-"s, "[HKLM"s, "\xFF"s,
                                  "\xFF\xFE\x00"s, "\xEF\xBB"s, "\"a\"=hex:00,\\"s, "\"a\"=\"\x00\""s})
    EXPECT_LE(ParseRegistryText(std::string(kHeader) + "[HKLM\\K]\n" + edge).problems.size(), 1u) << edge;
}

}  // namespace
}  // namespace tw::platform
