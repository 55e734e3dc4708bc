// Reads one element written exactly as the stream writer writes it,
//   <ELEMENT ID="..." UID="..."><NAME>text</NAME>...<NAME/>...</ELEMENT>
// straight from the bytes in a buffer, changing nothing. Anything else
// (other spacing, text between tags, nesting, unmatched or unusual tags) is
// left to the general parser, which reads it tag by tag and reports what is
// wrong with it; this only takes the common case off its hands.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "index/items/property_registry.h"

namespace tw {

struct ScannedProperty {
  std::string_view name;
  std::string_view text;  // as written
  bool escaped = false;   // holds '&': to be unescaped
  bool known = false;     // named as the same child of the last element
};

struct ScannedElement {
  std::string_view id;
  std::string_view uid;
  size_t length = 0;  // bytes from '<' of the start tag to after "</ELEMENT>"
  std::vector<ScannedProperty> properties;  // in file order; empty for keys only
  // The children's names of the last element read, already checked: the
  // next element most likely has the same ones in the same order.
  std::vector<std::string> lastNames;
  // The caller's key for each of lastNames; no slot (-1) again whenever
  // the name changes.
  std::vector<PropertyKey> lastKeys;
};

enum class ElementScan {
  Element,     // `out` holds the element
  Incomplete,  // the bytes end before the element does
  Other,       // not in the writer's exact form: for the general parser
};

// `window` starts where the element's '<' would be. With `withProperties`
// false the children are skipped as a keys-only read skips them.
ElementScan ScanElement(std::string_view window, bool withProperties, ScannedElement& out);

}  // namespace tw
