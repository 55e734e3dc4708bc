// Where user security files lie: "Configuration Directory" under the
// store's registry root, read each time (an operator may move it).
#pragma once
#include <string>

namespace tw {

// The configuration directory; empty when the value is missing or empty,
// which means that no security file is touched.
std::string ConfigurationDirectory();

}  // namespace tw
