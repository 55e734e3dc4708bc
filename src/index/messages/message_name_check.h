// Message file names the index cannot keep. The index file is XML, which
// holds UTF-8 text only: an item whose ID is not valid UTF-8 does not come
// back as that file's item. The scan leaves such a file out and says so in
// the serialisation log, rather than lose it without a word.
#pragma once
#include <string>

namespace tw {

// False for a name that is not valid UTF-8. The first time a folder's scan
// meets such a name in this process, one line in the serialisation log
// names the folder and the name (bytes that are not UTF-8 as \xHH): scans of
// a busy folder come often, and the same line each time would bury the
// log. A process remembers a bounded number of names; past that it reports
// once that further names go unreported.
bool KeepableMessageName(const std::string& folder, const std::string& name);

}  // namespace tw
