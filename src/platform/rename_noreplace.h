// rename() that never replaces an existing destination. Internal to
// src/platform/.
#pragma once

namespace tw::platform::detail {

// 0 on success; -1 with errno set (EEXIST when the destination exists).
// Uses renameat2(RENAME_NOREPLACE); where the file system does not support
// it, link() and unlink() for files, or a rename checked beforehand for
// directories and file systems without hard links.
int RenameNoReplace(const char* from, const char* to);

}  // namespace tw::platform::detail
