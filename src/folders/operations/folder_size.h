// The size of one folder's items as its index records them, read under the
// folder's block after a rescan when the folder is marked out of date.
#pragma once
#include <cstdint>

#include "twstore.h"

namespace tw {

// The SIZE of every live element of the folder's _index.xml added up (in
// kilobytes, rounded down, with `kilobytes`), saturating at 4294967295; 0 for
// the mailbox root itself, a folder that is not there, a block that cannot
// be had or an index that does not load (which prints why).
uint32_t FolderSize(const FolderRecord& record, bool kilobytes);

// Forgets the "Index Injection Size Limit" read (tests change it).
void ResetIndexInjectionSizeLimit();

}  // namespace tw
