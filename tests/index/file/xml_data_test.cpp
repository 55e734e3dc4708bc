#include "index/file/xml_data.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

TEST(XmlData, CutsTheTextBetweenTags) {
  struct Case {
    const char* text;
    const char* start;
    const char* end;
    uint32_t size;
    const char* copied;
    uint32_t returned;
  };
  const Case cases[] = {
      {"<a>word</a> trailing", "<a>", "</a>", 64, "word", 11},
      {"<a>word</a> trailing", "<a>", "</a>", 3, "wo", 11},      // truncated, terminated
      {"<a>word</a> trailing", "<a>", "</a>", 0, "#", 11},       // nothing copied
      {"x<a>1</a><a>2</a>", "<a>", "</a>", 64, "1", 9},
      {"word</a>", "", "</a>", 64, "word", 8},                    // empty start tag: position 0
      {"word</a>", nullptr, "</a>", 64, "word", 8},
      {"<a>word", "<a>", "</a>", 64, "", 0},                      // no end tag found
      {"word</a>", "<b>", "</a>", 64, "", 0},                     // no start tag found
      {"x<a>rest", "<a>", "", 64, "<a>rest", 0},                  // no end tag: the rest
      {"x<a>rest", "<a>", nullptr, 5, "<a>r", 0},
      {"<a>x", "<a>", "a>", 64, "", 3},                           // end tag inside the start tag
      {"", "", "</a>", 64, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + std::to_string(c.size));
    char buffer[64] = "#";
    EXPECT_EQ(GetXMLDataEx(c.text, c.start, c.end, buffer, c.size), c.returned);
    EXPECT_STREQ(buffer, c.copied);
  }
}

TEST(XmlData, NullTextOrBufferReturnsZero) {
  char buffer[8] = "#";
  EXPECT_EQ(GetXMLDataEx(nullptr, "<a>", "</a>", buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "#");
  EXPECT_EQ(GetXMLDataEx("<a>x</a>", "<a>", "</a>", nullptr, 8), 0u);
}

}  // namespace
}  // namespace tw
