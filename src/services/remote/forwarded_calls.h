// The one table of forwarded calls, shared by the proxy (which sends them)
// and the service (which runs them): each function, the library it lives
// in, its parameter blocks and which of them come back.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tw::remote {

inline constexpr std::string_view kStoreLibrary = "TWSTORE.DLL";
inline constexpr std::string_view kCalendarLibrary = "TWCALPRV.DLL";

struct ForwardedCall {
  std::string_view function;
  std::string_view library;
  uint32_t count = 0;                  // parameter blocks, 1 or 2
  std::array<uint32_t, 2> sizes{};     // bytes of each block
  std::array<bool, 2> returned{};      // which come back into the caller
  // The record layouts exist in this store (the folder record); rows whose
  // records come with later work are refused by the service until then.
  bool available = false;
};

std::span<const ForwardedCall> ForwardedCalls();

// The row of `function` in `library` (letter case of the library aside);
// nullptr when there is none.
const ForwardedCall* FindForwardedCall(std::string_view function, std::string_view library);

}  // namespace tw::remote
