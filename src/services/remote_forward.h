// The one point where a forwarded export asks whether a remote host is in
// force and, if so, runs there instead of here. Only the calls of the one
// table (services/remote/forwarded_calls.h) leave the process; the table,
// not the caller, says which blocks come back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tw {

// One argument block of a forwarded call: sent as it is, and filled from the
// reply when `returned`.
struct ForwardedBlock {
  void* data = nullptr;
  size_t size = 0;
  bool returned = false;
};

struct ForwardOutcome {
  bool forwarded = false;  // false: run the local core
  uint32_t result = 0;     // the remote result when forwarded
};

// `function` and `library` name the call on the remote side.
ForwardOutcome ForwardIfRemote(std::string_view function, std::string_view library, std::span<ForwardedBlock> blocks);

}  // namespace tw
