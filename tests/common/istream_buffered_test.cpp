#include "common/istream_buffered.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace tw {
namespace {

struct Chunk {
  int result;
  std::string text;
};

std::vector<Chunk> ReadAll(const std::string& input, uint32_t bufferSize, char delimiter) {
  std::istringstream in(input);
  istream_buffered reader(in, bufferSize);
  std::vector<Chunk> chunks;
  char destination[istream_buffered::kChunkCapacity];
  for (int guard = 0; guard < 10000; ++guard) {
    std::memset(destination, 'X', sizeof destination);
    const int result = reader.ReadChunk(destination, delimiter);
    const size_t length = std::strlen(destination);  // must be terminated
    EXPECT_LT(length, sizeof destination);
    chunks.push_back({result, std::string(destination, length)});
    if (result == -1) break;
  }
  return chunks;
}

class CommonIstreamBufferedSizes : public ::testing::TestWithParam<uint32_t> {};

TEST_P(CommonIstreamBufferedSizes, SplitsAtDelimiterWhateverTheBufferSize) {
  const auto chunks = ReadAll("<a x=\"1\">text</a>tail", GetParam(), '>');
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].result, 8);
  EXPECT_EQ(chunks[0].text, "<a x=\"1\"");
  EXPECT_EQ(chunks[1].result, 7);
  EXPECT_EQ(chunks[1].text, "text</a");
  EXPECT_EQ(chunks[2].result, -1);
  EXPECT_EQ(chunks[2].text, "tail");
}

TEST_P(CommonIstreamBufferedSizes, AlternatingDelimitersWalkAnIndexFile) {
  std::istringstream in("<index><item ID=\"1\"/>\n</index>");
  istream_buffered reader(in, GetParam());
  char d[istream_buffered::kChunkCapacity];
  EXPECT_EQ(reader.ReadChunk(d, '<'), 0);
  EXPECT_STREQ(d, "");
  EXPECT_EQ(reader.ReadChunk(d, '>'), 5);
  EXPECT_STREQ(d, "index");
  EXPECT_EQ(reader.ReadChunk(d, '<'), 0);
  EXPECT_EQ(reader.ReadChunk(d, '>'), 12);
  EXPECT_STREQ(d, "item ID=\"1\"/");
  EXPECT_EQ(reader.ReadChunk(d, '<'), 1);
  EXPECT_STREQ(d, "\n");
  EXPECT_EQ(reader.ReadChunk(d, '>'), 6);
  EXPECT_STREQ(d, "/index");
  EXPECT_EQ(reader.ReadChunk(d, '<'), -1);
  EXPECT_STREQ(d, "");
  EXPECT_EQ(reader.ReadChunk(d, '<'), -1);  // stays at the end
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, CommonIstreamBufferedSizes, ::testing::Values(0u, 1u, 2u, 3u, 7u, 1024u, 8192u));

TEST(CommonIstreamBufferedLimit, CopiesAtMost1023AndKeepsTheRest) {
  const std::string input = std::string(2000, 'a') + ">b>";
  const auto chunks = ReadAll(input, 8192, '>');
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[0].result, 1023);
  EXPECT_EQ(chunks[0].text, std::string(1023, 'a'));
  EXPECT_EQ(chunks[1].result, 977);
  EXPECT_EQ(chunks[1].text, std::string(977, 'a'));
  EXPECT_EQ(chunks[2].result, 1);
  EXPECT_EQ(chunks[2].text, "b");
  EXPECT_EQ(chunks[3].result, -1);
  EXPECT_EQ(chunks[3].text, "");
}

TEST(CommonIstreamBufferedLimit, DelimiterRightAfterTheLimitIsLeftForTheNextCall) {
  const auto chunks = ReadAll(std::string(1023, 'z') + ">", 100, '>');
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].result, 1023);
  EXPECT_EQ(chunks[1].result, 0);  // the delimiter alone
  EXPECT_EQ(chunks[2].result, -1);
}

TEST(CommonIstreamBufferedLimit, DelimiterAtPosition1022IsConsumed) {
  const auto chunks = ReadAll(std::string(1022, 'z') + ">", 8192, '>');
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].result, 1022);
  EXPECT_EQ(chunks[1].result, -1);
}

TEST(CommonIstreamBufferedLimit, EndWithoutDelimiterReturnsMinusOneWithTheBytes) {
  std::istringstream in("no delimiter here");
  istream_buffered reader(in, 4);
  char d[istream_buffered::kChunkCapacity];
  EXPECT_EQ(reader.ReadChunk(d, '>'), -1);
  EXPECT_STREQ(d, "no delimiter here");
}

TEST(CommonIstreamBufferedLimit, EmptyStreamGivesMinusOne) {
  std::istringstream in("");
  istream_buffered reader(in, 16);
  char d[istream_buffered::kChunkCapacity];
  std::memset(d, 'X', sizeof d);
  EXPECT_EQ(reader.ReadChunk(d, '>'), -1);
  EXPECT_EQ(d[0], '\0');
}

TEST(CommonIstreamBufferedLimit, SmallerDestinationsAreRespected) {
  std::istringstream in("abcdefgh>");
  istream_buffered reader(in, 3);
  char d[5];
  std::memset(d, 'X', sizeof d);
  EXPECT_EQ(reader.ReadChunk(d, sizeof d, '>'), 4);
  EXPECT_STREQ(d, "abcd");
  EXPECT_EQ(reader.ReadChunk(d, sizeof d, '>'), 4);
  EXPECT_STREQ(d, "efgh");
  EXPECT_EQ(reader.ReadChunk(d, sizeof d, '>'), 0);
  EXPECT_EQ(reader.ReadChunk(d, 0, '>'), 0);
  EXPECT_EQ(reader.ReadChunk(d, sizeof d, '>'), -1);
}

TEST(CommonIstreamBufferedBytes, NulAndHighBytesPassThrough) {
  const std::string input("a\0\xff<b", 5);
  std::istringstream in(input);
  istream_buffered reader(in, 2);
  char d[istream_buffered::kChunkCapacity];
  EXPECT_EQ(reader.ReadChunk(d, '<'), 3);
  EXPECT_EQ(std::string(d, 3), std::string("a\0\xff", 3));
  EXPECT_EQ(d[3], '\0');
  EXPECT_EQ(reader.ReadChunk(d, '<'), -1);
  EXPECT_STREQ(d, "b");
}

TEST(CommonIstreamBufferedBytes, ReadsOnlyAsMuchOfTheStreamAsNeeded) {
  std::istringstream in("ab>cdefghijklmnop");
  {
    istream_buffered reader(in, 4);
    char d[istream_buffered::kChunkCapacity];
    EXPECT_EQ(reader.ReadChunk(d, '>'), 2);
  }
  // One buffer of 4 bytes was taken from the source, no more.
  EXPECT_EQ(in.tellg(), 4);
}

}  // namespace
}  // namespace tw
