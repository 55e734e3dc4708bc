// Finds the text of one part of a message or calendar file: the walk over
// its lines from the file's header through "multipart/mixed",
// "multipart/alternative" and "multipart/related" containers to the header
// of the part whose content type is asked for, then the part's lines as
// they are stored (no transfer decoding, no character-set conversion). A
// file without containers gives its whole body, whatever its content type.
// Works on lines only; the caller supplies them from a file or from memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/chunk_buffer.h"
#include "index/messages/header_line_reader.h"

namespace tw {

enum class BodyPartKind { kPlainText, kHtml, kCalendar };

// "PR_BODY" asks for plain text, "PR_BODY_HTML" for HTML, any other name
// for calendar text.
BodyPartKind BodyPartKindFor(std::string_view propertyName);

// The longest text the walk collects: longer texts could not be handed out
// with a 32-bit length. A longer part is cut there, and found.
inline constexpr size_t kLongestBodyText = 0x3FFFFFFE;

// The part's lines, each exactly as read (line end included), go to `text`
// (flushed before returning). True when the part was found: a part
// delimited by a boundary, even an empty one, or a body running to the end
// of the file that has at least one line. Lines are read as a 2048-byte
// line buffer reads them: at most 2047 bytes, a longer line in pieces; a
// NUL byte ends the line's text.
bool WalkBody(HeaderLineReader& lines, BodyPartKind kind, ChunkBuffer& text);

// The same walk over text in memory.
bool WalkBodyText(std::string_view file, BodyPartKind kind, ChunkBuffer& text);

// A line as a C line buffer holds it: up to a NUL byte.
std::string_view UpToNul(std::string_view raw);
// Without a trailing CR LF, else without a trailing LF (a lone CR stays).
std::string_view WithoutLineBreak(std::string_view line);

// The "boundary" parameter of a header line: the text between double quotes,
// or up to the first ";", blank, tab, CR or LF. Empty when the line has none
// (an empty boundary would be found in every line, so it counts as none).
std::string_view BoundaryParameter(std::string_view line);

}  // namespace tw
