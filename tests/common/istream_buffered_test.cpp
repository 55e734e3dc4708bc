#include "common/istream_buffered.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace tw {
namespace {

// Reads chunks, cycling through `delimiters`, up to and one call past the first -1, as "result:text|" each.
std::string ReadAll(const std::string& input, uint32_t bufferSize, const std::string& delimiters) {
  std::istringstream in(input);
  istream_buffered reader(in, bufferSize);
  std::string out;
  char d[istream_buffered::kChunkCapacity];
  for (size_t call = 0, ended = 0; ended < 2 && call < 10000; ++call) {
    std::memset(d, 'X', sizeof d);
    const int result = reader.ReadChunk(d, delimiters[call % delimiters.size()]);
    const size_t length = result >= 0 ? static_cast<size_t>(result) : strnlen(d, sizeof d);
    EXPECT_EQ(d[std::min(length, sizeof d - 1)], '\0') << "unterminated after call " << call;
    out += std::to_string(result) + ":" + std::string(d, length) + "|";
    ended += result == -1;
  }
  return out;
}

TEST(CommonIstreamBufferedLimit, SplitsAtTheDelimiterCopiesAtMost1023AndEndsWithMinusOne) {
  const std::string a1023(1023, 'a');
  const std::vector<std::array<std::string, 3>> cases = {  // input, delimiters, chunks
      {"<a x=\"1\">text</a>tail", ">", "8:<a x=\"1\"|7:text</a|-1:tail|-1:|"},
      {"<index><item ID=\"1\"/>\n</index>", "<>", "0:|5:index|0:|12:item ID=\"1\"/|1:\n|6:/index|-1:|-1:|"},
      {std::string("a\0\xff<b", 5), "<", std::string("3:a\0\xff|-1:b|-1:|", 15)},
      {std::string(2000, 'a') + ">b>", ">", "1023:" + a1023 + "|977:" + std::string(977, 'a') + "|1:b|-1:|-1:|"},
      {a1023 + ">", ">", "1023:" + a1023 + "|0:|-1:|-1:|"},  // the delimiter just past the limit waits
      {a1023.substr(1) + ">", ">", "1022:" + a1023.substr(1) + "|-1:|-1:|"},
      {"no delimiter here", ">", "-1:no delimiter here|-1:|"},  // what was read is still given
      {"", ">", "-1:|-1:|"}};
  for (uint32_t size : {0u, 1u, 2u, 3u, 7u, 1024u, 8192u}) {
    for (const auto& [input, delimiters, chunks] : cases) EXPECT_EQ(ReadAll(input, size, delimiters), chunks) << size;
  }
}

TEST(CommonIstreamBufferedLimit, SmallerDestinationsAndSourceReadsAreBounded) {
  std::istringstream in("abcdefgh>ijklmnop");
  istream_buffered reader(in, 3);
  char d[5];
  std::string out;
  for (size_t n : {5, 0, 5, 5}) out += std::to_string(reader.ReadChunk(d, n, '>')) + ":" + d + "|";
  EXPECT_EQ(out, "4:abcd|0:abcd|4:efgh|0:|");  // a zero capacity copies nothing at all
  EXPECT_EQ(in.tellg(), 9);  // three pieces of three bytes, no more
}

}  // namespace
}  // namespace tw
