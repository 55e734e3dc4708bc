// Temporary files that a process killed while writing leaves in a mail
// folder, removed by the folder's next scan once nobody can still be
// writing them.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

// A leftover is removed only when last written more than an hour ago: every
// writer finishes its temporary within moments, so a younger one may belong
// to a live process.
inline constexpr uint64_t kLeftoverAge = 3600ull * 10000000ull;  // file-time units

// Deletes the folder's temporaries last written more than kLeftoverAge ago:
// "_index.xml.tmp" (an index written whole before it replaces the old one),
// "_FOLDER.DAT.<pid>.<thread>.tmp" (the counters, likewise),
// "_folder.xml.<pid>.<thread>.tmp" (the folder index, likewise),
// "_twstore-<pid>-<n>.TMP" (a message being delivered by twstore),
// "_<name>.MAI" while "<name>.MAI" is there (a header clean-up's copy), and
// the platform's own (a block file's create-new temporary
// "._index.blk.<pid>.<hex>.tmp" and the like). Links are never touched.
void RemoveFolderLeftovers(const std::string& folderPath);

}  // namespace tw
