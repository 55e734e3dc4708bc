#include "platform/registry_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tw::platform {
namespace {

using namespace std::string_literals;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr const char* kStoreKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick";

std::optional<RegistryValue> Get(const RegistryParseResult& parsed, Hive hive, const std::string& key,
                                 const std::string& name) {
  const RegistryValue* value = ParsedFindValue(parsed.registry, hive, key, name);
  if (!value) return std::nullopt;
  return *value;
}

std::string Text(const RegistryParseResult& parsed, const std::string& key, const std::string& name,
                 Hive hive = Hive::LocalMachine) {
  auto value = Get(parsed, hive, key, name);
  if (!value) return "<missing>";
  if (value->type != RegistryType::String) return "<not a string>";
  return value->text;
}

std::optional<uint32_t> Dword(const RegistryParseResult& parsed, const std::string& key, const std::string& name) {
  auto value = Get(parsed, Hive::LocalMachine, key, name);
  if (!value || value->type != RegistryType::Dword) return std::nullopt;
  return value->number;
}

// UTF-16LE bytes with a byte-order mark, from code units.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::vector<std::pair<size_t, std::string>> Problems(const RegistryParseResult& parsed) {
  std::vector<std::pair<size_t, std::string>> out;
  for (const auto& p : parsed.problems) out.emplace_back(p.line, p.reason);
  return out;
}

// --- Well-formed files ------------------------------------------------------

TEST(PlatformRegistryParserGood, ReadsStringDwordAndDefaultValues) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n"
                                  "\"Mail Root\"=\"/srv/mail\"\r\n"
                                  "\"Store Event Notification Mode\"=dword:0000003c\r\n"
                                  "@=\"the default\"\r\n");
  EXPECT_FALSE(parsed.missingHeader);
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, kStoreKey, "Mail Root"), "/srv/mail");
  EXPECT_EQ(Dword(parsed, kStoreKey, "Store Event Notification Mode"), 60u);
  EXPECT_EQ(Text(parsed, kStoreKey, ""), "the default");
  EXPECT_EQ(Text(parsed, kStoreKey, "@"), "the default");
  EXPECT_EQ(Text(parsed, kStoreKey, "Missing"), "<missing>");
}

TEST(PlatformRegistryParserGood, AcceptsBothHeaders) {
  auto modern = ParseRegistryText("Windows Registry Editor Version 5.00\n[HKLM\\A]\n\"V\"=\"1\"\n");
  auto old = ParseRegistryText("REGEDIT4\n\n[HKLM\\A]\n\"V\"=\"1\"\n");
  for (const auto* parsed : {&modern, &old}) {
    EXPECT_FALSE(parsed->missingHeader);
    EXPECT_EQ(parsed->problemCount, 0u);
    EXPECT_EQ(Text(*parsed, "A", "V"), "1");
  }
}

TEST(PlatformRegistryParserGood, HivesAndTheirAbbreviationsAreKeptApart) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[HKEY_LOCAL_MACHINE\\Software\\A]\n\"Where\"=\"lm long\"\n"
                                  "[HKLM\\Software\\B]\n\"Where\"=\"lm short\"\n"
                                  "[HKEY_CURRENT_USER\\Software\\A]\n\"Where\"=\"cu long\"\n"
                                  "[HKCU\\Software\\B]\n\"Where\"=\"cu short\"\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, "Software\\A", "Where", Hive::LocalMachine), "lm long");
  EXPECT_EQ(Text(parsed, "Software\\B", "Where", Hive::LocalMachine), "lm short");
  EXPECT_EQ(Text(parsed, "Software\\A", "Where", Hive::CurrentUser), "cu long");
  EXPECT_EQ(Text(parsed, "Software\\B", "Where", Hive::CurrentUser), "cu short");
}

TEST(PlatformRegistryParserGood, UnescapesBackslashesAndQuotes) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[HKLM\\K]\n"
                                  "\"Path\"=\"C:\\\\Tarnwick\\\\Data\"\n"
                                  "\"Quote\"=\"say \\\"hi\\\"\"\n"
                                  "\"Name \\\"with\\\" quotes\"=\"q\"\n"
                                  "\"Trailing\"=\"ends in \\\\\"\n"
                                  "\"Other\"=\"a\\tb\"\n"
                                  "\"Empty\"=\"\"\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, "K", "Path"), "C:\\Tarnwick\\Data");
  EXPECT_EQ(Text(parsed, "K", "Quote"), "say \"hi\"");
  EXPECT_EQ(Text(parsed, "K", "Name \"with\" quotes"), "q");
  EXPECT_EQ(Text(parsed, "K", "Trailing"), "ends in \\");
  EXPECT_EQ(Text(parsed, "K", "Other"), "a\\tb");  // only \\ and \" are escapes
  EXPECT_EQ(Text(parsed, "K", "Empty"), "");
}

TEST(PlatformRegistryParserGood, DwordsTakeOneToEightHexDigits) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[HKLM\\K]\n"
                                  "\"Eight\"=dword:0000003c\n"
                                  "\"Short\"=dword:3C\n"
                                  "\"One\"=dword:7\n"
                                  "\"Max\"=dword:FFFFFFFF\n"
                                  "\"Upper\"=DWORD:00000010\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Dword(parsed, "K", "Eight"), 60u);
  EXPECT_EQ(Dword(parsed, "K", "Short"), 60u);
  EXPECT_EQ(Dword(parsed, "K", "One"), 7u);
  EXPECT_EQ(Dword(parsed, "K", "Max"), 0xFFFFFFFFu);
  EXPECT_EQ(Dword(parsed, "K", "Upper"), 16u);
}

TEST(PlatformRegistryParserGood, SkipsCommentsBlankLinesAndBlanksAroundTokens) {
  auto parsed = ParseRegistryText(
      "; exported for the test\n"
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "   ; an indented comment\n"
      "\t\n"
      "  [HKLM\\K]  \n"
      "  \"A\" = \"spaced\"  \n"
      "\"B\"\t=\tdword:00000002\n");
  EXPECT_FALSE(parsed.missingHeader);  // comments may come before the header line
  EXPECT_EQ(parsed.problemCount, 0u) << (parsed.problems.empty() ? "" : parsed.problems[0].reason);
  EXPECT_EQ(Text(parsed, "K", "A"), "spaced");
  EXPECT_EQ(Dword(parsed, "K", "B"), 2u);
}

TEST(PlatformRegistryParserGood, CrLfAndLfLineEndsReadTheSame) {
  std::string lf = "Windows Registry Editor Version 5.00\n\n[HKLM\\K]\n\"A\"=\"x\"\n\"B\"=dword:00000001\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  auto a = ParseRegistryText(lf);
  auto b = ParseRegistryText(crlf);
  for (const auto* parsed : {&a, &b}) {
    EXPECT_EQ(parsed->problemCount, 0u);
    EXPECT_EQ(Text(*parsed, "K", "A"), "x");  // no CR left on the value
    EXPECT_EQ(Dword(*parsed, "K", "B"), 1u);
  }
}

TEST(PlatformRegistryParserGood, ReadsUtf16LittleEndianWithByteOrderMark) {
  auto parsed = ParseRegistryText(Utf16File(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n"
      u"\"Mail Root\"=\"D:\\\\Mail\"\r\n"
      u"\"Latin\"=\"caf\u00e9\"\r\n"
      u"\"Euro\"=\"\u20ac5\"\r\n"
      u"\"Clef\"=\"\U0001D11E\"\r\n"
      u"\"Mode\"=dword:00000002\r\n"));
  EXPECT_FALSE(parsed.missingHeader);
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, kStoreKey, "Mail Root"), "D:\\Mail");
  EXPECT_EQ(Text(parsed, kStoreKey, "Latin"), "caf\xE9");                // below 256: one byte
  EXPECT_EQ(Text(parsed, kStoreKey, "Euro"), "\xE2\x82\xAC" "5");        // above: UTF-8
  EXPECT_EQ(Text(parsed, kStoreKey, "Clef"), "\xF0\x9D\x84\x9E");        // surrogate pair joined
  EXPECT_EQ(Dword(parsed, kStoreKey, "Mode"), 2u);
}

TEST(PlatformRegistryParserGood, SkipsUtf8ByteOrderMark) {
  auto parsed = ParseRegistryText("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n\"A\"=\"x\"\r\n");
  EXPECT_FALSE(parsed.missingHeader);
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, "K", "A"), "x");
}

TEST(PlatformRegistryParserGood, KeyPathsAndValueNamesIgnoreLetterCase) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Services\\MAPI]\n"
                                  "\"Mail Root Directory\"=\"/data\"\n");
  EXPECT_EQ(Text(parsed, "software\\wow6432node\\tarnwick\\tarnwick\\services\\mapi", "MAIL ROOT DIRECTORY"),
            "/data");
  EXPECT_EQ(Text(parsed, "SOFTWARE\\WOW6432NODE\\TARNWICK\\TARNWICK\\SERVICES\\MAPI", "mail root directory"),
            "/data");
  // Empty components and a trailing separator do not matter either.
  EXPECT_EQ(Text(parsed, "\\SOFTWARE\\\\Wow6432Node\\Tarnwick\\Tarnwick\\Services\\MAPI\\", "Mail Root Directory"),
            "/data");
  EXPECT_EQ(Text(parsed, "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Services", "Mail Root Directory"),
            "<missing>");
}

TEST(PlatformRegistryParserGood, LaterValueOverridesEarlierOneOfTheSameName) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[HKLM\\K]\n\"Value\"=\"first\"\n\"Kept\"=\"kept\"\n"
                                  "[HKLM\\Other]\n\"Value\"=\"elsewhere\"\n"
                                  "[hklm\\k]\n\"VALUE\"=dword:00000005\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Dword(parsed, "K", "value"), 5u);
  EXPECT_EQ(Text(parsed, "K", "Kept"), "kept");  // a repeated section adds to the key
  EXPECT_EQ(Text(parsed, "Other", "Value"), "elsewhere");
}

TEST(PlatformRegistryParserGood, KeyExistsForSectionsAndTheKeysAboveThem) {
  auto parsed = ParseRegistryText(std::string(kHeader) + "[HKLM\\SOFTWARE\\Tarnwick\\Tarnwick\\Providers]\n");
  const auto& r = parsed.registry;
  EXPECT_TRUE(ParsedKeyExists(r, Hive::LocalMachine, "SOFTWARE\\Tarnwick\\Tarnwick\\Providers"));
  EXPECT_TRUE(ParsedKeyExists(r, Hive::LocalMachine, "software\\tarnwick\\tarnwick"));
  EXPECT_TRUE(ParsedKeyExists(r, Hive::LocalMachine, "SOFTWARE"));
  EXPECT_TRUE(ParsedKeyExists(r, Hive::LocalMachine, ""));  // the root key itself
  EXPECT_FALSE(ParsedKeyExists(r, Hive::LocalMachine, "SOFTWARE\\Tarnwick\\Tarnwick\\Providers\\Store"));
  EXPECT_FALSE(ParsedKeyExists(r, Hive::LocalMachine, "SOFT"));
  EXPECT_FALSE(ParsedKeyExists(r, Hive::LocalMachine, "SOFTWARE\\Tarn"));
  EXPECT_FALSE(ParsedKeyExists(r, Hive::CurrentUser, "SOFTWARE"));
}

TEST(PlatformRegistryParserGood, ReadsHexValuesWithContinuationLines) {
  auto parsed = ParseRegistryText(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKLM\\K]\r\n"
      // "%Root%\Mail" as an expand string in UTF-16LE, over three lines.
      "\"Expand\"=hex(2):25,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,\\\r\n"
      "  4d,00,61,00,\\\r\n"
      "  69,00,6c,00,00,00\r\n"
      "\"Sz\"=hex(1):41,00,42,00,00,00\r\n"
      "\"Number\"=hex(4):3c,00,00,00\r\n"
      "\"Big\"=hex(5):00,00,01,00\r\n"
      "\"Binary\"=hex:01,00,ff\r\n"
      "\"EmptyBinary\"=hex:\r\n"
      "\"After\"=\"still read\"\r\n");
  EXPECT_EQ(parsed.problemCount, 0u) << (parsed.problems.empty() ? "" : parsed.problems[0].reason);
  EXPECT_EQ(Text(parsed, "K", "Expand"), "%Root%\\Mail");
  EXPECT_EQ(Text(parsed, "K", "Sz"), "AB");
  EXPECT_EQ(Dword(parsed, "K", "Number"), 60u);
  EXPECT_EQ(Dword(parsed, "K", "Big"), 256u);
  EXPECT_EQ(Text(parsed, "K", "Binary"), std::string("\x01\x00\xff", 3));
  EXPECT_EQ(Text(parsed, "K", "EmptyBinary"), "");
  EXPECT_EQ(Text(parsed, "K", "After"), "still read");
}

TEST(PlatformRegistryParserGood, ExpandStringsAreEightBitInRegedit4Files) {
  auto parsed = ParseRegistryText(
      "REGEDIT4\n\n[HKLM\\K]\n"
      "\"Expand\"=hex(2):25,52,25,5c,\\\n  4d,00\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, "K", "Expand"), "%R%\\M");
}

TEST(PlatformRegistryParserGood, DeletionsAndOtherRootKeysAreSkippedSilently) {
  auto parsed = ParseRegistryText(std::string(kHeader) +
                                  "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n"
                                  "[HKEY_CLASSES_ROOT\\.mai]\n"
                                  "@=\"not ours\"\n"
                                  "[HKLM\\K]\n"
                                  "\"Kept\"=\"yes\"\n"
                                  "\"Removed\"=-\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_FALSE(ParsedKeyExists(parsed.registry, Hive::LocalMachine, "SOFTWARE\\Gone"));
  EXPECT_EQ(Text(parsed, "K", "Kept"), "yes");
  EXPECT_EQ(Text(parsed, "K", "Removed"), "<missing>");
}

TEST(PlatformRegistryParserGood, AnyLineLengthWorks) {
  std::string big(1 << 20, 'x');
  auto parsed = ParseRegistryText(std::string(kHeader) + "[HKLM\\K]\n\"Big\"=\"" + big + "\"\n");
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, "K", "Big"), big);
}

TEST(PlatformRegistryParserGood, MissingHeaderIsNotedButSectionsAreRead) {
  auto parsed = ParseRegistryText("[HKLM\\K]\n\"A\"=\"x\"\n");
  EXPECT_TRUE(parsed.missingHeader);
  EXPECT_EQ(parsed.problemCount, 0u);
  EXPECT_EQ(Text(parsed, "K", "A"), "x");

  auto late = ParseRegistryText("[HKLM\\K]\nREGEDIT4\n\"A\"=\"x\"\n");
  EXPECT_TRUE(late.missingHeader);
  ASSERT_EQ(late.problems.size(), 1u);  // a header line after the start is just a bad line
  EXPECT_EQ(late.problems[0].line, 2u);
  EXPECT_EQ(Text(late, "K", "A"), "x");

  auto empty = ParseRegistryText("\r\n  \r\n");
  EXPECT_FALSE(empty.missingHeader);  // nothing there to be missing a header
  EXPECT_TRUE(empty.registry.keys.empty());
}

// --- Malformed files ---------------------------------------------------------

TEST(PlatformRegistryParserMalformed, EachBadLineIsSkippedWithItsLineNumberAndReason) {
  auto parsed = ParseRegistryText(
      "Windows Registry Editor Version 5.00\r\n"  // 1
      "\"Early\"=\"x\"\r\n"                       // 2 value outside a section
      "[HKLM\\K]\r\n"                             // 3
      "\"Good1\"=\"one\"\r\n"                     // 4
      "\"Bad dword\"=dword:xyz\r\n"               // 5
      "\"Long dword\"=dword:123456789\r\n"        // 6
      "\"Empty dword\"=dword:\r\n"                // 7
      "\"Open=\"x\"\r\n"                          // 8 no '=' after the name
      "\"Unclosed\"=\"text\r\n"                   // 9
      "\"Junk\"=\"text\"junk\r\n"                 // 10
      "\"Unclosed name=\"\r\n"                    // 11 (the quote after '=' closes the name)
      "\"NoEquals\" \"x\"\r\n"                    // 12
      "\"Q\"=qword:1\r\n"                         // 13
      "\"H\"=hex:zz\r\n"                          // 14
      "\"H2\"=hex(2):00,,00\r\n"                  // 15
      "\"H3\"=hex(g):00\r\n"                      // 16
      "just words\r\n"                            // 17
      "[HKLM\\Unclosed\r\n"                       // 18
      "\"Lost\"=\"after bad section\"\r\n"        // 19 silently dropped
      "[HKEY_NOWHERE\\X]\r\n"                     // 20
      "[]\r\n"                                    // 21
      "[HKLM\\K]\r\n"                             // 22
      "\"Good2\"=dword:00000002\r\n"              // 23
      "\"Name\r\n");                              // 24 unterminated name
  using P = std::vector<std::pair<size_t, std::string>>;
  EXPECT_EQ(Problems(parsed), (P{
                                  {2, "value outside a section"},
                                  {5, "bad dword value"},
                                  {6, "bad dword value"},
                                  {7, "bad dword value"},
                                  {8, "no \"=\" after the value name"},
                                  {9, "bad quoting in the string value"},
                                  {10, "bad quoting in the string value"},
                                  {11, "no \"=\" after the value name"},
                                  {12, "no \"=\" after the value name"},
                                  {13, "unknown value type"},
                                  {14, "bad hex value"},
                                  {15, "bad hex value"},
                                  {16, "bad hex value"},
                                  {17, "not a section, value or comment"},
                                  {18, "section line does not end with \"]\""},
                                  {20, "unknown root key \"HKEY_NOWHERE\""},
                                  {21, "section names no key"},
                                  {24, "bad quoting in the value name"},
                              }));
  EXPECT_EQ(parsed.problemCount, 18u);
  EXPECT_EQ(Text(parsed, "K", "Good1"), "one");
  EXPECT_EQ(Dword(parsed, "K", "Good2"), 2u);
  EXPECT_EQ(Text(parsed, "K", "Bad dword"), "<missing>");
  EXPECT_EQ(Text(parsed, "K", "Unclosed"), "<missing>");
  EXPECT_FALSE(ParsedKeyExists(parsed.registry, Hive::LocalMachine, "Unclosed"));
  EXPECT_FALSE(parsed.missingHeader);
}

TEST(PlatformRegistryParserMalformed, LineNumbersCountContinuationLines) {
  auto parsed = ParseRegistryText(
      "REGEDIT4\n"                   // 1
      "[HKLM\\K]\n"                  // 2
      "\"Bin\"=hex:00,\\\n"          // 3
      "  01,\\\n"                    // 4
      "  02\n"                       // 5
      "\"Bad\"=dword:-1\n");         // 6
  ASSERT_EQ(parsed.problems.size(), 1u);
  EXPECT_EQ(parsed.problems[0].line, 6u);
  EXPECT_EQ(Text(parsed, "K", "Bin"), std::string("\x00\x01\x02", 3));
}

TEST(PlatformRegistryParserMalformed, Utf16FilesReportTheSameLineNumbers) {
  auto parsed = ParseRegistryText(Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\K]\r\n\"A\"=dword:zz\r\n"));
  ASSERT_EQ(parsed.problems.size(), 1u);
  EXPECT_EQ(parsed.problems[0].line, 4u);
  EXPECT_EQ(parsed.problems[0].reason, "bad dword value");
}

TEST(PlatformRegistryParserMalformed, KeepsOnlyTheFirstHundredProblemsButCountsAll) {
  std::string text = std::string(kHeader) + "[HKLM\\K]\n";
  for (int i = 0; i < 150; ++i) text += "garbage\n";
  text += "\"After\"=\"read\"\n";
  auto parsed = ParseRegistryText(text);
  EXPECT_EQ(parsed.problems.size(), kMaxKeptRegistryProblems);
  EXPECT_EQ(parsed.problemCount, 150u);
  EXPECT_EQ(parsed.problems.front().line, 4u);
  EXPECT_EQ(parsed.problems.back().line, 103u);
  EXPECT_EQ(Text(parsed, "K", "After"), "read");
}

TEST(PlatformRegistryParserMalformed, QuotedFileTextInReasonsIsBoundedAndPrintable) {
  std::string root = "HKEY_" + std::string(500, 'Z') + "\x01";
  auto parsed = ParseRegistryText(std::string(kHeader) + "[" + root + "\\X]\n");
  ASSERT_EQ(parsed.problems.size(), 1u);
  EXPECT_LT(parsed.problems[0].reason.size(), 100u);
  for (char c : parsed.problems[0].reason) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
}

TEST(PlatformRegistryParserMalformed, HostileBytesNeverCrash) {
  std::mt19937 random(12345);
  const std::string alphabet = "[]\\\"@=;-:,()hexdwordHKLM0123456789abcdef\r\n\t \x00\xff\xfe"s;
  for (int round = 0; round < 2000; ++round) {
    std::string text = round % 2 ? std::string(kHeader) : (round % 3 ? std::string("\xFF\xFE") : std::string());
    size_t length = random() % 200;
    for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    auto parsed = ParseRegistryText(text);
    EXPECT_LE(parsed.problems.size(), parsed.problemCount);
  }
  for (const std::string& edge : {"["s, "]"s, "@"s, "\""s, "@="s, "\"\"="s, "\\"s, "[-"s, "[HKLM"s, "\xFF"s,
                                  "\xFF\xFE\x00"s, "\xEF\xBB"s, "\"a\"=hex:00,\\"s, "\"a\"=\"\x00\""s}) {
    auto parsed = ParseRegistryText(std::string(kHeader) + "[HKLM\\K]\n" + edge);
    EXPECT_LE(parsed.problems.size(), 1u) << edge;
  }
}

// --- Helpers -------------------------------------------------------------------

TEST(PlatformRegistryParserHelpers, LookupKeysFoldCaseAndDropEmptyComponents) {
  EXPECT_EQ(RegistryLookupKey(Hive::LocalMachine, "SOFTWARE\\Tarnwick"), "HKLM\\software\\tarnwick");
  EXPECT_EQ(RegistryLookupKey(Hive::CurrentUser, "\\Software\\\\X\\"), "HKCU\\software\\x");
  EXPECT_EQ(RegistryLookupKey(Hive::LocalMachine, ""), "HKLM");
  EXPECT_EQ(RegistryValueKey("Mail Root"), "mail root");
  EXPECT_EQ(RegistryValueKey("@"), "");
  // Only ASCII letters fold; other bytes stay as they are.
  EXPECT_EQ(RegistryValueKey("\xC9T\xE9"), "\xC9t\xE9");
}

TEST(PlatformRegistryParserHelpers, Utf16ConversionKeepsLatin1AsSingleBytes) {
  EXPECT_EQ(StoreTextFromUtf16Le(std::string("A\0\xE9\0", 4)), "A\xE9");
  EXPECT_EQ(StoreTextFromUtf16Le(std::string("\xAC\x20", 2)), "\xE2\x82\xAC");
  EXPECT_EQ(StoreTextFromUtf16Le(std::string("\x00\xD8" "A\0", 4)), "?A");  // lone high surrogate
  EXPECT_EQ(StoreTextFromUtf16Le(std::string("\x00\xDC", 2)), "?");          // lone low surrogate
  EXPECT_EQ(StoreTextFromUtf16Le(std::string("A\0B", 3)), "A");              // odd byte dropped
  EXPECT_EQ(StoreTextFromUtf16Le(""), "");
}

}  // namespace
}  // namespace tw::platform
