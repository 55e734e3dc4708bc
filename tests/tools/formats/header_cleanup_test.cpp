// The store's own header fields come off an imported message's header.
#include <gtest/gtest.h>

#include <string>

#include "formats/header_cleanup.h"

namespace tw::formats {
namespace {

TEST(HeaderCleanup, RemovesStoreFieldsWithTheirContinuations) {
  EXPECT_EQ(WithoutStoreHeaderFields("X-UID: 7\nSubject: x\nx-twtempflags: \\SEEN\n\t\\FLAGGED\n  more\nTo: b\n"
                                     "\nX-UID: 8 in the body\n"),
            "Subject: x\nTo: b\n\nX-UID: 8 in the body\n");
  EXPECT_EQ(WithoutStoreHeaderFields("Subject: x\r\nX-Uid: 1\r\n\r\nbody\r\nX-UID: 2\r\n"),
            "Subject: x\r\n\r\nbody\r\nX-UID: 2\r\n");
}

TEST(HeaderCleanup, KeepsEverythingElseByteForByte) {
  const std::string kept[] = {"", "\n", "Subject: x", "X-UIDL: keep\nX-UIDs: keep\n\n", " leading fold\n",
                              std::string("A: \0\n\nX-UID: 1", 13), "Subject: x\n\tfold\r\n\r\n"};
  for (const std::string& text : kept) EXPECT_EQ(WithoutStoreHeaderFields(text), text);
  EXPECT_EQ(WithoutStoreHeaderFields("X-UID: 1"), "");
  EXPECT_EQ(WithoutStoreHeaderFields("X-UID: 1\n"), "");
}

TEST(HeaderCleanup, FindsTheHeaderEnd) {
  EXPECT_EQ(HeaderEnd("A: b\n\nbody"), 6u);
  EXPECT_EQ(HeaderEnd("A: b\r\n\r\nbody"), 8u);
  EXPECT_EQ(HeaderEnd("\n"), 1u);
  EXPECT_EQ(HeaderEnd("A: b\n"), std::string::npos);
}

}  // namespace
}  // namespace tw::formats
