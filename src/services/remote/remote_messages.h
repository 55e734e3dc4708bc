// The messages between the remote-administration proxy and the service:
// XML-shaped texts without declaration or line ends, each ending with
// "</DATA>". Built and parsed here only, for both sides. Every text that
// comes from the other side is hostile: elements are looked for in order,
// lengths are checked, and anything malformed is refused rather than read
// in part.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tw::remote {

// Longest requests: EXEC, and every other one.
inline constexpr size_t kExecRequestLimit = 32767;
inline constexpr size_t kRequestLimit = 2047;
// Longest replies: to EXEC, and to AUTH and LOAD.
inline constexpr size_t kReplyLimit = 32767;
inline constexpr size_t kShortReplyLimit = 2047;
// The AUTH fields are cut to this many characters.
inline constexpr size_t kAuthFieldLimit = 255;
// Parameters are packed in a scratch of this size, or of the larger one
// for blocks of 1024 bytes and more.
inline constexpr size_t kSmallScratch = 1024;
inline constexpr size_t kLargeScratch = 32768;

inline constexpr std::string_view kMessageEnd = "</DATA>";
inline constexpr std::string_view kSuccessReply = "<DATA><STATUS>SUCCESS</STATUS></DATA>";

// Requests the proxy sends.
std::string AuthRequest(std::string_view protocol, std::string_view credentials);
std::string LoadRequest(std::string_view library);
std::string PingRequest();
std::string QuitRequest();

// One argument block of a call, as it travels.
struct ParameterBlock {
  const void* data = nullptr;
  size_t size = 0;
};

// A block packed with the dictionary compressor and Base64-encoded; none
// when it does not fit its scratch.
std::optional<std::string> EncodeParameter(const void* data, size_t size);
// The reverse, into exactly `size` bytes: false (nothing written) unless
// the text decodes and expands to exactly `size` bytes.
bool DecodeParameter(std::string_view text, void* out, size_t size);

// The EXEC request with parameters 1..n in order; none when a block does
// not encode or the request would pass kExecRequestLimit.
std::optional<std::string> ExecRequest(std::string_view function, std::span<const ParameterBlock> blocks);

// True when the reply holds the success text.
bool IsSuccessReply(std::string_view reply);

// The element of number `number` in a reply: it begins "<PARAMETER<n>",
// then " SIZE=" and decimal digits only (at most 255) up to ">", and its end
// tag "</PARAMETER<n>>" comes after that. None when it is missing or
// malformed.
struct ReplyParameter {
  size_t size = 0;
  std::string_view content;
};
std::optional<ReplyParameter> FindParameter(std::string_view reply, uint32_t number);

// Service side ---------------------------------------------------------------

enum class Method { Auth, Load, Ping, Quit, Exec };

struct RequestParameter {
  uint32_t number = 0;
  size_t size = 0;
  std::string_view content;
};

// A request as the service reads it; the views point into the text parsed.
struct Request {
  Method method = Method::Ping;
  std::string_view protocol;     // AUTH
  std::string_view credentials;  // AUTH
  std::string_view library;      // AUTH ("<Library>") and LOAD ("<LIBRARY>")
  std::string_view function;     // EXEC
  std::vector<RequestParameter> parameters;  // EXEC, in the order they came
};

// None for a text that is not exactly one well-formed request of a known
// method within its limit.
std::optional<Request> ParseRequest(std::string_view text);

// Replies the service sends.
std::string SuccessReply();
std::string FailureReply();
// An EXEC reply: the result as parameter 0 (4 bytes, little-endian), then
// the returned blocks under their numbers; none when it would pass
// kReplyLimit.
struct ReturnedBlock {
  uint32_t number = 0;
  ParameterBlock block;
};
std::optional<std::string> ExecReply(uint32_t result, std::span<const ReturnedBlock> returned);

}  // namespace tw::remote
