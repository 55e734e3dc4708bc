// The serialisation log: event-log entries of information type whose text
// begins with the host program's file name in brackets.
#pragma once
#include <string>

namespace tw {

void WriteSerialisationLog(const std::string& text);

}  // namespace tw
