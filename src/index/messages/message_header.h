// What the index needs from one message file's header lines. The texts with
// a fixed capacity are cut to it and always terminated; one info can be
// reused for many files (Reset keeps the capacity of its growable texts).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::platform {
class FileHandle;
struct FileInfo;
}  // namespace tw::platform

namespace tw {

inline constexpr size_t kHeaderAddressCapacity = 512;  // from, reply-to, message id
inline constexpr size_t kHeaderFileNameCapacity = 64;
inline constexpr size_t kHeaderDateCapacity = 64;
inline constexpr size_t kHeaderSubjectCapacity = 1024;
inline constexpr size_t kHeaderClassCapacity = 128;
// Header lines examined at most; the rest of a longer header is not read.
inline constexpr int kHeaderLineCount = 301;

struct MessageHeaderInfo {
  std::string headerText;  // every header line as read, line ends included
  std::string to;
  std::string cc;
  char from[kHeaderAddressCapacity] = {};
  char fromFallback[kHeaderAddressCapacity] = {};  // "Unknown" when From: is empty
  char replyTo[kHeaderAddressCapacity] = {};
  char messageId[kHeaderAddressCapacity] = {};
  char fileName[kHeaderFileNameCapacity] = {};
  int32_t hasAttachments = 0;
  char receivedDate[kHeaderDateCapacity] = {};
  char messageDate[kHeaderDateCapacity] = {};
  char subject[kHeaderSubjectCapacity] = {};
  int32_t read = 0;
  int32_t size = 0;
  char messageClass[kHeaderClassCapacity] = {};
  std::string initialFlags;
  uint32_t expectedUidValidity = 0;
  int32_t priority = 3;
  uint32_t uidFromFile = 0;
  uint32_t fileTime = 0;  // last-write time as MS-DOS date (high half) and time
  std::string categories;

  // Back to the state of a new info.
  void Reset();
};

struct HeaderParseOptions {
  bool clearInitialFlags = false;
  // Reads "X-UID:" lines against expectedUidValidity.
  bool checkUids = false;
  // "X-Read: 1" also adds SEEN to the initial flags.
  bool seenFromXRead = true;
  // multipart/alternative counts as having attachments.
  bool alternativeHasAttachments = false;
  // Keeps the header lines in info.headerText; a scan, which never looks at
  // them, saves copying every header.
  bool keepHeaderText = true;
  // The file's last-write time and size when a directory listing already
  // gave them (saves asking the file again); otherwise the open file is asked.
  bool haveFileFacts = false;
  uint64_t lastWriteTime = 0;
  uint64_t fileSize = 0;
};

// Parses the header of the file at `path` into `info`, and fills its file
// time and size. 0 when the file cannot be opened, else 1.
int32_t ParseHeaders(const std::string& path, MessageHeaderInfo& info, const HeaderParseOptions& options);

// The same for a file already open for reading; `facts` are the open file's
// (OpenForReading fills them), used unless `options` give the facts.
void ParseOpenHeaders(platform::FileHandle& file, const platform::FileInfo& facts, MessageHeaderInfo& info,
                      const HeaderParseOptions& options);

// The same for message text in memory (file time and size are left alone).
void ParseHeaderText(std::string_view text, MessageHeaderInfo& info, const HeaderParseOptions& options);

// Adds "\WORD" (or `word` as it is when it begins with "\") to blank-separated
// flags, unless the flags already contain `word` (without its "\"), in any case.
void AddFlagWord(std::string& flags, std::string_view word);

// Copies `text` into a buffer of `capacity` bytes, or appends it to the text
// already there, cut to capacity - 1 bytes and terminated.
void SetBounded(char* dest, size_t capacity, std::string_view text);
void AppendBounded(char* dest, size_t capacity, std::string_view text);

}  // namespace tw
