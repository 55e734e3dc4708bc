#include "services/remote/remote_messages.h"

#include <charconv>
#include <cstring>

#include "common/dictionary_codec.h"
#include "common/text_codecs.h"

namespace tw::remote {
namespace {

constexpr size_t kMaxDigits = 255;

// Reads the text in order; every step either takes what it expects or
// leaves the reader failed.
class Reader {
 public:
  explicit Reader(std::string_view text) : rest_(text) {}
  bool ok() const { return ok_; }
  bool AtEnd() const { return rest_.empty(); }
  bool Peek(std::string_view literal) const { return ok_ && rest_.substr(0, literal.size()) == literal; }
  void Expect(std::string_view literal) {
    if (!Peek(literal)) ok_ = false;
    else rest_.remove_prefix(literal.size());
  }
  // The text up to `end`, which is taken too.
  std::string_view Until(std::string_view end) {
    if (!ok_) return {};
    const size_t at = rest_.find(end);
    if (at == std::string_view::npos) {
      ok_ = false;
      return {};
    }
    const std::string_view content = rest_.substr(0, at);
    rest_.remove_prefix(at + end.size());
    return content;
  }
  // Decimal digits only, at most kMaxDigits, within `limit`.
  uint64_t Number(uint64_t limit) {
    size_t n = 0;
    while (ok_ && n < rest_.size() && rest_[n] >= '0' && rest_[n] <= '9') ++n;
    uint64_t value = 0;
    if (!ok_ || n == 0 || n > kMaxDigits || std::from_chars(rest_.data(), rest_.data() + n, value).ec != std::errc() ||
        value > limit) {
      ok_ = false;
      return 0;
    }
    rest_.remove_prefix(n);
    return value;
  }

 private:
  std::string_view rest_;
  bool ok_ = true;
};

std::string Element(std::string_view tag, std::string_view content) {
  std::string text = "<";
  text.append(tag).append(">").append(content).append("</").append(tag).append(">");
  return text;
}

std::string ParameterElement(uint32_t number, size_t size, std::string_view encoded) {
  const std::string n = std::to_string(number);
  return "<PARAMETER" + n + " SIZE=" + std::to_string(size) + ">" + std::string(encoded) + "</PARAMETER" + n + ">";
}

}  // namespace

std::string AuthRequest(std::string_view protocol, std::string_view credentials) {
  return "<DATA><METHOD>AUTH</METHOD>" + Element("PROTOCOL", protocol.substr(0, kAuthFieldLimit)) +
         Element("CREDENTIALS", credentials.substr(0, kAuthFieldLimit)) + "<REALM></REALM>" +
         Element("Library", "TWAUTH.DLL") + "</DATA>";
}
std::string LoadRequest(std::string_view library) {
  return "<DATA><METHOD>LOAD</METHOD>" + Element("LIBRARY", library) + "</DATA>";
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
  std::vector<char> text((written + 2) / 3 * 4 + 1);
  if (text.size() > kBase64OutputLimit) return std::nullopt;
  const int32_t n =
      Base64Encode(std::string_view(reinterpret_cast<const char*>(packed.data()), written), text.data(), text.size());
  if (n < 0) return std::nullopt;
  return std::string(text.data(), static_cast<size_t>(n));
}

bool DecodeParameter(std::string_view text, void* out, size_t size) {
  if (out == nullptr || size == 0 || text.size() > 2 * kLargeScratch) return false;
  std::vector<unsigned char> packed(kLargeScratch);
  const int32_t packedSize = Base64Decode(text, packed.data(), packed.size());
  if (packedSize <= 0) return false;
  std::vector<unsigned char> block(size);
  size_t written = 0;
  if (DictionaryDecompress(std::string_view(reinterpret_cast<const char*>(packed.data()),
                                            static_cast<size_t>(packedSize)),
                           block.data(), block.size(), written) != 1 ||
      written != size)
    return false;
  std::memcpy(out, block.data(), size);
  return true;
}

std::optional<std::string> ExecRequest(std::string_view function, std::span<const ParameterBlock> blocks) {
  std::string text = "<DATA><METHOD>EXEC</METHOD>" + Element("FUNCTION", function) + "<PARAMETERS>";
  uint32_t number = 0;
  for (const ParameterBlock& block : blocks) {
    const std::optional<std::string> encoded = EncodeParameter(block.data, block.size);
    if (!encoded) return std::nullopt;
    text += ParameterElement(++number, block.size, *encoded);
    if (text.size() > kExecRequestLimit) return std::nullopt;
  }
  text += "</PARAMETERS></DATA>";
  if (text.size() > kExecRequestLimit) return std::nullopt;
  return text;
}

bool IsSuccessReply(std::string_view reply) { return reply.find(kSuccessReply) != std::string_view::npos; }

std::optional<ReplyParameter> FindParameter(std::string_view reply, uint32_t number) {
  const std::string n = std::to_string(number);
  const std::string start = "<PARAMETER" + n + " SIZE=";
  const size_t at = reply.find(start);
  if (at == std::string_view::npos) return std::nullopt;
  Reader reader(reply.substr(at + start.size()));
  ReplyParameter found;
  found.size = static_cast<size_t>(reader.Number(kReplyLimit * 4));
  reader.Expect(">");
  found.content = reader.Until("</PARAMETER" + n + ">");
  if (!reader.ok()) return std::nullopt;
  return found;
}

std::optional<Request> ParseRequest(std::string_view text) {
  if (text.size() > kExecRequestLimit) return std::nullopt;
  Reader reader(text);
  Request request;
  reader.Expect("<DATA><METHOD>");
  const std::string_view method = reader.Until("</METHOD>");
  if (method == "AUTH") {
    request.method = Method::Auth;
    reader.Expect("<PROTOCOL>");
    request.protocol = reader.Until("</PROTOCOL>");
    reader.Expect("<CREDENTIALS>");
    request.credentials = reader.Until("</CREDENTIALS>");
    reader.Expect("<REALM></REALM><Library>");
    request.library = reader.Until("</Library>");
  } else if (method == "LOAD") {
    request.method = Method::Load;
    reader.Expect("<LIBRARY>");
    request.library = reader.Until("</LIBRARY>");
  } else if (method == "PING") {
    request.method = Method::Ping;
  } else if (method == "QUIT") {
    request.method = Method::Quit;
  } else if (method == "EXEC") {
    request.method = Method::Exec;
    reader.Expect("<FUNCTION>");
    request.function = reader.Until("</FUNCTION>");
    reader.Expect("<PARAMETERS>");
    while (reader.ok() && !reader.Peek("</PARAMETERS>")) {
      RequestParameter parameter;
      reader.Expect("<PARAMETER");
      parameter.number = static_cast<uint32_t>(reader.Number(UINT32_MAX));
      reader.Expect(" SIZE=");
      parameter.size = static_cast<size_t>(reader.Number(kExecRequestLimit * 4));
      reader.Expect(">");
      parameter.content = reader.Until("</PARAMETER" + std::to_string(parameter.number) + ">");
      if (reader.ok()) request.parameters.push_back(parameter);
    }
    reader.Expect("</PARAMETERS>");
  } else {
    return std::nullopt;
  }
  reader.Expect("</DATA>");
  if (!reader.ok() || !reader.AtEnd()) return std::nullopt;
  if (request.method != Method::Exec && text.size() > kRequestLimit) return std::nullopt;
  return request;
}

std::string SuccessReply() { return std::string(kSuccessReply); }
std::string FailureReply() { return "<DATA><STATUS>FAILURE</STATUS></DATA>"; }

std::optional<std::string> ExecReply(uint32_t result, std::span<const ReturnedBlock> returned) {
  const unsigned char number[4] = {static_cast<unsigned char>(result), static_cast<unsigned char>(result >> 8),
                                   static_cast<unsigned char>(result >> 16), static_cast<unsigned char>(result >> 24)};
  const std::optional<std::string> encodedResult = EncodeParameter(number, sizeof number);
  if (!encodedResult) return std::nullopt;
  std::string text = "<DATA><PARAMETERS>" + ParameterElement(0, sizeof number, *encodedResult);
  for (const ReturnedBlock& block : returned) {
    const std::optional<std::string> encoded = EncodeParameter(block.block.data, block.block.size);
    if (!encoded) return std::nullopt;
    text += ParameterElement(block.number, block.block.size, *encoded);
    if (text.size() > kReplyLimit) return std::nullopt;
  }
  text += "</PARAMETERS></DATA>";
  if (text.size() > kReplyLimit) return std::nullopt;
  return text;
}

}  // namespace tw::remote
