// The codecs of remote-administration payloads and header-like fields.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/chunk_buffer.h"
#include "common/dictionary_codec.h"
#include "common/text_codecs.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::string Compressed(const std::string& input) {
  std::vector<unsigned char> out(input.size() * 2 + 2);
  size_t written = 0;
  EXPECT_EQ(DictionaryCompress(input, out.data(), out.size(), written), 0);
  return std::string(out.begin(), out.begin() + static_cast<ptrdiff_t>(written));
}

std::string RoundTrip(const std::string& input) {
  const std::string packed = Compressed(input);
  std::string back(input.size(), '\0');
  size_t written = 0;
  EXPECT_EQ(DictionaryDecompress(packed, reinterpret_cast<unsigned char*>(back.data()), back.size(), written), 1);
  back.resize(written);
  return back;
}

TEST(DictionaryCodecTest, RoundTripsRunsRandomBytesAndAFullDictionary) {
  EXPECT_EQ(Compressed("A"), std::string("A\0", 2)) << "one byte is its own entry";
  const std::string run(70, 'x');
  EXPECT_EQ(RoundTrip(run), run);
  // Enough varied text to fill the dictionary (767 added entries) and go on.
  std::mt19937 random(11);
  std::string text;
  for (int i = 0; i < 20000; ++i) text += static_cast<char>("abcdefgh \n\0\xff"[random() % 12]);
  EXPECT_EQ(RoundTrip(text), text);
  std::string wide;
  for (int i = 0; i < 5000; ++i) wide += static_cast<char>(random());
  EXPECT_EQ(RoundTrip(wide), wide);
}

TEST(DictionaryCodecTest, HostileInputFailsCleanly) {
  unsigned char out[64];
  size_t written = 0;
  EXPECT_EQ(DictionaryDecompress(std::string("\x00\x01", 2), out, sizeof out, written), -1) << "entry 256 before any";
  EXPECT_EQ(DictionaryDecompress(std::string("A", 1), out, sizeof out, written), -1) << "odd length";
  EXPECT_EQ(DictionaryDecompress(std::string("A\0\x05\x03", 4), out, sizeof out, written), -1) << "beyond the count";
  // Entry 256 right after "A" is "AA": the step the compressor takes on runs.
  ASSERT_EQ(DictionaryDecompress(std::string("A\0\x00\x01", 4), out, sizeof out, written), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), written), "AAA");
  const std::string packed = Compressed(std::string(200, 'z'));
  EXPECT_EQ(DictionaryDecompress(packed, out, sizeof out, written), -1) << "expands past the capacity";
  EXPECT_EQ(DictionaryCompress(std::string(100, 'q'), out, 4, written), -1) << "compresses past the capacity";
}

TEST(Base64Test, EncodesPadsAndDecodesStrictly) {
  char text[16];
  EXPECT_EQ(Base64Encode("ab", text, sizeof text), 4);
  EXPECT_STREQ(text, "YWI=");
  EXPECT_EQ(Base64Encode("a", text, sizeof text), 4);
  EXPECT_STREQ(text, "YQ==");
  EXPECT_EQ(Base64Encode("abcdefghijkl", text, sizeof text), -1) << "16 characters and the NUL";
  EXPECT_EQ(Base64Encode(std::string(kBase64OutputLimit, 'x'), nullptr, 0), -1);

  unsigned char bytes[8];
  EXPECT_EQ(Base64Decode(" YW\r\nI= ", bytes, sizeof bytes), 2);
  EXPECT_EQ(Base64Decode("YQ==", bytes, sizeof bytes), 1);
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(Base64Decode("YQ=x", bytes, sizeof bytes), -1);
  EXPECT_EQ(Base64Decode("YWI==", bytes, sizeof bytes), -1) << "a second = only after two characters";
  EXPECT_EQ(Base64Decode("Y", bytes, sizeof bytes), -1);
  EXPECT_EQ(Base64Decode("YW*I", bytes, sizeof bytes), -1);
  EXPECT_EQ(Base64Decode("YWJj", bytes, 3), 3) << "an exactly full buffer fits";
  EXPECT_EQ(Base64Decode("YWJj", bytes, 2), -1);
  EXPECT_EQ(Base64Decode("YWJjZA==", nullptr, 0), 4) << "counts without a buffer";
}

TEST(HeaderTextCodecsTest, QuotedPrintableQEncodingAndEncodedWords) {
  EXPECT_EQ(QuotedPrintableDecode("a=3Db=3d=\r\nc=\nd=zz=A"), "a=b=cdzzA");
  EXPECT_EQ(QuotedPrintableDecode("end="), "end");
  std::string q;
  EXPECT_TRUE(QEncode("a b?_=\xc3\xa9", q));
  EXPECT_EQ(q, "a b=3F=5F=3D=C3=A9");
  EXPECT_FALSE(QEncode("abc?", q, 5));
  EXPECT_EQ(q, "abc");
  EXPECT_EQ(EncodedWord("plain \x80"), "plain \x80");
  EXPECT_EQ(EncodedWord("caf\xc3\xa9"), "=?UTF-8?Q?caf=C3=A9?=");
}

TEST(ChunkBufferTest, GathersByUnitAndTakesALongTextAsAChunkOfItsOwn) {
  ChunkBuffer buffer(1024);
  const std::string line(400, 'a');
  buffer.Append(line);
  buffer.Append(line);
  EXPECT_EQ(buffer.AssembledSize(), 0u) << "800 bytes stay in the chunk";
  buffer.Append(line);
  EXPECT_EQ(buffer.AssembledSize(), 801u) << "a third line would reach the unit";
  EXPECT_EQ(buffer.ChunkLength(), 400u);
  buffer.Append(std::string(3000, 'b'));
  EXPECT_EQ(buffer.ChunkLength(), 0u);
  EXPECT_EQ(buffer.Flush(), 1);
  EXPECT_EQ(buffer.Text(), std::string(1200, 'a') + std::string(3000, 'b'));
  EXPECT_EQ(buffer.AssembledSize(), 4201u);
}

TEST(ChunkBufferTest, TheUnitComesFromTheRegistryWithItsFloor) {
  const std::string section = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Providers\\Store]\r\n";
  const std::pair<std::string, size_t> cases[] = {
      {"", 131072}, {test::DwordValue("Message Part Allocation Unit", 100), 65536},
      {test::DwordValue("Message Part Allocation Unit", 4096), 4096}};
  for (const auto& [values, unit] : cases) {
    test::ScopedRegistry registry(section + values);
    ResetMessagePartAllocationUnit();
    EXPECT_EQ(MessagePartAllocationUnit(), unit) << values;
  }
  ResetMessagePartAllocationUnit();
}

}  // namespace
}  // namespace tw
