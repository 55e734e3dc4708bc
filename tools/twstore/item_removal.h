// Taking items out of a folder: `remove` with the IDs an operator lists,
// `expunge` with the items flagged \DELETED.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "mail_folder.h"

namespace tw::cli {

// Removes the items (IDs out of the folder's index) from the index in
// batches and, with `deleteFiles`, deletes their message files. Prints what
// it did; returns the exit code.
int RemoveIndexedItems(const MailFolder& folder, const std::vector<std::string>& ids, bool deleteFiles,
                       std::ostream& out, std::ostream& err);

// The IDs of the folder's items whose flags hold the word \DELETED, in UID
// order. False when the index cannot be opened.
bool DeletedItemIds(const MailFolder& folder, std::vector<std::string>& ids);

}  // namespace tw::cli
