// The header lines of one message into a MessageHeaderInfo: each line is
// matched at its start, in any case, against the headers the index keeps;
// continuation lines extend the field left open; an attachment announced by
// the content type is confirmed from the body.
#pragma once

namespace tw {

class HeaderLineReader;
struct MessageHeaderInfo;
struct HeaderParseOptions;

// Reads at most kHeaderLineCount lines, up to the blank line that ends the
// header (and on into the body only to confirm an attachment).
void ParseHeaderLines(HeaderLineReader& reader, MessageHeaderInfo& info, const HeaderParseOptions& options);

}  // namespace tw
