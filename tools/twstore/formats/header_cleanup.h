// Header fields the store writes for its own bookkeeping, which a message
// coming in from elsewhere must not bring along: a stale X-UID or
// X-TWTempFlags would be taken for the store's own.
#pragma once
#include <string>
#include <string_view>

namespace tw::formats {

// The offset just past the blank line that ends the header; npos when
// `text` holds no blank line (the header is all of it, or was cut).
size_t HeaderEnd(std::string_view text);

// `message` without its header's X-TWTempFlags: and X-UID: fields (any
// letter case, with their continuation lines); every other byte, the body
// included, stays as it is. A caller holding only the start of a large
// message passes a start that reaches HeaderEnd.
std::string WithoutStoreHeaderFields(std::string_view message);

}  // namespace tw::formats
