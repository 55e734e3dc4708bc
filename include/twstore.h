/* The message store's flat C interface.
 *
 * Every function returns an unsigned 32-bit result: 1 success and 0 failure
 * unless its comment says otherwise. Records are allocated by the caller;
 * their layout is fixed and checked below. Texts are 8-bit and
 * NUL-terminated. Blocks the library hands out are freed with Memory_Free. */
#ifndef TWSTORE_H
#define TWSTORE_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define TWSTORE_API __attribute__((visibility("default")))
#else
#define TWSTORE_API
#endif

#ifdef __cplusplus
#define TWSTORE_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define TWSTORE_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* ---- Records --------------------------------------------------------- */

/* One item as the exported calls hand it out. Texts are cut to their field
 * and always terminated. */
typedef struct StoreItemRecord {
  char subject[4096];
  char flags[1024];
  char from[512];
  char to[24000];
  char cc[24000];
  uint32_t size;
  char reserved[128]; /* never written by the store */
  uint32_t attachments;
  char received[64];
  char messageDate[64];
  uint32_t uid;
  uint32_t seq;
  uint32_t idx;
  uint32_t importance;
} StoreItemRecord;

TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, subject) == 0, "StoreItemRecord.subject");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, flags) == 4096, "StoreItemRecord.flags");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, from) == 5120, "StoreItemRecord.from");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, to) == 5632, "StoreItemRecord.to");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, cc) == 29632, "StoreItemRecord.cc");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, size) == 53632, "StoreItemRecord.size");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, reserved) == 53636, "StoreItemRecord.reserved");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, attachments) == 53764, "StoreItemRecord.attachments");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, received) == 53768, "StoreItemRecord.received");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, messageDate) == 53832, "StoreItemRecord.messageDate");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, uid) == 53896, "StoreItemRecord.uid");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, seq) == 53900, "StoreItemRecord.seq");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, idx) == 53904, "StoreItemRecord.idx");
TWSTORE_STATIC_ASSERT(offsetof(StoreItemRecord, importance) == 53908, "StoreItemRecord.importance");
TWSTORE_STATIC_ASSERT(sizeof(StoreItemRecord) == 53912, "StoreItemRecord size");

/* One open folder index, allocated by the caller and prepared with
 * StoreIndex_Init. The index, current item and record lock belong to the
 * library: leave them alone, and end with StoreIndex_Release. */
typedef struct STOREINDEXTYPE {
  char reserved[1024];
  char postoffice[1024];
  char mailbox[1024];
  char folder[1024];      /* relative to the mailbox, e.g. "\\Inbox" */
  uint32_t itemCount;
  uint32_t initialised;   /* set by StoreIndex_Init */
  void* index;
  char folderPath[1024];  /* the folder's directory, from StoreIndex_SetPaths */
  uint32_t changed;
  uint32_t spare;
  uint32_t lastUid;
  uint32_t reserved2;
  void* currentItem;
  uint32_t indexFileSize;
  uint32_t folderType;    /* 0 mail, 1 contacts, 2 calendar, 3 tasks, 4 file root, 54 contact groups */
  uint32_t openCount;
  uint32_t folderDetails[13];
  uintptr_t blockHandle;
  void* recordLock;
  uint64_t lockOwner;
} STOREINDEXTYPE;

TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, postoffice) == 1024, "STOREINDEXTYPE.postoffice");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, mailbox) == 2048, "STOREINDEXTYPE.mailbox");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, folder) == 3072, "STOREINDEXTYPE.folder");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, itemCount) == 4096, "STOREINDEXTYPE.itemCount");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, initialised) == 4100, "STOREINDEXTYPE.initialised");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, index) == 4104, "STOREINDEXTYPE.index");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, folderPath) == 4112, "STOREINDEXTYPE.folderPath");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, changed) == 5136, "STOREINDEXTYPE.changed");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, spare) == 5140, "STOREINDEXTYPE.spare");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, lastUid) == 5144, "STOREINDEXTYPE.lastUid");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, currentItem) == 5152, "STOREINDEXTYPE.currentItem");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, indexFileSize) == 5160, "STOREINDEXTYPE.indexFileSize");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, folderType) == 5164, "STOREINDEXTYPE.folderType");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, openCount) == 5168, "STOREINDEXTYPE.openCount");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, folderDetails) == 5172, "STOREINDEXTYPE.folderDetails");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, blockHandle) == 5224, "STOREINDEXTYPE.blockHandle");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, recordLock) == 5232, "STOREINDEXTYPE.recordLock");
TWSTORE_STATIC_ASSERT(offsetof(STOREINDEXTYPE, lockOwner) == 5240, "STOREINDEXTYPE.lockOwner");
TWSTORE_STATIC_ASSERT(sizeof(STOREINDEXTYPE) == 5248, "STOREINDEXTYPE size");

/* One folder of a mailbox, as the folder operations take it (this layout
 * also travels over the remote-administration link). */
typedef struct FolderRecord {
  char mailbox[512];
  char postoffice[512];
  char path[1024];     /* parent path below the mailbox ("\\" or "/" at the top), or a special prefix */
  char name[512];      /* the folder's name below the path; enumeration writes names here */
  uint32_t total;      /* StoreFolderGet's result, in bytes or kilobytes */
  uint8_t reserved[12];
} FolderRecord;

TWSTORE_STATIC_ASSERT(offsetof(FolderRecord, mailbox) == 0, "FolderRecord.mailbox");
TWSTORE_STATIC_ASSERT(offsetof(FolderRecord, postoffice) == 512, "FolderRecord.postoffice");
TWSTORE_STATIC_ASSERT(offsetof(FolderRecord, path) == 1024, "FolderRecord.path");
TWSTORE_STATIC_ASSERT(offsetof(FolderRecord, name) == 2048, "FolderRecord.name");
TWSTORE_STATIC_ASSERT(offsetof(FolderRecord, total) == 2560, "FolderRecord.total");
TWSTORE_STATIC_ASSERT(offsetof(FolderRecord, reserved) == 2564, "FolderRecord.reserved");
TWSTORE_STATIC_ASSERT(sizeof(FolderRecord) == 2576, "FolderRecord size");

/* ---- Library lifecycle and memory ------------------------------------- */

/* Reads the settings and prepares the per-thread slots. Runs by itself when
 * the library is loaded; a host may call it again to re-read the settings. */
TWSTORE_API uint32_t StoreLibrary_Init(void);
/* Releases the calling thread's open index and ends use of the library. */
TWSTORE_API uint32_t StoreLibrary_UnInit(void);
/* Nothing to do: thread state is made on first use. */
TWSTORE_API uint32_t StoreLibrary_ThreadInit(void);
/* Releases the calling thread's state (its open index only with thread
 * affinity on). */
TWSTORE_API uint32_t StoreLibrary_ThreadRelease(void);
/* Mode 1 turns thread affinity on; any other value turns it off. */
TWSTORE_API uint32_t StoreLibrary_SetAffinity(uint32_t mode);

/* A block from the heap the library hands its blocks out of; NULL when none. */
TWSTORE_API void* Memory_Allocate(uint64_t size);
/* Frees a block; NULL is accepted. Always 1. */
TWSTORE_API uint32_t Memory_Free(void* block);
/* There is no logging module to forward to: always 0. */
TWSTORE_API uint32_t SetLoggingFunction(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d);

/* ---- Block files ------------------------------------------------------ */

/* Takes a folder's block file: holdHandle 1 keeps it open (the handle comes
 * back in *handle), 0 leaves a marker file (*handle = 0). 0 when it could
 * not be taken (*handle untouched). */
TWSTORE_API uint32_t WaitForAccessToIndexFileEx(const char* blockFilePath, uint32_t holdHandle, uintptr_t* handle);
/* Releases a block file (holdHandle 1 closes *handle first and sets it to
 * 0). 1 when the file was deleted, 0 otherwise. */
TWSTORE_API uint32_t UnBlockIndexFileAccessEx(const char* blockFilePath, uint32_t holdHandle, uintptr_t* handle);

/* ---- Store index ------------------------------------------------------ */

/* Clears the record and prepares the objects it keeps. */
TWSTORE_API uint32_t StoreIndex_Init(STOREINDEXTYPE* record);
/* Fills folderPath (creating missing directories) and the folder type. */
TWSTORE_API uint32_t StoreIndex_SetPaths(STOREINDEXTYPE* record);
/* Mode 1 (or 6): new-mail and dirt checks, rebuild if needed, then reuse or
 * load; 4: as 1 without notifying first; 2: rebuild, then load; 5: load.
 * 1 loaded, 2 reused the index in memory, 0 failed. */
TWSTORE_API uint32_t StoreIndex_Open(STOREINDEXTYPE* record, uint32_t mode);
/* Rebuilds the index from the folder's files. */
TWSTORE_API uint32_t StoreIndex_Scan(STOREINDEXTYPE* record);
/* Makes sure the index is loaded. */
TWSTORE_API uint32_t StoreIndex_Get(STOREINDEXTYPE* record);
/* Copies the item with this ID (detail level as for the record). */
TWSTORE_API uint32_t GetStoreItemByMessageID(STOREINDEXTYPE* record, const char* id, int32_t detailLevel, StoreItemRecord* item);
/* Indexes one message file of the folder. */
TWSTORE_API uint32_t StoreIndex_InsertItem(STOREINDEXTYPE* record, const char* fileName, int32_t option);
/* Removes the comma-separated IDs from the index (files stay). */
TWSTORE_API uint32_t StoreIndex_RemoveItem(STOREINDEXTYPE* record, const char* ids, int32_t option);
/* Writes the index file under the folder's block. */
TWSTORE_API uint32_t StoreIndex_Save(STOREINDEXTYPE* record);
/* Empties the index and frees what the record keeps; does not save. */
TWSTORE_API uint32_t StoreIndex_Release(STOREINDEXTYPE* record);

/* Sets one property of an item (item: a handle the library gave out; NULL
 * means the record's current item); with a record, the item of this ID is
 * found or created. Mail items take PR_ names. */
TWSTORE_API uint32_t StoreIndex_SetItemPropertyItem(STOREINDEXTYPE* record, void* item, const char* id, const char* name, const char* value);
/* Reads one property into a new block (free with Memory_Free): 2 with a
 * value, 0xFFFFFFFF with none. */
TWSTORE_API uint32_t StoreIndex_GetItemPropertyItem(void* item, const char* name, void** value, uint32_t* length);

/* Index the listed message files (comma-separated) of a folder without a
 * record; InsertItemEx gives each its initial flags (comma-separated, in
 * the same order). 1 on success. */
TWSTORE_API int32_t Direct_StoreIndex_InsertItem(const char* postoffice, const char* mailbox, const char* folder, const char* ids);
TWSTORE_API int32_t Direct_StoreIndex_InsertItemEx(const char* postoffice, const char* mailbox, const char* folder, const char* ids, const char* flags);
/* change: "SIZE=n", or flag words ("+\\SEEN -\\FLAGGED"; unsigned words replace). */
TWSTORE_API int32_t Direct_StoreIndex_UpdateItem(const char* postoffice, const char* mailbox, const char* folder, const char* ids, const char* change);
TWSTORE_API int32_t Direct_StoreIndex_RemoveItem(const char* postoffice, const char* mailbox, const char* folder, const char* ids);

/* ---- Message indexing and folder counters -------------------------- */

/* Rebuilds a folder's index from its files and writes it. */
TWSTORE_API uint32_t ScanFolders(const char* folderPath);
/* Reads the folder's 13 counter words (_FOLDER.DAT); 0 (all words 0) when
 * nothing could be read. */
TWSTORE_API uint32_t GetCachedStatus(const char* postoffice, const char* mailbox, const char* folderName, uint32_t* details);
/* Writes the folder's 13 counter words; 0 when a name is empty. */
TWSTORE_API uint32_t SetCachedStatus(const char* postoffice, const char* mailbox, const char* folderName, const uint32_t* details);

/* ---- Item access --------------------------------------------------------
 * The calling thread opens one folder (or one item) and works through its
 * current item. Opened indexes are shared through a process-wide cache:
 * with thread affinity on (the default) each thread has its own, with it
 * off threads share one per folder. Folder type 5 is a calendar file. */

/* 1 opened; 2 already open on this thread, or mode 200 (nothing loaded);
 * 0 failure. */
TWSTORE_API uint32_t StoreFolder_Open(const char* postoffice, const char* mailbox, const char* folder, uint32_t folderType, int32_t openMode);
/* 1 opened; 2 the same item was open and loaded already; 0 failure. */
TWSTORE_API uint32_t StoreFolder_OpenItem(const char* postoffice, const char* mailbox, const char* folder, const char* itemId, uint32_t folderType);
/* Closes one nesting level of the thread's open folder. 1. */
TWSTORE_API uint32_t StoreFolder_Close(void);
/* Commits the thread's open index (changed items are written back first). 1. */
TWSTORE_API uint32_t StoreFolder_Save(uint32_t ignored);
/* Commits every cached index. 1. */
TWSTORE_API uint32_t Store_Save(uint32_t ignored);
/* Walks the items in ascending UID order: 1 while an item is current. */
TWSTORE_API uint32_t StoreFolder_FindFirstItem(void);
TWSTORE_API uint32_t StoreFolder_FindNextItem(void);
/* Ends a walk and releases the folder, forgetting its names. 1. */
TWSTORE_API uint32_t StoreFolder_FindClose(void);
/* 1 when the item was found and is now current. */
TWSTORE_API uint32_t StoreFolder_SelectItem(const char* itemId);
/* The first item (by UID) whose index property equals the value, without
 * regard to case (_Ex: byte for byte when exact is nonzero). */
TWSTORE_API uint32_t StoreFolder_SelectItemByField(const char* propertyName, const char* value);
TWSTORE_API uint32_t StoreFolder_SelectItemByField_Ex(const char* propertyName, const char* value, uint32_t exact);
/* The item of that ID (made when missing) becomes current; 0 when the
 * index is not loaded. */
TWSTORE_API uint32_t StoreFolder_CreateItem(const char* itemId);
/* Removes the item from the index and its file from the folder. */
TWSTORE_API uint32_t StoreFolder_DeleteItem(const char* itemId);
/* 1 when the current item had changes and was written back. */
TWSTORE_API uint32_t StoreFolder_CommitItem(void);
/* 2 with a new block (free with StoreItem_FreeProperty or Memory_Free) and
 * its length; 0 no open folder; 0xFFFFFFFF no mapping, value or conversion. */
TWSTORE_API uint32_t StoreItem_GetProperty(const char* propertyName, void** value, uint32_t* length);
/* Sets a property of the item (empty ID: the current item), made when
 * missing. 1 set, 0 not. */
TWSTORE_API uint32_t StoreItem_SetProperty(const char* itemId, const char* propertyName, const char* value);
TWSTORE_API void StoreItem_FreeProperty(void* value);
/* Writes the current item back to its own file (contacts and calendar). 1. */
TWSTORE_API uint32_t StoreItem_SaveToStore(void);
/* The value type a property is handed out with in a folder of this type:
 * types 0 to 4 use their own table (1 for a name it lacks); any other type
 * tries the mail, contact and calendar tables (0 for a name none has). */
TWSTORE_API uint32_t StoreItemProperty_GetType(const char* propertyName, uint32_t folderType);

/* ---- Folder operations ---------------------------------------------------- */

/* Creates the folder the record names (the parent must exist); non-zero
 * when made. "Public" at the top level is refused while public folders are
 * enabled, and so is a name a folder there has in any letter case. */
TWSTORE_API uint32_t StoreFolderAdd(FolderRecord* record);
/* Removes the folder the record names with everything in it; 1 when
 * removed. Refused (0): a "Public" path, the mailbox root itself, a tree in
 * which another live process holds a block file. The folder's shares go
 * with it. */
TWSTORE_API uint32_t StoreFolderRemove(FolderRecord* record);
/* Moves or renames the old record's folder to the new record's place; 1
 * when moved. Refused (0): a "Public" path, a destination that exists in
 * any letter case, a tree in which another live process holds a block
 * file, a destination inside the source. */
TWSTORE_API uint32_t StoreFolderEdit(FolderRecord* oldRecord, FolderRecord* newRecord);
/* Copies the source record's folder tree to the destination record's place
 * (which must not exist in any letter case); block files and access lists
 * are not copied. 1 when copied. */
TWSTORE_API uint32_t StoreFolderCopy(FolderRecord* source, FolderRecord* destination);
/* The tree's size into record->total (bytes; _Ex with kilobytes 1: each
 * folder's kilobytes, rounded down), saturating at 4294967295. 1. */
TWSTORE_API uint32_t StoreFolderGet(FolderRecord* record);
TWSTORE_API uint32_t StoreFolderGet_Ex(FolderRecord* record, uint32_t kilobytes);
TWSTORE_API uint32_t StoreFolderGetSize(FolderRecord* record);
/* The sub-folders of the record's folder, one name at a time into
 * record->name, through the thread's own folder list. */
TWSTORE_API uint32_t StoreFolderFindFirst(FolderRecord* record);
TWSTORE_API uint32_t StoreFolderFindNext(FolderRecord* record);
TWSTORE_API uint32_t StoreFolderFindClose(FolderRecord* record);
/* Rebuilds the folder index (_folder.xml) of the record's folder. */
TWSTORE_API uint32_t StoreFolder_ReIndexChildFolders(FolderRecord* record);
/* The last write of the folder's _index.xml as a packed MS-DOS date (high
 * half) and time; 0 while _CHANGE.DTY marks pending changes, or without an
 * index. */
TWSTORE_API uint32_t StoreFolder_GetContentsModificationDate(const FolderRecord* record);
/* The same for the folder's _folder.xml. */
TWSTORE_API uint32_t StoreFolder_GetHierarchyModificationDate(const FolderRecord* record);
/* The highest count among the mailbox's "_<n>.NEW" delivery counters, all
 * of which are deleted; 0 when there are none. */
TWSTORE_API uint32_t StoreGetDeliveredMessageCount(const FolderRecord* record);

/* ---- Folder lists ----------------------------------------------------- */

/* A folder list caches the parsed folder indexes its enumerations read.
 * Calls given no list (NULL) use the calling thread's own. */
typedef struct TwFolderList TwFolderList;

/* Stores a new empty list in *place (NULL when memory is short). 1. */
TWSTORE_API uint32_t CreateTLSFolderList(TwFolderList** place);
/* Prepares the list for use. 1. */
TWSTORE_API uint32_t InitTLSFolderList(TwFolderList* list);
/* Drops everything the list holds. 1. */
TWSTORE_API uint32_t UnInitTLSFolderList(TwFolderList* list);
/* Frees the list in *place and clears the place; an empty place is fine. 1. */
TWSTORE_API uint32_t FreeTLSFolderList(TwFolderList** place);
/* The sub-folders of the folder record->path names, in ascending byte
 * order, one per call in record->name. The folder index is rebuilt first
 * when it is missing or out of date. verify nonzero: only names that are
 * directories now. 1 with a name; 0 at the end, or when the folder index
 * cannot be read (a malformed one is deleted, and rebuilt next time). */
TWSTORE_API uint32_t TLS_StoreFolderFindFirst(FolderRecord* record, TwFolderList* list, uint8_t verify);
/* The next name; 0 at the end (record->name is then unchanged). */
TWSTORE_API uint32_t TLS_StoreFolderFindNext(FolderRecord* record, TwFolderList* list, uint8_t verify);
/* With a list: drops what it holds; without: empties the thread's list. 1. */
TWSTORE_API uint32_t TLS_StoreFolderFindClose(FolderRecord* record, TwFolderList* list);

/* ---- Index texts ------------------------------------------------------ */

/* Copies the text between startTag and the endTag after it into buffer
 * (at most bufferSize - 1 bytes, always terminated) and returns where the
 * text goes on after the end tag; NULL when either tag is missing. An empty
 * startTag matches at the start; with an empty endTag the rest of the text
 * from the start tag on is copied and NULL returned. */
TWSTORE_API const char* GetXMLDataEx(const char* text, const char* startTag, const char* endTag, char* buffer, uint32_t bufferSize);

/* ---- Dates ---------------------------------------------------------- */

/* Writes the file time (100-nanosecond intervals since 1 January 1601 UTC)
 * of a Unix time: (unixTime + 11644473600) * 10000000. 1; 0 when fileTime
 * is NULL. */
TWSTORE_API uint32_t UnixTimeToFileTime(int32_t unixTime, uint64_t* fileTime);
/* The Unix time of a file time, in whole seconds truncated toward zero;
 * signed and 64 bits wide, so that times before 1970 and after 2038 come
 * back whole (2^64 - 1 gives 1833029933770). 0 when fileTime is NULL. */
TWSTORE_API int64_t UnixTimeFromFileTime(const uint64_t* fileTime);

/* ---- Mailbox shares --------------------------------------------------- */

/* Removes every share listed in the mailbox's _Shares.xml, with the shares
 * of the folders below each shared folder: from that file and from the
 * security file of every user on the shared folders' access lists. 1 when
 * every file needed was loaded and written; 0 otherwise (what could be done
 * is done). */
TWSTORE_API uint32_t RemoveMailboxShares(const char* mailbox, const char* postoffice);

/* ---- Remote administration ------------------------------------------- */

/* Names the host (a key under HKEY_CURRENT_USER\...\Administration\Hosts)
 * on which the forwarded folder calls run from the next call on; at most
 * 1023 characters are kept. An empty name or NULL runs them here again,
 * unless "ForceDefaultHost" names the host "Default"; "127.0.0.1" runs them
 * here too. Always 1. */
TWSTORE_API uint32_t SetCurrentHost(const char* host);

#ifdef __cplusplus
}
#endif

#endif /* TWSTORE_H */
