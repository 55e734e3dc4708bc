// Index items made from message files: the properties a header gives, the
// narrower refresh of an item whose file changed, and the indexing of one
// file of a mail folder.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "index/messages/message_header.h"

namespace tw {

class IndexItemPropertyContainer;
class SORTEDSTOREINDEXTYPE;
class TextArena;

// Message file names of this many characters or more are never indexed.
inline constexpr size_t kMessageNameLimit = 64;

// A name that may be indexed: not empty, shorter than the limit, without
// separators and not "." or "..".
bool IsIndexableMessageName(std::string_view name);

// ID and UID, then (unless `placeholder`) every property the header gives:
// MESSAGEDATE, MODIFIEDDATE, IMPORTANCE, FLAGSTATUS (READ follows it),
// ATTACHMENTS, FROM, TO, CC, SUBJECT, RECEIVED, READ, STATE, CLASS,
// CATEGORIES and SIZE. With `arena` (the text arena of the index the item
// goes into) the texts are kept there instead of in a block each.
void SetItemFromHeader(IndexItemPropertyContainer& item, const MessageHeaderInfo& info, bool placeholder,
                       TextArena* arena = nullptr);

// An item whose file changed keeps its flags: only MESSAGEDATE, SUBJECT,
// RECEIVED, MODIFIEDDATE, ATTACHMENTS, READ and SIZE are set again (READ
// stays 1 while the kept flags hold SEEN). An item that never had a
// MODIFIEDDATE gets every property but ID and UID again.
void RereadItemFromHeader(IndexItemPropertyContainer& item, const MessageHeaderInfo& info);

// The MODIFIEDDATE an item holds, as the unsigned DOS date and time.
uint32_t ItemModifiedDate(const IndexItemPropertyContainer& item);
// MODIFIEDDATE follows the item file's last-write time (the file named by
// the item's ID in `folder`); an item without a file keeps its date.
void RefreshModifiedDate(IndexItemPropertyContainer& item, const std::string& folder);

// The FLAGSTATUS a header gives: "\RECENT" for no initial flags, else the
// initial flags with SEEN (read) or RECENT added.
std::string FlagStatusFromHeader(const MessageHeaderInfo& info);

// Indexes the message file `fileName` of the mail folder `folderPath` and
// appends it to the index. Modes 1 and 2 read the header (initial flags:
// `initialFlags`, emptied first when `clearFlags`; "SIZE=n" flags give the
// size n and no flags); other modes make a placeholder with ID and UID only.
// Returns the inserted item (owned by the index), or null when the name is
// not indexable, the file cannot be opened or the ID is already indexed.
IndexItemPropertyContainer* IndexMessageFile(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath,
                                             const std::string& fileName, int32_t mode, const char* initialFlags,
                                             bool clearFlags);

// The folder's UID validity: the low 32 bits of the creation time of its
// directory as its "." entry reports it; 0 when it cannot be read.
uint32_t FolderUidValidity(const std::string& folderPath);

}  // namespace tw
