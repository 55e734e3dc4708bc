// Secrets kept as crypt(3) hashes, as in the service's users file: new ones
// are made with yescrypt ("$y$"), and a check runs the hash function on the
// secret given with the stored hash as its setting.
#pragma once
#include <string>
#include <string_view>

namespace tw::platform {

// A yescrypt hash of `secret` with a fresh random salt; empty when the
// system cannot make one (or the secret holds a NUL).
std::string HashSecret(std::string_view secret);

// True when `secret` hashes to `hash`. The comparison takes the same time
// wherever the two differ; a hash the system cannot use matches nothing.
bool SecretMatches(std::string_view secret, const std::string& hash);

}  // namespace tw::platform
