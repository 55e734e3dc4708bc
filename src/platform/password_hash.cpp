#include "platform/password_hash.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace tw::platform {
namespace {

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// Every byte is looked at, whatever the first difference.
bool SameBytes(std::string_view a, std::string_view b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

std::string HashSecret(std::string_view secret) {
  if (HasNul(secret)) return {};
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  // A null random source asks libcrypt for the system's own.
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr) return {};
  auto data = std::make_unique<crypt_data>();
  const std::string text(secret);
  const char* hash = crypt_rn(text.c_str(), setting, data.get(), sizeof *data);
  if (hash == nullptr || hash[0] == '*') return {};
  return hash;
}

bool SecretMatches(std::string_view secret, const std::string& hash) {
  if (hash.empty() || HasNul(secret) || HasNul(hash)) return false;
  auto data = std::make_unique<crypt_data>();
  const std::string text(secret);
  const char* computed = crypt_rn(text.c_str(), hash.c_str(), data.get(), sizeof *data);
  if (computed == nullptr || computed[0] == '*') return false;
  return SameBytes(computed, hash);
}

}  // namespace tw::platform
