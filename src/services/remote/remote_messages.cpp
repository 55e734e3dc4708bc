#include "services/remote/remote_messages.h"

#include <charconv>
#include <cstring>
#include <memory>

#include "common/dictionary_codec.h"
#include "common/text_codecs.h"

namespace tw::remote {
namespace {

constexpr size_t kSizeDigitsLimit = 255;
constexpr std::string_view kParameterStart = "<PARAMETER";
constexpr std::string_view kSizeAttribute = " SIZE=";

std::string Cut(std::string_view text, size_t limit) { return std::string(text.substr(0, limit)); }

std::string ParameterTag(uint32_t number, bool end) {
  return std::string(end ? "</PARAMETER" : "<PARAMETER") + std::to_string(number) + (end ? ">" : "");
}

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::optional<size_t> Number(std::string_view digits) {
  if (!IsDigits(digits) || digits.size() > kSizeDigitsLimit) return std::nullopt;
  size_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

bool IsBase64Text(std::string_view text) {
  for (char c : text) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                    c == '/' || c == '=';
    if (!ok) return false;
  }
  return true;
}

// Reads `literal` at `at`, moving past it.
bool Take(std::string_view text, size_t& at, std::string_view literal) {
  if (text.substr(at, literal.size()) != literal) return false;
  at += literal.size();
  return true;
}

// The text of an element "<name>value</name>" at `at`; the value holds no
// "<" (no nested markup, and so no second element hidden inside).
std::optional<std::string_view> TakeElement(std::string_view text, size_t& at, std::string_view name) {
  const std::string open = "<" + std::string(name) + ">";
  const std::string close = "</" + std::string(name) + ">";
  if (!Take(text, at, open)) return std::nullopt;
  const size_t end = text.find('<', at);
  if (end == std::string_view::npos || text.substr(end, close.size()) != close) return std::nullopt;
  const std::string_view value = text.substr(at, end - at);
  at = end + close.size();
  return value;
}

// One "<PARAMETERn SIZE=s>content</PARAMETERn>" at `at`.
std::optional<RequestParameter> TakeParameter(std::string_view text, size_t& at) {
  if (!Take(text, at, kParameterStart)) return std::nullopt;
  const size_t numberEnd = text.find(' ', at);
  if (numberEnd == std::string_view::npos) return std::nullopt;
  const std::optional<size_t> number = Number(text.substr(at, numberEnd - at));
  if (!number || *number > 0xFFFFFFFFu) return std::nullopt;
  at = numberEnd;
  if (!Take(text, at, kSizeAttribute)) return std::nullopt;
  const size_t sizeEnd = text.find('>', at);
  if (sizeEnd == std::string_view::npos) return std::nullopt;
  const std::optional<size_t> size = Number(text.substr(at, sizeEnd - at));
  if (!size) return std::nullopt;
  at = sizeEnd + 1;
  const std::string close = ParameterTag(static_cast<uint32_t>(*number), true);
  const size_t end = text.find('<', at);
  if (end == std::string_view::npos || text.substr(end, close.size()) != close) return std::nullopt;
  // The content is checked when it is decoded: a parameter that does not
  // decode is refused as a parameter, not as a malformed message.
  RequestParameter parameter{static_cast<uint32_t>(*number), *size, text.substr(at, end - at)};
  at = end + close.size();
  return parameter;
}

}  // namespace

std::string AuthRequest(std::string_view protocol, std::string_view credentials) {
  return "<DATA><METHOD>AUTH</METHOD><PROTOCOL>" + Cut(protocol, kAuthFieldLimit) + "</PROTOCOL><CREDENTIALS>" +
         Cut(credentials, kAuthFieldLimit) + "</CREDENTIALS><REALM></REALM><Library>TWAUTH.DLL</Library></DATA>";
}

std::string LoadRequest(std::string_view library) {
  return "<DATA><METHOD>LOAD</METHOD><LIBRARY>" + std::string(library) + "</LIBRARY></DATA>";
}

std::string PingRequest() { return "<DATA><METHOD>PING</METHOD></DATA>"; }
std::string QuitRequest() { return "<DATA><METHOD>QUIT</METHOD></DATA>"; }

std::optional<std::string> EncodeParameter(const void* data, size_t size) {
  if (data == nullptr || size == 0) return std::nullopt;
  const size_t scratchSize = size < kSmallScratch ? kSmallScratch : kLargeScratch;
  const std::unique_ptr<unsigned char[]> packed(new unsigned char[scratchSize]);
  size_t written = 0;
  if (DictionaryCompress(std::string_view(static_cast<const char*>(data), size), packed.get(), scratchSize,
                         written) != 0)
    return std::nullopt;
  std::string text(kBase64OutputLimit, '\0');
  const int32_t length = Base64Encode(std::string_view(reinterpret_cast<const char*>(packed.get()), written),
                                      text.data(), text.size());
  if (length < 0) return std::nullopt;
  text.resize(static_cast<size_t>(length));
  return text;
}

bool DecodeParameter(std::string_view text, void* out, size_t size) {
  if (out == nullptr || size == 0 || text.size() > kLargeScratch * 2 || !IsBase64Text(text)) return false;
  const std::unique_ptr<unsigned char[]> packed(new unsigned char[kLargeScratch]);
  const int32_t packedLength = Base64Decode(text, packed.get(), kLargeScratch);
  if (packedLength <= 0) return false;
  // Expanded into a block of its own first: the caller's block changes only
  // when the whole of it came.
  const std::unique_ptr<unsigned char[]> expanded(new unsigned char[size]);
  size_t written = 0;
  if (DictionaryDecompress(std::string_view(reinterpret_cast<const char*>(packed.get()),
                                            static_cast<size_t>(packedLength)),
                           expanded.get(), size, written) != 1 ||
      written != size)
    return false;
  std::memcpy(out, expanded.get(), size);
  return true;
}

std::optional<std::string> ExecRequest(std::string_view function, std::span<const ParameterBlock> blocks) {
  std::string request = "<DATA><METHOD>EXEC</METHOD><FUNCTION>" + std::string(function) + "</FUNCTION><PARAMETERS>";
  for (size_t k = 0; k < blocks.size(); ++k) {
    const std::optional<std::string> encoded = EncodeParameter(blocks[k].data, blocks[k].size);
    if (!encoded) return std::nullopt;
    const uint32_t number = static_cast<uint32_t>(k + 1);
    request += ParameterTag(number, false) + std::string(kSizeAttribute) + std::to_string(blocks[k].size) + ">" +
               *encoded + ParameterTag(number, true);
    if (request.size() > kExecRequestLimit) return std::nullopt;
  }
  request += "</PARAMETERS></DATA>";
  if (request.size() > kExecRequestLimit) return std::nullopt;
  return request;
}

bool IsSuccessReply(std::string_view reply) { return reply.find(kSuccessReply) != std::string_view::npos; }

std::optional<ReplyParameter> FindParameter(std::string_view reply, uint32_t number) {
  const std::string start = ParameterTag(number, false) + std::string(kSizeAttribute);
  const size_t at = reply.find(start);
  if (at == std::string_view::npos) return std::nullopt;
  size_t cursor = at;
  const std::optional<RequestParameter> parameter = TakeParameter(reply, cursor);
  if (!parameter || parameter->number != number) return std::nullopt;
  return ReplyParameter{parameter->size, parameter->content};
}

std::optional<Request> ParseRequest(std::string_view text) {
  if (text.size() > kExecRequestLimit) return std::nullopt;
  size_t at = 0;
  if (!Take(text, at, "<DATA>")) return std::nullopt;
  const std::optional<std::string_view> method = TakeElement(text, at, "METHOD");
  if (!method) return std::nullopt;
  Request request;
  if (*method == "PING" || *method == "QUIT") {
    request.method = *method == "PING" ? Method::Ping : Method::Quit;
  } else if (*method == "AUTH") {
    request.method = Method::Auth;
    const auto protocol = TakeElement(text, at, "PROTOCOL");
    const auto credentials = protocol ? TakeElement(text, at, "CREDENTIALS") : std::nullopt;
    const auto realm = credentials ? TakeElement(text, at, "REALM") : std::nullopt;
    const auto library = realm ? TakeElement(text, at, "Library") : std::nullopt;
    if (!library) return std::nullopt;
    request.protocol = *protocol;
    request.credentials = *credentials;
    request.library = *library;
  } else if (*method == "LOAD") {
    request.method = Method::Load;
    const auto library = TakeElement(text, at, "LIBRARY");
    if (!library) return std::nullopt;
    request.library = *library;
  } else if (*method == "EXEC") {
    request.method = Method::Exec;
    const auto function = TakeElement(text, at, "FUNCTION");
    if (!function || function->empty() || !Take(text, at, "<PARAMETERS>")) return std::nullopt;
    request.function = *function;
    while (text.substr(at, kParameterStart.size()) == kParameterStart) {
      const std::optional<RequestParameter> parameter = TakeParameter(text, at);
      if (!parameter) return std::nullopt;
      request.parameters.push_back(*parameter);
    }
    if (!Take(text, at, "</PARAMETERS>")) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (!Take(text, at, kMessageEnd) || at != text.size()) return std::nullopt;
  if (request.method != Method::Exec && text.size() > kRequestLimit) return std::nullopt;
  return request;
}

std::string SuccessReply() { return std::string(kSuccessReply); }
std::string FailureReply() { return "<DATA><STATUS>FAILURE</STATUS></DATA>"; }

std::optional<std::string> ExecReply(uint32_t result, std::span<const ReturnedBlock> returned) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(result), static_cast<unsigned char>(result >> 8),
                                  static_cast<unsigned char>(result >> 16), static_cast<unsigned char>(result >> 24)};
  std::string reply = "<DATA><PARAMETERS>";
  auto append = [&](uint32_t number, const void* data, size_t size) {
    const std::optional<std::string> encoded = EncodeParameter(data, size);
    if (!encoded) return false;
    reply += ParameterTag(number, false) + std::string(kSizeAttribute) + std::to_string(size) + ">" + *encoded +
             ParameterTag(number, true);
    return reply.size() <= kReplyLimit;
  };
  if (!append(0, bytes, sizeof bytes)) return std::nullopt;
  for (const ReturnedBlock& block : returned)
    if (block.number == 0 || !append(block.number, block.block.data, block.block.size)) return std::nullopt;
  reply += "</PARAMETERS></DATA>";
  if (reply.size() > kReplyLimit) return std::nullopt;
  return reply;
}

}  // namespace tw::remote
