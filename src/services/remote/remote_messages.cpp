#include "services/remote/remote_messages.h"

#include <cstring>

#include "common/dictionary_codec.h"
#include "common/text_codecs.h"

namespace tw::remote {
namespace {

constexpr size_t kSizeDigitsLimit = 255;

std::string Numbered(std::string_view before, uint32_t number, std::string_view after) {
  std::string text(before);
  text += std::to_string(number);
  text += after;
  return text;
}

}  // namespace

std::string AuthRequest(std::string_view protocol, std::string_view credentials) {
  std::string text = "<DATA><METHOD>AUTH</METHOD><PROTOCOL>";
  text += protocol.substr(0, kAuthFieldLimit);
  text += "</PROTOCOL><CREDENTIALS>";
  text += credentials.substr(0, kAuthFieldLimit);
  text += "</CREDENTIALS><REALM></REALM><Library>TWAUTH.DLL</Library></DATA>";
  return text;
}

std::string LoadRequest(std::string_view library) {
  return "<DATA><METHOD>LOAD</METHOD><LIBRARY>" + std::string(library) + "</LIBRARY></DATA>";
}

std::string PingRequest() { return "<DATA><METHOD>PING</METHOD></DATA>"; }
std::string QuitRequest() { return "<DATA><METHOD>QUIT</METHOD></DATA>"; }

std::optional<std::string> EncodeParameter(const void* data, size_t size) {
  if (data == nullptr || size == 0) return std::nullopt;
  std::vector<unsigned char> packed(size < kSmallScratch ? kSmallScratch : kLargeScratch);
  size_t written = 0;
  if (DictionaryCompress(std::string_view(static_cast<const char*>(data), size), packed.data(), packed.size(),
                         written) != 0)
    return std::nullopt;
  std::vector<char> text(kBase64OutputLimit);
  const int32_t length =
      Base64Encode(std::string_view(reinterpret_cast<const char*>(packed.data()), written), text.data(), text.size());
  if (length < 0) return std::nullopt;
  return std::string(text.data(), static_cast<size_t>(length));
}

bool DecodeParameter(std::string_view text, void* out, size_t size) {
  if (out == nullptr || size == 0 || text.size() > kLargeScratch) return false;
  std::vector<unsigned char> packed(kLargeScratch);
  const int32_t length = Base64Decode(text, packed.data(), packed.size());
  if (length <= 0) return false;
  std::vector<unsigned char> block(size);
  size_t written = 0;
  if (DictionaryDecompress(std::string_view(reinterpret_cast<const char*>(packed.data()), static_cast<size_t>(length)),
                           block.data(), block.size(), written) != 1 ||
      written != size)
    return false;
  std::memcpy(out, block.data(), size);
  return true;
}

std::optional<std::string> ExecRequest(std::string_view function, std::span<const ParameterBlock> blocks) {
  std::string text = "<DATA><METHOD>EXEC</METHOD><FUNCTION>" + std::string(function) + "</FUNCTION><PARAMETERS>";
  uint32_t number = 0;
  for (const ParameterBlock& block : blocks) {
    std::optional<std::string> encoded = EncodeParameter(block.data, block.size);
    if (!encoded) return std::nullopt;
    ++number;
    text += Numbered("<PARAMETER", number, " SIZE=" + std::to_string(block.size) + ">");
    text += *encoded;
    text += Numbered("</PARAMETER", number, ">");
    if (text.size() > kExecRequestLimit) return std::nullopt;
  }
  text += "</PARAMETERS></DATA>";
  if (text.size() > kExecRequestLimit) return std::nullopt;
  return text;
}

bool IsSuccessReply(std::string_view reply) { return reply.find(kSuccessReply) != std::string_view::npos; }

std::optional<ReplyParameter> FindParameter(std::string_view reply, uint32_t number) {
  const std::string start = Numbered("<PARAMETER", number, " SIZE=");
  const size_t at = reply.find(start);
  if (at == std::string_view::npos) return std::nullopt;
  size_t pos = at + start.size();
  size_t digits = 0;
  size_t size = 0;
  while (pos < reply.size() && reply[pos] >= '0' && reply[pos] <= '9') {
    if (++digits > kSizeDigitsLimit || size > (kLargeScratch * 4)) return std::nullopt;
    size = size * 10 + static_cast<size_t>(reply[pos] - '0');
    ++pos;
  }
  if (digits == 0 || pos >= reply.size() || reply[pos] != '>') return std::nullopt;
  ++pos;
  const size_t end = reply.find(Numbered("</PARAMETER", number, ">"), pos);
  if (end == std::string_view::npos) return std::nullopt;
  return ReplyParameter{size, reply.substr(pos, end - pos)};
}

std::string SuccessReply() { return std::string(kSuccessReply); }
std::string FailureReply() { return "<DATA><STATUS>FAILURE</STATUS></DATA>"; }

std::optional<std::string> ExecReply(uint32_t result, std::span<const ReturnedBlock> returned) {
  const unsigned char little[4] = {static_cast<unsigned char>(result), static_cast<unsigned char>(result >> 8),
                                   static_cast<unsigned char>(result >> 16), static_cast<unsigned char>(result >> 24)};
  std::string text = "<DATA><STATUS>SUCCESS</STATUS><PARAMETERS>";
  auto add = [&](uint32_t number, const void* data, size_t size) {
    std::optional<std::string> encoded = EncodeParameter(data, size);
    if (!encoded) return false;
    text += Numbered("<PARAMETER", number, " SIZE=" + std::to_string(size) + ">") + *encoded;
    text += Numbered("</PARAMETER", number, ">");
    return true;
  };
  if (!add(0, little, sizeof little)) return std::nullopt;
  for (const ReturnedBlock& block : returned) {
    if (!add(block.number, block.block.data, block.block.size)) return std::nullopt;
  }
  text += "</PARAMETERS></DATA>";
  if (text.size() > kReplyLimit) return std::nullopt;
  return text;
}

}  // namespace tw::remote
