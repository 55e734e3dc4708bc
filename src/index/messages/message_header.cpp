#include "index/messages/message_header.h"

#include <cstring>

#include "common/text.h"
#include "index/messages/header_line_reader.h"
#include "index/messages/header_parser.h"
#include "platform/file_head.h"
#include "platform/files.h"

namespace tw {

void MessageHeaderInfo::Reset() {
  headerText.clear();
  to.clear();
  cc.clear();
  from[0] = fromFallback[0] = replyTo[0] = messageId[0] = fileName[0] = '\0';
  hasAttachments = 0;
  receivedDate[0] = messageDate[0] = subject[0] = messageClass[0] = '\0';
  read = 0;
  size = 0;
  initialFlags.clear();
  expectedUidValidity = 0;
  priority = 3;
  uidFromFile = 0;
  fileTime = 0;
  categories.clear();
}

void SetBounded(char* dest, size_t capacity, std::string_view text) {
  if (capacity == 0) return;
  dest[0] = '\0';
  AppendBounded(dest, capacity, text);
}

void AppendBounded(char* dest, size_t capacity, std::string_view text) {
  if (capacity == 0) return;
  const size_t held = strnlen(dest, capacity - 1);
  const size_t room = capacity - 1 - held;
  const size_t n = text.size() < room ? text.size() : room;
  std::memcpy(dest + held, text.data(), n);
  dest[held + n] = '\0';
}

void AddFlagWord(std::string& flags, std::string_view word) {
  const std::string_view bare = !word.empty() && word[0] == '\\' ? word.substr(1) : word;
  if (bare.empty() || ContainsNoCase(flags, bare)) return;
  if (!flags.empty()) flags += ' ';
  flags += '\\';
  flags.append(bare);
}

void ParseHeaderText(std::string_view text, MessageHeaderInfo& info, const HeaderParseOptions& options) {
  HeaderLineReader reader(text);
  ParseHeaderLines(reader, info, options);
}

int32_t ParseHeaders(const std::string& path, MessageHeaderInfo& info, const HeaderParseOptions& options) {
  // A scan reads thousands of headers: the light read-only open keeps the
  // sharing rule at a fraction of a full open's system calls, and its one
  // fstat gives the size and time when the listing did not.
  platform::FileInfo facts;
  platform::FileHandle file = platform::OpenForReading(path, &facts);
  if (!file.IsOpen()) return 0;
  ParseOpenHeaders(file, facts, info, options);
  return 1;
}

void ParseOpenHeaders(platform::FileHandle& file, const platform::FileInfo& facts, MessageHeaderInfo& info,
                      const HeaderParseOptions& options) {
  const uint64_t lastWrite = options.haveFileFacts ? options.lastWriteTime : facts.lastWriteTime;
  const uint64_t size = options.haveFileFacts ? options.fileSize : facts.size;
  info.fileTime = platform::FileTimeToDosDateTime(lastWrite);
  info.size = size > 0x7FFFFFFFull ? 0x7FFFFFFF : static_cast<int32_t>(size);
  // A file that grew since the listing (or the open) is read as far as that
  // size; its new size makes the next scan read it again. Headers longer
  // than one buffer, and the body search for attachments, read on.
  HeaderLineReader reader(file, size);
  ParseHeaderLines(reader, info, options);
}

}  // namespace tw
