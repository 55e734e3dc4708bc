// Modified UTF-7 folder-name text: known encodings, round trips, refusals.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "formats/modified_utf7.h"

namespace tw::formats {
namespace {

TEST(ModifiedUtf7, EncodesAsImapDoes) {
  EXPECT_EQ(EncodeModifiedUtf7("Inbox"), "Inbox");
  EXPECT_EQ(EncodeModifiedUtf7("R&D"), "R&-D");
  EXPECT_EQ(EncodeModifiedUtf7("Caf\xC3\xA9"), "Caf&AOk-");
  // RFC 3501's example: "~peter/mail/台北/日本語".
  EXPECT_EQ(EncodeModifiedUtf7("~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"),
            "~peter/mail/&U,BTFw-/&ZeVnLIqe-");
  // Outside the BMP: a surrogate pair.
  EXPECT_EQ(EncodeModifiedUtf7("\xF0\x9F\x93\xA7"), "&2D3c5w-");
  EXPECT_EQ(EncodeModifiedUtf7("a\tb\x7F"), "a&AAk-b&AH8-");
}

TEST(ModifiedUtf7, EncodesTheCharactersAskedFor) {
  EXPECT_EQ(EncodeModifiedUtf7("v1.2", [](char c) { return c == '.'; }), "v1&AC4-2");
  EXPECT_EQ(EncodeModifiedUtf7("a*:b", [](char c) { return c == '*' || c == ':'; }), "a&ACoAOg-b");
  // "&" is always "&-", whatever the set says.
  EXPECT_EQ(EncodeModifiedUtf7("&", [](char) { return true; }), "&-");
}

TEST(ModifiedUtf7, RoundTrips) {
  const char* names[] = {"",          "plain",         "&",         "&&-&",          "Caf\xC3\xA9 au lait",
                         "\xC3\xA9",  "\xC3\xA9\xC3\xA9", "a\xC3\xA9z", "\xF0\x9F\x93\xA7 mail", "tab\there",
                         "~/.,:*?<>|\"\\"};
  for (const char* name : names) {
    for (const bool dots : {false, true}) {
      const std::optional<std::string> encoded =
          EncodeModifiedUtf7(name, [dots](char c) { return dots && (c == '.' || c == '*'); });
      ASSERT_TRUE(encoded.has_value()) << name;
      for (const char c : *encoded) EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << *encoded;
      EXPECT_EQ(DecodeModifiedUtf7(*encoded), std::string(name)) << *encoded;
    }
  }
}

TEST(ModifiedUtf7, RefusesMalformedText) {
  const char* bad[] = {
      "&",          // run never closed
      "&AOk",       // run never closed
      "&AO-",       // 12 bits: not a whole UTF-16 unit
      "&AOl-",      // leftover bits not zero
      "&AOkA-",     // a sixth bit group too many
      "&A/k-",      // "/" is not in the modified alphabet
      "&2D0-",      // a high surrogate alone
      "&3KcA6Q-",   // a low surrogate first
      "&AAA-",      // U+0000
      "Caf\xC3\xA9", // raw 8-bit
      "tab\there",  // raw control byte
  };
  for (const char* text : bad) EXPECT_EQ(DecodeModifiedUtf7(text), std::nullopt) << text;
}

TEST(ModifiedUtf7, RefusesMalformedUtf8) {
  const char* bad[] = {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "a\0b"};
  for (const char* text : bad) {
    const std::string_view view(text, text == bad[6] ? 3 : std::char_traits<char>::length(text));
    EXPECT_EQ(EncodeModifiedUtf7(view), std::nullopt);
    EXPECT_FALSE(IsWellFormedUtf8(view));
  }
}

}  // namespace
}  // namespace tw::formats
