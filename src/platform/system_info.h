// Facts about this machine.
#pragma once
#include <cstdint>
#include <string>

namespace tw::platform {

// This machine's name, as GetComputerName gives it: the host name.
std::string ComputerName();

uint64_t CurrentProcessId();

}  // namespace tw::platform
