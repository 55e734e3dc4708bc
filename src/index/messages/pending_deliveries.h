// Deliveries under way in a mail folder. Before a deliverer renames a
// message into the folder it writes the message's name and flags to
// `_pending.dlv`; once the message is indexed the line goes. A delivery
// killed in between leaves its line behind, so the next open knows there is
// a message to index, and with which flags, without listing the folder.
// The file is written only under the folder's index block.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace tw {

inline constexpr const char* kPendingDeliveriesFile = "_pending.dlv";

// One stat: whether any delivery may be waiting to be indexed.
bool HasPendingDeliveries(const std::string& folderPath);

// Message name -> flags of every complete line; a line cut short by a kill,
// or not naming a message file, is ignored.
std::map<std::string, std::string> ReadPendingDeliveries(const std::string& folderPath);

// Adds a line for `name`; false when it could not be written (the delivery
// must not go on then).
bool RecordPendingDelivery(const std::string& folderPath, const std::string& name, const std::string& flags);

// Drops the lines of `names`; the file goes with its last line.
void ForgetPendingDeliveries(const std::string& folderPath, const std::vector<std::string>& names);

// Drops every line: an indexing that saw every file has settled them all.
void ClearPendingDeliveries(const std::string& folderPath);

}  // namespace tw
