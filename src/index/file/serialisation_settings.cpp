#include "index/file/serialisation_settings.h"

#include <atomic>
#include <string>

#include "frame/registry_access.h"
#include "index/locking/block_settings.h"

namespace tw {
namespace {

std::atomic<uint32_t> g_streamLoad{kNotReadYet};
std::atomic<uint32_t> g_streamSave{kNotReadYet};
std::atomic<uint32_t> g_oldFormat{kNotReadYet};
std::atomic<uint32_t> g_backup{kNotReadYet};
std::atomic<uint32_t> g_backupInterval{kNotReadYet};
std::atomic<uint32_t> g_calendarReIndex{kNotReadYet};
std::atomic<uint32_t> g_validUtf8{kNotReadYet};
std::atomic<uint32_t> g_gcThreshold{kNotReadYet};
std::atomic<uint32_t> g_timestampFile{kNotReadYet};
std::atomic<uint32_t> g_xmlVersion{kNotReadYet};
std::atomic<uint32_t> g_flushJournal{kNotReadYet};

uint32_t Root(std::atomic<uint32_t>& cache, const char* name, uint32_t fallback) {
  return ReadDwordOnce(cache, kRegistryRoot, name, fallback);
}

}  // namespace

bool UseStreamDeserialisation() { return Root(g_streamLoad, "Use XML Stream Index Deserialisation", 0) == 1; }
bool UseStreamSerialisation() { return Root(g_streamSave, "Use XML Stream Index Serialisation", 0) == 1; }
bool MsxmlProducesOldFormat() { return Root(g_oldFormat, "MSXML Index Serialisation Produces Old Format", 1) == 1; }
bool BackupIndexOn() { return Root(g_backup, "Backup Index", 0) == 1; }
uint32_t BackupIndexInterval() { return Root(g_backupInterval, "Backup Index Interval", 370); }
uint32_t CalendarReIndexMode() { return Root(g_calendarReIndex, "Calendar ReIndex Mode", 0); }
bool IndexRequiresValidUtf8() { return Root(g_validUtf8, "Index Requires Valid UTF8", 1) == 1; }
uint32_t GarbageCollectionThreshold() { return Root(g_gcThreshold, "Index Garbage Collection Threshold", 500); }
bool FlushIndexJournal() { return Root(g_flushJournal, "Flush Index Journal", 0) == 1; }

bool TimestampFileOn() {
  return ReadDwordOnce(g_timestampFile, std::string(kRegistryRoot) + "\\SERVICES\\IMAP", "Timestamp file", 0) == 1;
}

uint32_t XmlVersion() {
  uint32_t version = g_xmlVersion.load(std::memory_order_relaxed);
  if (version == kNotReadYet) {
    std::string text;
    ReadRegistryString(kStoreProviderKey, "XML Version", text);
    const char first = text.empty() ? '0' : text[0];
    version = first == '4' ? 4 : first == '6' ? 6 : 3;
    g_xmlVersion.store(version, std::memory_order_relaxed);
  }
  return version;
}

void ResetSerialisationSettingsCache() {
  for (auto* cache : {&g_streamLoad, &g_streamSave, &g_oldFormat, &g_backup, &g_backupInterval, &g_calendarReIndex,
                      &g_validUtf8, &g_gcThreshold, &g_timestampFile, &g_xmlVersion, &g_flushJournal})
    cache->store(kNotReadYet, std::memory_order_relaxed);
}

}  // namespace tw
