// The store's registry readers. Missing values are never errors: each
// caller applies its own default.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

inline constexpr const char* kRegistryRoot = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick";
inline constexpr const char* kProvidersKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Providers";
inline constexpr const char* kMapiServiceKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Services\\MAPI";
inline constexpr const char* kStoreProviderKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Providers\\Store";

// 1 and the text, or 0 with `destination` set to empty text. A value that
// does not fit in `capacity` bytes with its terminator counts as unreadable.
uint32_t ReadRegistryString(const std::string& keyPath, const std::string& valueName, char* destination,
                            uint32_t capacity);
// The same into a string; `capacity` bounds the value as above.
uint32_t ReadRegistryString(const std::string& keyPath, const std::string& valueName, std::string& destination,
                            uint32_t capacity = 1024);

// 1 and the value, or 0 with `destination` unchanged.
uint32_t ReadRegistryDword(const std::string& keyPath, const std::string& valueName, uint32_t* destination);

// "Software\Tarnwick" (any case, first occurrence) -> "Software\Wow6432Node\Tarnwick".
std::string RedirectTo32BitView(const std::string& keyPath);

}  // namespace tw
