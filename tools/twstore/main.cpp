// twstore: the store's command-line tool for operators.
#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"
#include "frame/library_lifecycle.h"

int main(int argc, char** argv) {
  CLI::App app{"twstore - look after a message store on this machine.\n"
               "Settings come from the registry file named by TW_REGISTRY_FILE\n"
               "(default /etc/tarnwick/registry.reg)."};
  app.require_subcommand(1);

  tw::cli::PathsRequest paths;
  auto* pathsCommand = app.add_subcommand("paths", "Print the directories a postoffice, mailbox and folder resolve to");
  pathsCommand->add_option("postoffice", paths.postoffice, "Postoffice name")->required();
  pathsCommand->add_option("mailbox", paths.mailbox, "Mailbox name");
  pathsCommand->add_option("folder", paths.folder, "Folder path, e.g. Inbox, Inbox\\Work, Public/Sales, $FILEROOT/docs");

  app.add_subcommand("settings", "Print the settings in force and where they came from");

  tw::cli::ListenRequest listen;
  auto* listenCommand = app.add_subcommand(
      "listen", "Listen for change notifications of a mailbox and print them (until SIGINT or SIGTERM)");
  listenCommand->add_option("protocol", listen.protocol, "Protocol of this listener, e.g. IMAP")->required();
  listenCommand->add_option("--postoffice", listen.postoffice, "Postoffice name")->required();
  listenCommand->add_option("--mailbox", listen.mailbox, "Mailbox name")->required();
  listenCommand->add_option("--folder", listen.folder, "Only changes of this folder (default: every folder)");
  listenCommand->add_option("--server", listen.server,
                            "Server name written for this listener (default: this computer)");
  listenCommand->add_option("--count", listen.count, "Exit after this many notifications");

  CLI11_PARSE(app, argc, argv);

  if (!tw::ProcessAttach()) {
    std::cerr << "twstore: the store library could not start\n";
    return 1;
  }
  int rc = 0;
  if (app.got_subcommand("paths")) rc = tw::cli::ShowPaths(paths, std::cout, std::cerr);
  if (app.got_subcommand("settings")) rc = tw::cli::ShowSettings(std::cout);
  if (app.got_subcommand("listen")) rc = tw::cli::Listen(listen, std::cout, std::cerr);
  tw::ProcessDetach();
  return rc;
}
