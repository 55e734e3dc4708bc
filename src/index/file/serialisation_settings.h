// Registry values that choose and tune the index serialisers, each read
// once per process (a value counts as on only when it is exactly 1).
#pragma once
#include <cstdint>

namespace tw {

bool UseStreamDeserialisation();     // "Use XML Stream Index Deserialisation", default 0
bool UseStreamSerialisation();       // "Use XML Stream Index Serialisation", default 0
bool MsxmlProducesOldFormat();       // "MSXML Index Serialisation Produces Old Format", default 1
bool BackupIndexOn();                // "Backup Index", default 0
uint32_t BackupIndexInterval();      // "Backup Index Interval", minutes, default 370
uint32_t CalendarReIndexMode();      // "Calendar ReIndex Mode", default 0
bool IndexRequiresValidUtf8();       // "Index Requires Valid UTF8", default 1
uint32_t GarbageCollectionThreshold();  // "Index Garbage Collection Threshold", default 500
bool TimestampFileOn();              // "Timestamp file" under SERVICES\IMAP, default 0
bool FlushIndexJournal();            // "Flush Index Journal", default 0
// "XML Version" (text under Providers\Store): 3, 4 or 6.
uint32_t XmlVersion();

// Forgets every cached value so that the next use reads the registry again.
void ResetSerialisationSettingsCache();

}  // namespace tw
