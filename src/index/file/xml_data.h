// Cuts the text between a start and an end tag out of an XML text, for
// callers that read one value without parsing the document.
#pragma once
#include <cstdint>

namespace tw {

// Finds `startTag` in `text` (an empty or null tag matches at the start),
// then `endTag` from one character after where the start tag begins, and
// copies what lies between them into `buffer` (at most bufferSize - 1 bytes,
// always terminated; nothing when bufferSize is 0). Returns the offset just
// after the end tag, or 0 when either tag is missing (the buffer is then
// emptied). Without an end tag, copies the text from the start tag's match
// onward and returns 0. Null `text` or `buffer`: returns 0.
uint32_t GetXMLDataEx(const char* text, const char* startTag, const char* endTag, char* buffer,
                      uint32_t bufferSize);

}  // namespace tw
