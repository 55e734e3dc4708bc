#include "index/file/index_journal.h"

#include <algorithm>

#include "common/crc32.h"
#include "common/file_management.h"
#include "common/text.h"
#include "index/file/index_file_format.h"
#include "index/file/serialisation_log.h"
#include "index/file/serialisation_settings.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {
namespace {

using platform::FileHandle;

constexpr std::string_view kMagic = "TWIXJNL1";
constexpr char kWriteTag = 'W';
constexpr char kEndTag = 'E';
constexpr int64_t kWriteHeaderBytes = 13;
constexpr int64_t kTrailerBytes = 17;
// Element offsets are signed 32-bit numbers: no index file is larger.
constexpr uint64_t kMaxIndexBytes = 0x7FFFFFFF;
constexpr int64_t kMaxJournalBytes = 2 * static_cast<int64_t>(kMaxIndexBytes);
constexpr uint64_t kSmallestIndex = kRootStartLength + kRootEnd.size();
constexpr size_t kChunkBytes = 1024 * 1024;
constexpr size_t kWriteOutAt = 256 * 1024;
constexpr int kOpenAttempts = 20;
constexpr uint32_t kOpenRetryMs = 2000;

void PutNumber(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t GetNumber(const char* in, int bytes) {
  uint64_t value = 0;
  for (int i = bytes; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(in[i]);
  return value;
}

bool ReadExactly(FileHandle& file, int64_t at, char* buffer, size_t size) {
  size_t got = 0;
  return file.Seek(at, platform::SeekFrom::Begin) && file.Read(buffer, size, got) && got == size;
}

std::string ErrorText() { return platform::ErrorMessage(platform::GetLastError()); }

struct JournalWrite {
  uint64_t offset = 0;
  uint32_t length = 0;
  int64_t dataAt = 0;  // where its bytes lie in the journal
};

// The write record at `at`; empty when sound, else what is wrong with it.
std::string ReadWriteRecord(FileHandle& journal, int64_t at, int64_t recordsEnd, JournalWrite& write) {
  char header[kWriteHeaderBytes];
  if (recordsEnd - at < kWriteHeaderBytes) return "a write record runs past its end";
  if (!ReadExactly(journal, at, header, sizeof header)) return "it could not be read";
  if (header[0] != kWriteTag) return "a record is neither a write nor the end";
  write.offset = GetNumber(header + 1, 8);
  write.length = static_cast<uint32_t>(GetNumber(header + 9, 4));
  write.dataAt = at + kWriteHeaderBytes;
  if (write.length > recordsEnd - write.dataAt) return "a write record runs past its end";
  // The first 23 bytes of an index file never change in place.
  if (write.offset < kLastUidOffset || write.offset > kMaxIndexBytes || write.offset + write.length > kMaxIndexBytes)
    return "a write lies outside the bounds of an index file";
  return {};
}

struct JournalSummary {
  uint64_t finalLength = 0;  // 0: unchanged
  uint64_t writesEnd = 0;    // the end of the furthest write
};

// Empty when `journal` is whole and sound, else why it is not.
std::string CheckJournal(FileHandle& journal, JournalSummary& summary) {
  const int64_t size = journal.Size();
  if (size < 0) return "it could not be read";
  if (size < static_cast<int64_t>(kMagic.size()) + kTrailerBytes) return "it is cut short";
  if (size > kMaxJournalBytes) return "it is too large";

  const int64_t covered = size - 4;
  uint32_t crc = 0;
  std::string chunk;
  for (int64_t at = 0; at < covered;) {
    chunk.resize(static_cast<size_t>(std::min<int64_t>(kChunkBytes, covered - at)));
    if (!ReadExactly(journal, at, chunk.data(), chunk.size())) return "it could not be read";
    if (at == 0 && !std::string_view(chunk).starts_with(kMagic)) return "it is not an index journal";
    crc = Crc32(crc, chunk);
    at += static_cast<int64_t>(chunk.size());
  }
  char stored[4];
  if (!ReadExactly(journal, covered, stored, sizeof stored)) return "it could not be read";
  if (GetNumber(stored, 4) != crc) return "its checksum does not match (cut short or damaged)";

  const int64_t recordsEnd = size - kTrailerBytes;
  uint64_t count = 0;
  for (int64_t at = static_cast<int64_t>(kMagic.size()); at < recordsEnd; ++count) {
    JournalWrite write;
    if (std::string problem = ReadWriteRecord(journal, at, recordsEnd, write); !problem.empty()) return problem;
    summary.writesEnd = std::max(summary.writesEnd, write.offset + write.length);
    at = write.dataAt + write.length;
  }
  char trailer[kTrailerBytes];
  if (!ReadExactly(journal, recordsEnd, trailer, sizeof trailer)) return "it could not be read";
  if (trailer[0] != kEndTag) return "its end record is missing";
  summary.finalLength = GetNumber(trailer + 1, 8);
  if (GetNumber(trailer + 9, 4) != count) return "its count of writes does not match its records";
  if (summary.finalLength != 0 && (summary.finalLength < kSmallestIndex || summary.finalLength > kMaxIndexBytes))
    return "its final length is outside the bounds of an index file";
  return {};
}

// A final length beyond every write and the file as it is would pad the
// index with bytes nobody wrote.
std::string CheckLength(const JournalSummary& summary, int64_t indexSize) {
  if (indexSize < 0) return {};
  if (summary.finalLength > std::max(summary.writesEnd, static_cast<uint64_t>(indexSize)))
    return "its final length lies beyond everything it writes";
  return {};
}

// Copies every write into the index file, then sets its length. Empty when
// done, else the step that failed.
std::string ApplyJournal(FileHandle& journal, const JournalSummary& summary, FileHandle& index) {
  const int64_t recordsEnd = journal.Size() - kTrailerBytes;
  std::string chunk;
  for (int64_t at = static_cast<int64_t>(kMagic.size()); at < recordsEnd;) {
    JournalWrite write;
    if (std::string problem = ReadWriteRecord(journal, at, recordsEnd, write); !problem.empty())
      return "the journal changed while it was applied";
    for (uint32_t done = 0; done < write.length;) {
      chunk.resize(std::min<size_t>(kChunkBytes, write.length - done));
      if (!ReadExactly(journal, write.dataAt + done, chunk.data(), chunk.size()))
        return "reading the journal failed: " + ErrorText();
      if (!index.Seek(static_cast<int64_t>(write.offset + done), platform::SeekFrom::Begin) ||
          !index.Write(chunk.data(), chunk.size()))
        return "writing the index file failed: " + ErrorText();
      done += static_cast<uint32_t>(chunk.size());
    }
    at = write.dataAt + write.length;
  }
  if (summary.finalLength != 0 && !index.Truncate(summary.finalLength))
    return "setting the length of the index file failed: " + ErrorText();
  if (FlushIndexJournal() && !index.Flush()) return "flushing the index file failed: " + ErrorText();
  return {};
}

FileHandle OpenIndexForUpdate(const std::string& indexPath) {
  FileHandle file;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kOpenRetryMs);
    file = platform::OpenFile(indexPath, platform::Access::ReadWrite, platform::Share::None,
                              platform::Disposition::OpenExisting);
    if (file.IsOpen()) break;
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) break;
  }
  return file;
}

void DeleteDiscarded(const std::string& path, const std::string& why) {
  platform::DeleteFile(path);
  WriteSerialisationLog("Discarded the index journal " + path + ": " + why + ".\n");
}

void ReportNotCompleted(const std::string& path, const std::string& why) {
  WriteSerialisationLog("Failed to complete the index journal " + path + ": " + why +
                        ". It stays for the next load.\n");
}

}  // namespace

std::string JournalPathFor(const std::string& indexPath) {
  constexpr std::string_view kIndexExtension = ".xml";
  if (EndsWithNoCase(indexPath, kIndexExtension))
    return indexPath.substr(0, indexPath.size() - kIndexExtension.size()) + ".jnl";
  return indexPath + ".jnl";
}

JournalOutcome CompletePendingJournal(const std::string& indexPath) {
  const std::string path = JournalPathFor(indexPath);
  if (!FileExists(path)) return JournalOutcome::None;
  FileHandle journal =
      platform::OpenFile(path, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
  if (!journal.IsOpen()) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return JournalOutcome::None;
    ReportNotCompleted(path, "it could not be opened (" + std::string(platform::ErrorMessage(error)) + ")");
    return JournalOutcome::Failed;
  }
  JournalSummary summary;
  std::string problem = CheckJournal(journal, summary);
  if (problem.empty() && !FileExists(indexPath)) problem = "the index file it belongs to is missing";
  if (!problem.empty()) {
    journal.Close();
    DeleteDiscarded(path, problem);
    return JournalOutcome::Discarded;
  }
  FileHandle index = OpenIndexForUpdate(indexPath);
  if (!index.IsOpen()) {
    ReportNotCompleted(path, "the index file could not be opened (" + ErrorText() + ")");
    return JournalOutcome::Failed;
  }
  if (problem = CheckLength(summary, index.Size()); !problem.empty()) {
    journal.Close();
    DeleteDiscarded(path, problem);
    return JournalOutcome::Discarded;
  }
  if (problem = ApplyJournal(journal, summary, index); !problem.empty()) {
    ReportNotCompleted(path, problem);
    return JournalOutcome::Failed;
  }
  index.Close();
  journal.Close();
  platform::DeleteFile(path);  // one left behind is applied once more, to the same effect
  WriteSerialisationLog("Completed the index journal " + path + " of a save that was cut short.\n");
  return JournalOutcome::Completed;
}

void DiscardJournal(const std::string& indexPath) {
  const std::string path = JournalPathFor(indexPath);
  if (FileExists(path)) DeleteDiscarded(path, "the index file was replaced");
}

IndexJournal::IndexJournal(std::string indexPath)
    : indexPath_(std::move(indexPath)), path_(JournalPathFor(indexPath_)) {}

IndexJournal::~IndexJournal() {
  if (open_) Discard();
}

bool IndexJournal::Begin() {
  // Not created by truncation: on ext4 a file cut to nothing and written
  // anew is flushed when it is closed, which would cost every save a wait.
  file_ = platform::OpenFile(path_, platform::Access::ReadWrite, platform::Share::None,
                             platform::Disposition::OpenAlways);
  if (!file_.IsOpen()) return false;
  const int64_t size = file_.Size();
  if (size != 0 && !file_.Truncate(0)) {
    file_.Close();
    return false;
  }
  open_ = true;
  failed_ = false;
  writes_ = 0;
  writesEnd_ = 0;
  buffer_.assign(kMagic);
  crc_ = Crc32(0, buffer_);
  return true;
}

void IndexJournal::Add(int64_t offset, std::string_view bytes) {
  if (offset < 0 || bytes.size() > UINT32_MAX) {
    failed_ = true;
    return;
  }
  const size_t start = buffer_.size();
  buffer_.push_back(kWriteTag);
  PutNumber(buffer_, static_cast<uint64_t>(offset), 8);
  PutNumber(buffer_, bytes.size(), 4);
  crc_ = Crc32(crc_, std::string_view(buffer_).substr(start));
  crc_ = Crc32(crc_, bytes);
  writesEnd_ = std::max(writesEnd_, static_cast<uint64_t>(offset) + bytes.size());
  ++writes_;
  if (bytes.size() < kWriteOutAt) {
    buffer_.append(bytes);
    if (buffer_.size() >= kWriteOutAt) WriteOut();
    return;
  }
  // Large pieces go out as they are, not copied once more.
  WriteOut();
  if (!failed_ && !file_.Write(bytes.data(), bytes.size())) failed_ = true;
}

void IndexJournal::WriteOut() {
  if (!failed_ && !file_.Write(buffer_.data(), buffer_.size())) failed_ = true;
  buffer_.clear();
}

void IndexJournal::Discard() {
  file_.Close();
  platform::DeleteFile(path_);
  open_ = false;
}

JournalOutcome IndexJournal::Commit(FileHandle& index, uint64_t finalLength) {
  const size_t start = buffer_.size();
  buffer_.push_back(kEndTag);
  PutNumber(buffer_, finalLength, 8);
  PutNumber(buffer_, writes_, 4);
  crc_ = Crc32(crc_, std::string_view(buffer_).substr(start));
  PutNumber(buffer_, crc_, 4);
  WriteOut();
  if (!failed_ && FlushIndexJournal() && !file_.Flush()) failed_ = true;

  if (failed_) {
    const std::string problem = "writing it failed: " + ErrorText();
    Discard();
    WriteSerialisationLog("Failed to serialise index: " + indexPath_ + ". The journal " + path_ + " was not whole (" +
                          problem + "), so the index file was left as it was.\n");
    return JournalOutcome::Discarded;
  }
  // Written just now: applied without checking it once more.
  const std::string problem = ApplyJournal(file_, JournalSummary{finalLength, writesEnd_}, index);
  file_.Close();
  open_ = false;
  if (!problem.empty()) {
    WriteSerialisationLog("Failed to serialise index: " + indexPath_ + ". Updating it in place failed (" + problem +
                          "); the journal " + path_ + " stays for the next load to complete.\n");
    return JournalOutcome::Failed;
  }
  platform::DeleteFile(path_);
  return JournalOutcome::Completed;
}

}  // namespace tw
