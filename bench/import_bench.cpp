// twstore import of a 10,000-message Maildir and a 10,000-message mbox,
// each beside the ceiling of the same run: copying the same message bytes
// into 10,000 files of a fresh directory (open, write, close; no sync, as
// the import does not sync either). The import runs as the operator runs
// it, as a process; its start-up is a few milliseconds of several seconds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store_mail_files.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMessages = 10000;

twbench::ScratchMailRoot& Root() {
  static twbench::ScratchMailRoot root("twimport");
  return root;
}

std::string Twstore() { return (fs::read_symlink("/proc/self/exe").parent_path() / "twstore").string(); }

std::string MaildirName(uint64_t n) {
  char name[64];
  std::snprintf(name, sizeof name, "%010llu.M%lluP1.bench:2,%s", 1700000000ull + n, static_cast<unsigned long long>(n),
                n % 2 == 0 ? "S" : "");
  return name;
}

// The sources, made once: a Maildir, an mbox of the same messages, and
// each message's place in the mbox for the ceiling.
struct Sources {
  std::string maildir;
  std::string mbox;
  std::vector<std::pair<size_t, size_t>> spans;  // offset and length in the mbox
  uint64_t bytes = 0;
};

const Sources& Made() {
  static const Sources sources = [] {
    Sources s;
    s.maildir = Root().path() + "/src/maildir";
    s.mbox = Root().path() + "/src/messages.mbox";
    fs::create_directories(s.maildir + "/cur");
    fs::create_directories(s.maildir + "/new");
    fs::create_directories(s.maildir + "/tmp");
    std::ofstream mbox(s.mbox, std::ios::binary);
    size_t at = 0;
    for (uint64_t n = 0; n < kMessages; ++n) {
      const std::string text = twbench::MessageText(n);
      std::ofstream(s.maildir + "/cur/" + MaildirName(n), std::ios::binary) << text;
      const std::string from = "From bench@example.com Mon Jan 15 09:00:00 2024\r\n";
      mbox << from << text << "\r\n";
      s.spans.emplace_back(at + from.size(), text.size());
      at += from.size() + text.size() + 2;
      s.bytes += text.size();
    }
    return s;
  }();
  return sources;
}

std::string FreshInbox() {
  const std::string mailbox = Root().path() + "/MAIL/PO/MAILROOT/importer";
  std::error_code ec;
  fs::remove_all(mailbox, ec);
  fs::create_directories(mailbox + "/Inbox");
  return mailbox + "/Inbox";
}

std::string FreshCopyDirectory() {
  const std::string directory = Root().path() + "/copy";
  std::error_code ec;
  fs::remove_all(directory, ec);
  fs::create_directories(directory);
  return directory;
}

void Import(benchmark::State& state, const std::string& source) {
  const std::string command = "'" + Twstore() + "' import --postoffice PO --mailbox importer '" + source +
                              "' >/dev/null 2>" + Root().path() + "/import.err";
  for (auto _ : state) {
    state.PauseTiming();
    const std::string inbox = FreshInbox();
    state.ResumeTiming();
    if (std::system(command.c_str()) != 0) state.SkipWithError("the import failed");
    state.PauseTiming();
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(inbox)) files += entry.path().extension() == ".MAI";
    if (files != kMessages) state.SkipWithError("not every message came in");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kMessages));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Made().bytes));
}

void BM_ImportMaildir(benchmark::State& state) { Import(state, Made().maildir); }
void BM_ImportMbox(benchmark::State& state) { Import(state, Made().mbox); }

// The ceiling: the same bytes into as many files, read from the Maildir's
// files or cut out of the mbox.
void BM_CopyCeilingFromMaildir(benchmark::State& state) {
  const Sources& s = Made();
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    state.PauseTiming();
    const std::string directory = FreshCopyDirectory();
    state.ResumeTiming();
    for (uint64_t n = 0; n < kMessages; ++n) {
      std::ifstream in(s.maildir + "/cur/" + MaildirName(n), std::ios::binary);
      std::ofstream out(directory + "/" + std::to_string(n) + ".MAI", std::ios::binary);
      while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        out.write(buffer.data(), in.gcount());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kMessages));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.bytes));
}

void BM_CopyCeilingFromMbox(benchmark::State& state) {
  const Sources& s = Made();
  for (auto _ : state) {
    state.PauseTiming();
    const std::string directory = FreshCopyDirectory();
    state.ResumeTiming();
    std::ifstream in(s.mbox, std::ios::binary);
    std::string text;
    for (uint64_t n = 0; n < kMessages; ++n) {
      text.resize(s.spans[n].second);
      in.seekg(static_cast<std::streamoff>(s.spans[n].first));
      in.read(text.data(), static_cast<std::streamsize>(text.size()));
      std::ofstream(directory + "/" + std::to_string(n) + ".MAI", std::ios::binary) << text;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kMessages));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.bytes));
}

BENCHMARK(BM_ImportMaildir)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CopyCeilingFromMaildir)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ImportMbox)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CopyCeilingFromMbox)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
