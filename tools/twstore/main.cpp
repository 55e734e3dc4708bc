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

  CLI11_PARSE(app, argc, argv);

  if (!tw::ProcessAttach()) {
    std::cerr << "twstore: the store library could not start\n";
    return 1;
  }
  int rc = 0;
  if (app.got_subcommand("paths")) rc = tw::cli::ShowPaths(paths, std::cout, std::cerr);
  if (app.got_subcommand("settings")) rc = tw::cli::ShowSettings(std::cout);
  tw::ProcessDetach();
  return rc;
}
