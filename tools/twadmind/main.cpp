// twadmind: the remote-administration service. It runs the store's
// forwarded calls for an administration tool on another machine, one child
// process per connection.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{"twadmind - run the store's forwarded calls for remote administration tools.\n"
               "Settings come from the registry file named by TW_REGISTRY_FILE\n"
               "(default /etc/tarnwick/registry.reg)."};
  app.require_subcommand(1);

  tw::admind::ServeOptions serve;
  auto* serveCommand = app.add_subcommand("serve", "Listen for administration connections until SIGINT or SIGTERM");
  serveCommand->add_option(
      "--listen", serve.listen, "Numeric address to listen on (default 127.0.0.1; AUTH is clear text)");
  serveCommand->add_option("--port", serve.port, "TCP port (default 8081; 0: a free one, printed)");
  serveCommand->add_option("--users", serve.users, "Users file (default /etc/tarnwick/twadmind.users)");
  serveCommand->add_option("--library-dir", serve.libraryDirectory,
                           "Directory of libtwstore.so (default: the program's own)");
  serveCommand->add_option("--max-connections", serve.maxConnections, "Connections at once (default 16)");
  serveCommand->add_option("--idle-timeout", serve.idleTimeoutSeconds,
                           "Seconds a connection may wait for its next request (default 300)");
  serveCommand->add_option("--request-deadline", serve.requestDeadlineSeconds,
                           "Seconds one request may take before its connection ends (default 120)");

  tw::admind::AddUserOptions addUser;
  auto* addUserCommand =
      app.add_subcommand("adduser", "Set a user's secret (one line on standard input) in the users file");
  addUserCommand->add_option("name", addUser.name, "User name")->required();
  addUserCommand->add_option("--users", addUser.users, "Users file (default /etc/tarnwick/twadmind.users)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  try {
    if (serveCommand->parsed()) return tw::admind::Serve(serve, std::cout, std::cerr);
    return tw::admind::AddUser(addUser, std::cin, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "twadmind: stopped by an unexpected failure: " << e.what() << "\n";
    return 1;
  }
}
