// Registry values of message indexing, each read once per process.
#pragma once
#include <cstdint>

namespace tw {

// "Maximum Index Rows", default 100000: a scan stops at this many files.
uint32_t MaximumIndexRows();
// "UID Branding Enabled", default 0: nonzero reads X-UID: headers and
// strips X-UID: and X-TWTempFlags: lines from newly indexed files.
uint32_t UidBrandingEnabled();
// "Indexing Parses Multipart Alternative For Attachments", default 0: 1
// counts multipart/alternative as having attachments.
uint32_t MultipartAlternativeHasAttachments();

// Forgets the values so that the next use reads the registry again.
void ResetMessageIndexSettings();

}  // namespace tw
