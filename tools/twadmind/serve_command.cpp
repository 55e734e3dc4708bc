#include <algorithm>
#include <exception>
#include <ostream>
#include <set>
#include <string>

#include "commands.h"
#include "connection.h"
#include "frame/settings.h"
#include "platform/library_loader.h"
#include "platform/service_process.h"
#include "platform/store_owner.h"
#include "platform/system_info.h"
#include "platform/tcp_listener.h"
#include "stop_signal.h"
#include "store_libraries.h"
#include "users_file.h"

namespace tw::admind {
namespace {

constexpr uint32_t kAcceptWaitMs = 500;

// Never root: a request names store functions and records, and one slip in
// them must not hand out the host. Root gives way to the mail root's owner,
// for good.
bool LeaveRoot(std::ostream& err) {
  if (!platform::EffectiveUserIsRoot()) return true;
  std::string why;
  const std::string mailRoot = ReadMailRoot();
  const platform::StoreOwnerOutcome outcome = platform::TakeStoreOwner(mailRoot, why);
  if (outcome != platform::StoreOwnerOutcome::kTaken) {
    err << "twadmind: will not run as root, and cannot take the owner of the mail root " << mailRoot
        << (why.empty() ? std::string() : " (" + why + ")") << "\n";
    return false;
  }
  if (!platform::KeepEffectiveIdentity(why) || platform::EffectiveUserIsRoot()) {
    err << "twadmind: cannot leave root for good: " << why << "\n";
    return false;
  }
  return true;
}

[[noreturn]] void RunChild(platform::TcpListener& listener, platform::TcpStream& stream, const UsersFile& users,
                           const ServeOptions& options, std::ostream& err) {
  listener.Close();
  int code = 0;
  // Whatever fails in here ends this connection's process only.
  try {
    StoreLibraries libraries(options.libraryDirectory);
    remote::SessionSeams seams;
    seams.checkCredentials = [&](std::string_view credentials) {
      const bool good = users.Check(credentials);
      if (!good) {
        const std::string_view name = credentials.substr(0, std::min<size_t>(credentials.find(':'), 64));
        err << "twadmind: failed AUTH for \"" << (ValidUserName(name) ? name : "(not a user name)") << "\"\n";
      }
      return good;
    };
    seams.loadLibrary = [&](std::string_view library) { return libraries.Load(library); };
    seams.call = [&](const remote::ForwardedCall& row, remote::CallBlocks& blocks) {
      return libraries.Call(row, blocks);
    };
    remote::AdminSession session(std::move(seams));
    ConnectionLimits limits;
    limits.idleTimeoutMs = options.idleTimeoutSeconds * 1000;
    limits.requestDeadlineSeconds = options.requestDeadlineSeconds;
    ServeConnection(stream, session, limits);
    stream.Close();
  } catch (const std::exception& e) {
    err << "twadmind: a connection ended by an unexpected failure: " << e.what() << "\n";
    code = 1;
  }
  err.flush();
  platform::EndChild(code);
}

}  // namespace

int Serve(const ServeOptions& given, std::ostream& out, std::ostream& err) {
  ServeOptions options = given;
  if (options.libraryDirectory.empty()) options.libraryDirectory = platform::ThisLibraryDirectory();
  if (options.libraryDirectory.empty() || options.libraryDirectory[0] != '/' ||
      options.libraryDirectory.find('\\') != std::string::npos) {
    err << "twadmind: --library-dir must be an absolute path without \"\\\"\n";
    return 2;
  }
  if (options.maxConnections == 0 || options.idleTimeoutSeconds == 0 || options.idleTimeoutSeconds > 86400 ||
      options.requestDeadlineSeconds == 0) {
    err << "twadmind: --max-connections, --idle-timeout and --request-deadline must be above 0"
           " (the idle time-out at most 86400)\n";
    return 2;
  }
  // Only an explicit --listen gets here: the default is loopback.
  if (!platform::IsLoopbackAddress(options.listen)) {
    err << "twadmind: warning: listening on " << options.listen
        << ", not loopback: AUTH travels in clear text (tunnel it, see docs/twadmind.md)\n";
  }

  platform::TcpListener listener;
  uint16_t port = options.port;
  std::string why;
  if (!listener.Listen(options.listen, port, why)) {
    err << "twadmind: cannot listen on " << options.listen << ":" << options.port << ": " << why << "\n";
    return 1;
  }
  // Read before root is left: the file may be root's own, mode 0600.
  UsersFile users;
  if (!users.Load(options.users, why)) {
    err << "twadmind: " << why << "\n";
    return 1;
  }
  if (!LeaveRoot(err)) return 1;
  if (users.size() == 0) err << "twadmind: warning: " << options.users << " names no user; every AUTH fails\n";

  cli::WatchStopSignals();
  out << "twadmind: listening on " << options.listen << ":" << port << " (pid " << platform::CurrentProcessId()
      << ")" << std::endl;

  std::set<int64_t> children;
  while (!cli::StopRequested()) {
    for (int64_t ended : platform::ReapChildren()) children.erase(ended);
    platform::TcpStream stream = listener.Accept(kAcceptWaitMs);
    if (!stream.IsOpen()) continue;
    if (children.size() >= options.maxConnections) {
      err << "twadmind: " << children.size() << " connections already; one refused\n";
      continue;
    }
    err.flush();
    out.flush();
    const int64_t child = platform::StartChild();
    if (child == 0) RunChild(listener, stream, users, options, err);
    if (child < 0) {
      err << "twadmind: cannot start a process for a connection\n";
      continue;
    }
    children.insert(child);
  }
  for (int64_t child : children) platform::StopChild(child);
  out << "twadmind: stopped" << std::endl;
  return 0;
}

}  // namespace tw::admind
