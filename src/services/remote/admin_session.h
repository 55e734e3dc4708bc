// One connection of the remote-administration service, as plain code: it
// takes request texts and gives reply texts, so that every rule can be
// checked without a socket. What touches the world (the users file, the
// libraries, the call itself) comes in through the seams.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "services/remote/forwarded_calls.h"
#include "services/remote/remote_messages.h"

namespace tw::remote {

// A call's argument blocks, each in its own zeroed buffer of the row's size.
using CallBlocks = std::vector<std::vector<unsigned char>>;

struct SessionSeams {
  // True when "user:secret" credentials are good.
  std::function<bool(std::string_view credentials)> checkCredentials;
  // Loads one of the libraries the service knows (kStoreLibrary or
  // kCalendarLibrary as they are spelled there); false when it cannot.
  std::function<bool(std::string_view library)> loadLibrary;
  // Runs the row's function on the blocks; its result.
  std::function<uint32_t(const ForwardedCall& row, CallBlocks& blocks)> call;
};

// The request whose answer closes the connection: the answer is still sent.
struct SessionReply {
  std::string text;
  bool close = false;
};

// Why an EXEC was refused, or kNone with the row and decoded blocks.
enum class ExecRefusal {
  kNone,
  kNotAuthenticated,
  kNoLibrary,
  kUnknownFunction,   // no row of the loaded library
  kRefusedRow,        // a row whose records this store does not have yet
  kParameterCount,
  kParameterOrder,
  kParameterSize,     // SIZE other than the row's
  kParameterContent,  // does not decode to exactly SIZE bytes
};

struct ExecCall {
  ExecRefusal refusal = ExecRefusal::kNone;
  const ForwardedCall* row = nullptr;
  CallBlocks blocks;
};

// The checks of an EXEC request against the loaded library (empty: none).
ExecCall ValidateExec(const Request& request, std::string_view loadedLibrary);

// The library a LOAD names, spelled as the service knows it ("TWAUTH.DLL"
// included); none for any other name, paths too.
std::optional<std::string_view> KnownLibrary(std::string_view requested);

class AdminSession {
 public:
  static constexpr uint32_t kAuthAttempts = 3;

  explicit AdminSession(SessionSeams seams) : seams_(std::move(seams)) {}

  // The answer to one request text (a whole request, "</DATA>" included).
  SessionReply Handle(std::string_view text);

  bool authenticated() const { return authenticated_; }
  const std::string& loadedLibrary() const { return loaded_; }

 private:
  SessionReply Authenticate(const Request& request);
  SessionReply Load(const Request& request);
  SessionReply Exec(const Request& request);

  SessionSeams seams_;
  bool authenticated_ = false;
  uint32_t failedAuths_ = 0;
  std::string loaded_;
};

}  // namespace tw::remote
