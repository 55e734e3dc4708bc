// Facts about this machine.
#pragma once
#include <string>

namespace tw::platform {

// This machine's name, as GetComputerName gives it: the host name.
std::string ComputerName();

}  // namespace tw::platform
