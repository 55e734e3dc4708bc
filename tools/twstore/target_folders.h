// The mailbox and folder an import writes into, made on request.
#pragma once
#include <ostream>

#include "commands.h"

namespace tw::cli {

// With `create`, makes the mailbox directory (its postoffice must exist)
// and every missing level of the folder, through the store's folder
// operation; without, changes nothing. 0, or the exit code with the reason
// written to `err`.
int MakeTargetFolder(const FolderRequest& target, bool create, std::ostream& err);

}  // namespace tw::cli
