#include "services/remote_forward.h"

#include <cstring>
#include <optional>
#include <vector>

#include "services/remote/forwarded_calls.h"
#include "services/remote/remote_messages.h"
#include "services/remote/remote_session.h"

namespace tw {
namespace {

constexpr size_t kResultSize = 4;

// The call's result from element 0: exactly four bytes, little-endian.
std::optional<uint32_t> DecodeResult(std::string_view reply) {
  const std::optional<remote::ReplyParameter> element = remote::FindParameter(reply, 0);
  unsigned char bytes[kResultSize];
  if (!element || element->size != kResultSize || !remote::DecodeParameter(element->content, bytes, sizeof bytes))
    return std::nullopt;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Decodes every block the row returns aside and copies them into the
// caller's blocks only when all decoded, so that a bad reply leaves no
// record half-changed. The result when all went well.
std::optional<uint32_t> TakeReply(std::string_view reply, const remote::ForwardedCall& row,
                                  std::span<ForwardedBlock> blocks) {
  const std::optional<uint32_t> result = DecodeResult(reply);
  if (!result) return std::nullopt;
  std::vector<std::vector<unsigned char>> decoded(blocks.size());
  for (uint32_t k = 0; k < row.count; ++k) {
    if (!row.returned[k]) continue;
    const std::optional<remote::ReplyParameter> element = remote::FindParameter(reply, k + 1);
    if (!element || element->size != blocks[k].size) return std::nullopt;
    decoded[k].resize(blocks[k].size);
    if (!remote::DecodeParameter(element->content, decoded[k].data(), decoded[k].size())) return std::nullopt;
  }
  for (uint32_t k = 0; k < row.count; ++k) {
    if (row.returned[k]) std::memcpy(blocks[k].data, decoded[k].data(), decoded[k].size());
  }
  return result;
}

// The caller's blocks fit the row: as many, of the sizes the wire carries.
bool Matches(const remote::ForwardedCall& row, std::span<const ForwardedBlock> blocks) {
  if (blocks.size() != row.count) return false;
  for (uint32_t k = 0; k < row.count; ++k) {
    if (blocks[k].data == nullptr || blocks[k].size != row.sizes[k]) return false;
  }
  return true;
}

}  // namespace

ForwardOutcome ForwardIfRemote(std::string_view function, std::string_view library, std::span<ForwardedBlock> blocks) {
  // Only the calls of the table ever leave this process.
  const remote::ForwardedCall* row = remote::FindForwardedCall(function, library);
  if (row == nullptr) return {};
  const remote::SessionLock lock;
  if (remote::CheckRemote(lock, row->library) == remote::RemoteState::kLocal) return {};
  ForwardOutcome outcome{true, 0};
  if (!Matches(*row, blocks)) return outcome;
  std::vector<remote::ParameterBlock> parameters;
  for (const ForwardedBlock& block : blocks) parameters.push_back({block.data, block.size});
  // A block too big for its scratch or the request is not sent at all.
  const std::optional<std::string> request = remote::ExecRequest(row->function, parameters);
  std::string reply;
  if (!request || !remote::Exchange(lock, *request, reply)) return outcome;
  outcome.result = TakeReply(reply, *row, blocks).value_or(0);
  return outcome;
}

}  // namespace tw
