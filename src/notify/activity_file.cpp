#include "notify/activity_file.h"

namespace tw {

bool ReadActivityPiece(FILE* stream, std::string& piece) {
  piece.clear();
  int c;
  while (piece.size() < kActivityLineCapacity && (c = std::fgetc(stream)) != EOF) {
    piece += static_cast<char>(c);
    if (c == '\n') break;
  }
  return !piece.empty();
}

std::string ActivityLineText(const std::string& piece) {
  std::string line(piece.c_str());
  if (!line.empty() && line.back() == '\n') line.pop_back();
  // Written on Windows in text mode, a line ends with CR LF.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::deque<NotificationEntry> ReadActivityEntries(FILE* stream) {
  std::deque<NotificationEntry> entries;
  std::string piece;
  while (ReadActivityPiece(stream, piece)) {
    const std::string line = ActivityLineText(piece);
    if (line.empty()) continue;
    NotificationEntry entry = ParseActivityLine(line);
    if (entry.verb == kListenVerb)
      entries.push_back(std::move(entry));
    else
      entries.push_front(std::move(entry));
  }
  return entries;
}

bool WriteActivityEntry(FILE* stream, const NotificationEntry& entry, bool first) {
  const std::string line = FormatActivityLine(entry, first);
  return std::fwrite(line.data(), 1, line.size(), stream) == line.size();
}

}  // namespace tw
