// Reading and writing a mailbox's activity file, "_activity.tab": one
// listener per line, lines separated by "\n", no line end after the last.
#pragma once
#include <cstdio>
#include <deque>
#include <string>

#include "notify/notification_entry.h"

namespace tw {

inline constexpr const char* kActivityFile = "_activity.tab";
inline constexpr const char* kActivityTempFile = "_activity.tmp";
inline constexpr const char* kActivityBlockFile = "_activity.blk";
// Lines are read in pieces of at most this many characters.
inline constexpr size_t kActivityLineCapacity = 1023;

// The next piece of a line: up to and with its "\n", at most
// kActivityLineCapacity characters. False at the end of the stream.
bool ReadActivityPiece(FILE* stream, std::string& piece);

// The piece as a line: cut at a NUL, without its line end ("\n", and a "\r"
// before it). Empty when it holds no entry.
std::string ActivityLineText(const std::string& piece);

// Every entry of the stream in notification order: entries whose verb is
// not X-LISTEN first, last line first, then the X-LISTEN entries in file
// order.
std::deque<NotificationEntry> ReadActivityEntries(FILE* stream);

// Writes one entry as FormatActivityLine gives it. False on a write error.
bool WriteActivityEntry(FILE* stream, const NotificationEntry& entry, bool first);

}  // namespace tw
