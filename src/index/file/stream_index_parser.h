// One pass over an index file that fills the in-memory index: the root and
// its LASTUID, the elements with their offsets and lengths, the properties
// (unless only keys are wanted), dead elements, the key filter, and the
// first structural problem of a malformed file.
#pragma once
#include <cstdint>
#include <string>

#include "platform/file_handle.h"

namespace tw {

class SORTEDSTOREINDEXTYPE;

struct StreamParseRequest {
  int32_t level = 3;         // 2: keys only; 3: every property
  uint32_t verifyFiles = 0;  // above 0: skip items whose file is missing
  std::string folder;        // where the item files lie
  int64_t fileLength = 0;
};

enum class StreamParseOutcome { Complete, Malformed, ReloadInFull };

struct StreamParseResult {
  StreamParseOutcome outcome = StreamParseOutcome::Complete;
  std::string problem;  // the first structural problem of a malformed file
  uint32_t deadElements = 0;
};

StreamParseResult DeserialiseKeysOrBetter(SORTEDSTOREINDEXTYPE& index, platform::FileHandle& file,
                                          const StreamParseRequest& request);

}  // namespace tw
