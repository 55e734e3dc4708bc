#include "index/file/element_scan.h"

#include <array>

namespace tw {
namespace {

constexpr std::string_view kStart = "<ELEMENT ID=\"";
constexpr std::string_view kBetween = "\" UID=\"";
constexpr std::string_view kEndName = "/ELEMENT";
// Longer attributes and tags are rare and left to the general parser, which
// has its own limits for them.
constexpr size_t kLongestAttribute = 1023;
constexpr size_t kLongestTag = 1024;

bool NamesStructure(std::string_view name) { return name.starts_with("ELEMENT") || name.starts_with("BASEELEMENT"); }

// Bytes that end a tag's name for the general parser, or a tag.
constexpr std::array<bool, 256> kEndsName = [] {
  std::array<bool, 256> ends{};
  for (const unsigned char c : std::string_view(" \t\r\n/<")) ends[c] = true;
  return ends;
}();

// A child name the general parser would take whole, as written.
bool PlainName(std::string_view name) {
  if (name.empty() || ((name[0] == 'E' || name[0] == 'B') && NamesStructure(name))) return false;
  for (const char c : name)
    if (kEndsName[static_cast<unsigned char>(c)]) return false;
  return true;
}

// `expected` at `at`: Element when it is there whole, Incomplete when the
// window ends inside a match, else Other.
ElementScan Expect(std::string_view window, size_t at, std::string_view expected) {
  const std::string_view have = window.substr(at, expected.size());
  if (have.size() < expected.size()) return expected.starts_with(have) ? ElementScan::Incomplete : ElementScan::Other;
  return have == expected ? ElementScan::Element : ElementScan::Other;
}

// The attribute value from `at` to its closing quote; `end` is the quote.
ElementScan AttributeValue(std::string_view window, size_t at, std::string_view& value, size_t& end) {
  end = window.find('"', at);
  if (end == std::string_view::npos)
    return window.size() - at > kLongestAttribute ? ElementScan::Other : ElementScan::Incomplete;
  value = window.substr(at, end - at);
  if (value.size() > kLongestAttribute) return ElementScan::Other;
  for (const char c : value)
    if (c == '<' || c == '>') return ElementScan::Other;
  return ElementScan::Element;
}

// The tag whose '<' is at `at`: its text and the offset after its '>'.
ElementScan NextTag(std::string_view window, size_t at, std::string_view& tag, size_t& after) {
  if (at >= window.size()) return ElementScan::Incomplete;
  if (window[at] != '<') return ElementScan::Other;
  const size_t close = window.find('>', at + 1);
  if (close == std::string_view::npos)
    return window.size() - at > kLongestTag ? ElementScan::Other : ElementScan::Incomplete;
  if (close - at > kLongestTag) return ElementScan::Other;
  tag = window.substr(at + 1, close - at - 1);
  after = close + 1;
  return ElementScan::Element;
}

// Keys only: children are not read, but a tag that names the root or an
// element means more than a child does.
ElementScan SkipChildren(std::string_view window, size_t at, ScannedElement& out) {
  for (;;) {
    at = window.find('<', at);
    if (at == std::string_view::npos) return ElementScan::Incomplete;
    std::string_view tag;
    const ElementScan found = NextTag(window, at, tag, at);
    if (found != ElementScan::Element) return found;
    if (tag == kEndName) {
      out.length = at;
      return ElementScan::Element;
    }
    if (NamesStructure(tag.starts_with('/') ? tag.substr(1) : tag)) return ElementScan::Other;
  }
}

// `<NAME>` at `at` for the name the same child of the last element had.
bool KnownStartTag(std::string_view window, size_t at, const ScannedElement& out, std::string_view& tag) {
  const size_t index = out.properties.size();
  if (index >= out.lastNames.size()) return false;
  const std::string& name = out.lastNames[index];
  if (at + name.size() + 2 > window.size() || window[at] != '<' || window[at + name.size() + 1] != '>' ||
      window.compare(at + 1, name.size(), name) != 0)
    return false;
  tag = window.substr(at + 1, name.size());
  return true;
}

ElementScan ReadChildren(std::string_view window, size_t at, ScannedElement& out) {
  for (;;) {
    std::string_view tag;
    const bool known = KnownStartTag(window, at, out, tag);
    if (known) {
      at += tag.size() + 2;
    } else {
      const ElementScan found = NextTag(window, at, tag, at);
      if (found != ElementScan::Element) return found;
      if (tag == kEndName) {
        out.length = at;
        return ElementScan::Element;
      }
      if (tag.ends_with('/')) {  // an empty value: nothing is stored
        if (!PlainName(tag.substr(0, tag.size() - 1))) return ElementScan::Other;
        continue;
      }
      if (!PlainName(tag)) return ElementScan::Other;
      const size_t index = out.properties.size();
      if (index >= out.lastNames.size()) {
        out.lastNames.resize(index + 1);
        out.lastKeys.resize(index + 1);
      }
      out.lastNames[index].assign(tag);
      out.lastKeys[index] = PropertyKey{};
    }
    const size_t textEnd = window.find('<', at);
    if (textEnd == std::string_view::npos) return ElementScan::Incomplete;
    const std::string_view text = window.substr(at, textEnd - at);
    // "</" NAME ">"
    at = textEnd + 2 + tag.size() + 1;
    if (at > window.size()) return ElementScan::Incomplete;
    if (window[textEnd + 1] != '/' || window.substr(textEnd + 2, tag.size()) != tag || window[at - 1] != '>')
      return ElementScan::Other;
    out.properties.push_back({tag, text, text.find('&') != std::string_view::npos, known});
  }
}

}  // namespace

ElementScan ScanElement(std::string_view window, bool withProperties, ScannedElement& out) {
  out.properties.clear();
  ElementScan step = Expect(window, 0, kStart);
  if (step != ElementScan::Element) return step;
  size_t at = kStart.size();
  if ((step = AttributeValue(window, at, out.id, at)) != ElementScan::Element) return step;
  if ((step = Expect(window, at, kBetween)) != ElementScan::Element) return step;
  at += kBetween.size();
  if ((step = AttributeValue(window, at, out.uid, at)) != ElementScan::Element) return step;
  if ((step = Expect(window, at, "\">")) != ElementScan::Element) return step;
  at += 2;
  return withProperties ? ReadChildren(window, at, out) : SkipChildren(window, at, out);
}

}  // namespace tw
