// twstore: the store's command-line tool for operators.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "commands.h"
#include "stop_signal.h"
#include "frame/event_report.h"
#include "frame/library_lifecycle.h"
#include "frame/settings.h"
#include "platform/store_owner.h"
#include "platform/terminal.h"
#include "services/remote/remote_session.h"
#include "twstore.h"

namespace {
void AddFolderOptions(CLI::App* command, tw::cli::FolderRequest& target) {
  command->add_option("--postoffice", target.postoffice, "Postoffice name")->required();
  command->add_option("--mailbox", target.mailbox, "Mailbox name")->required();
  command->add_option("--folder", target.folder, "Mail folder, e.g. \\Inbox or \\Sent Items (default \\Inbox)");
}

// A failure the commands did not foresee ends the run with a message and
// exit code 1, not an abort.
[[noreturn]] void ReportUnexpectedFailure() {
  try {
    if (const std::exception_ptr failure = std::current_exception()) std::rethrow_exception(failure);
    std::cerr << "twstore: stopped by an unexpected failure\n";
  } catch (const std::exception& e) {
    std::cerr << "twstore: stopped by an unexpected failure: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "twstore: stopped by an unexpected failure\n";
  }
  std::_Exit(1);
}

void AddJsonFlag(CLI::App* command, bool& json) {
  command->add_flag("--json", json, "One JSON object instead of lines");
}

// Files the commands create must belong to the store's owner, also when an
// operator runs the tool as root.
bool RunAsStoreOwner(std::ostream& err) {
  std::string why;
  if (tw::platform::TakeStoreOwner(tw::MailRoot(), why) != tw::platform::StoreOwnerOutcome::kFailed) return true;
  err << "twstore: cannot run as the owner of the mail root " << tw::MailRoot() << " (" << why
      << "); nothing was done\n";
  return false;
}

void AddFolderChangeOptions(CLI::App* command, tw::cli::FolderChangeRequest& target, const char* folderHelp) {
  command->add_option("--postoffice", target.postoffice, "Postoffice name")->required();
  command->add_option("--mailbox", target.mailbox, "Mailbox name")->required();
  command->add_option("--folder", target.folder, folderHelp)->required();
  command->add_flag("--json", target.json, "One JSON object instead of a line");
}

void AddMoveOptions(CLI::App* command, tw::cli::FolderMoveRequest& move, const char* toHelp) {
  AddFolderChangeOptions(command, move.source, "The folder, e.g. Inbox\\Work");
  command->add_option("--to", move.to, toHelp)->required();
  command->add_option("--to-mailbox", move.toMailbox, "Mailbox of the new place (default: the same)");
  command->add_option("--to-postoffice", move.toPostoffice, "Postoffice of the new place (default: the same)");
}
}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(ReportUnexpectedFailure);
  CLI::App app{"twstore - look after a message store on this machine.\n"
               "Settings come from the registry file named by TW_REGISTRY_FILE\n"
               "(default /etc/tarnwick/registry.reg)."};
  app.require_subcommand(1);
  std::string host;
  app.add_option("--host", host,
                 "Run mkdir, rename, copy or rmdir on this host's store (a host key under HKCU ...\\Administration\\Hosts)");

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

  tw::cli::RelayRequest relay;
  auto* relayCommand = app.add_subcommand(
      "relay", "Take notifications from other servers over TCP and hand them to this host's listeners");
  relayCommand->add_option("--bind", relay.bind, "Address to listen on (default: every interface)");
  relayCommand->add_option("--port", relay.port, "TCP port (default: \"Notify Port\" from the registry, or 4380)");
  relayCommand->add_option("--count", relay.count, "Exit after this many messages");

  tw::cli::DeliverRequest deliver;
  auto* deliverCommand =
      app.add_subcommand("deliver", "Copy message files into a folder under fresh names and index them");
  AddFolderOptions(deliverCommand, deliver.target);
  deliverCommand->add_option("--flags", deliver.flags, "Initial flags of every message, e.g. \\SEEN");
  deliverCommand->add_option("files", deliver.files, "Message files (RFC 822 text)")->required();

  tw::cli::FolderRequest reindex;
  AddFolderOptions(app.add_subcommand("reindex", "Rebuild a folder's index from its message files"), reindex);

  tw::cli::FolderRequest list;
  auto* listCommand =
      app.add_subcommand("list", "List a folder's items in UID order: UID, flags, size, date, from, subject");
  AddFolderOptions(listCommand, list);
  AddJsonFlag(listCommand, list.json);

  tw::cli::FlagRequest flag;
  auto* flagCommand = app.add_subcommand("flag", "Change the flags of items");
  AddFolderOptions(flagCommand, flag.target);
  flagCommand->add_option("--ids", flag.ids, "UIDs or message file names, comma-separated")->required();
  flagCommand->add_option("--change", flag.change, "e.g. \"+\\SEEN -\\FLAGGED\"; unsigned words replace the flags")
      ->required();

  tw::cli::RemoveRequest remove;
  auto* removeCommand = app.add_subcommand("remove", "Remove items from a folder's index");
  AddFolderOptions(removeCommand, remove.target);
  removeCommand->add_option("--ids", remove.ids, "UIDs or message file names, comma-separated")->required();
  removeCommand->add_flag("--delete-files", remove.deleteFiles, "Also delete the items' message files");

  tw::cli::ImportRequest import;
  auto* importCommand = app.add_subcommand(
      "import", "Bring messages in from a Maildir, a Maildir++ tree, an mbox file or one message file");
  AddFolderOptions(importCommand, import.target);
  importCommand->add_option("source", import.source, "Maildir directory, mbox file or message file")->required();
  importCommand->add_option("--format", import.format, "maildir, mbox or eml (default: found from the source)");
  importCommand->add_flag("--recursive", import.recursive,
                          "A Maildir++ tree into the mailbox's folders (its root into Inbox; --folder is not used)");
  importCommand->add_flag("--create", import.create, "Make a missing mailbox and folders");
  importCommand->add_flag("--mboxo", import.mboxo, "The mbox quotes only \">From \" (default: mboxrd)");

  tw::cli::ExportRequest exportRequest;
  auto* exportCommand =
      app.add_subcommand("export", "Write a folder (or with --recursive the mailbox) out as Maildir or mbox");
  AddFolderOptions(exportCommand, exportRequest.target);
  exportCommand->add_option("destination", exportRequest.destination,
                            "Maildir directory, or mbox file (with --recursive: a directory of mbox files)")
      ->required();
  exportCommand->add_option("--format", exportRequest.format, "maildir (default) or mbox");
  exportCommand->add_flag("--recursive", exportRequest.recursive,
                          "Every mail folder of the mailbox (a Maildir++ tree; --folder is not used)");

  tw::cli::FolderRequest expunge;
  AddFolderOptions(app.add_subcommand("expunge", "Remove the items flagged \\DELETED: index entries and files"),
                   expunge);

  tw::cli::FolderRequest status;
  auto* statusCommand = app.add_subcommand("status", "Print a folder's cached counters (_FOLDER.DAT)");
  AddFolderOptions(statusCommand, status);
  AddJsonFlag(statusCommand, status.json);

  tw::cli::ItemRequest show;
  auto* showCommand =
      app.add_subcommand("show", "Print one item's properties (PR_ name, index name, value) and its body parts");
  AddFolderOptions(showCommand, show.target);
  showCommand->add_option("--ids", show.ids, "The item's UID or message file name")->required();
  showCommand->add_option("--property", show.property, "Only this property (PR_ name or index name)");
  AddJsonFlag(showCommand, show.target.json);

  tw::cli::SetRequest set;
  auto* setCommand = app.add_subcommand("set", "Set one property of an item and save the folder's index");
  AddFolderOptions(setCommand, set.item.target);
  setCommand->add_option("--ids", set.item.ids, "The item's UID or message file name")->required();
  setCommand->add_option("--property", set.item.property, "PR_ name, e.g. PR_TW_FLAGSTATUS")->required();
  setCommand->add_option("--value", set.value, "The new value, e.g. \\SEEN")->required();

  tw::cli::FoldersRequest folders;
  auto* foldersCommand =
      app.add_subcommand("folders", "List a mailbox's folder tree with the bytes each folder's index records");
  foldersCommand->add_option("--postoffice", folders.postoffice, "Postoffice name")->required();
  foldersCommand->add_option("--mailbox", folders.mailbox, "Mailbox name")->required();
  foldersCommand->add_flag("--json", folders.json, "One JSON object instead of lines");

  tw::cli::FolderChangeRequest mkdir;
  AddFolderChangeOptions(app.add_subcommand("mkdir", "Create a folder (its parent must exist)"), mkdir,
                         "The new folder, e.g. Inbox\\Work");
  tw::cli::FolderMoveRequest rename;
  AddMoveOptions(app.add_subcommand("rename", "Rename or move a folder with everything in it"), rename,
                 "The folder's new name, e.g. Archive\\Work");
  tw::cli::FolderMoveRequest copy;
  AddMoveOptions(app.add_subcommand("copy", "Copy a folder with everything in it to a new place"), copy,
                 "The copy's name, e.g. Archive\\Work");
  tw::cli::FolderRemoveRequest rmdir;
  auto* rmdirCommand = app.add_subcommand("rmdir", "Remove a folder with everything in it");
  AddFolderChangeOptions(rmdirCommand, rmdir.target, "The folder, e.g. Inbox\\Work");
  rmdirCommand->add_flag("--yes", rmdir.yes, "Do not ask (needed without a terminal)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end here too, with 0; a usage error is exit 2,
    // as for every argument the commands refuse.
    return app.exit(e) == 0 ? 0 : 2;
  }

  // The four folder-change commands call the forwarded exports; every other
  // command reads the store's files itself and would silently work here.
  const bool remoteCommand = app.got_subcommand("mkdir") || app.got_subcommand("rename") ||
                             app.got_subcommand("copy") || app.got_subcommand("rmdir");
  if (app.count("--host") != 0 && (host.empty() || !remoteCommand)) {
    std::cerr << (host.empty() ? "twstore: --host needs a host name\n"
                               : "twstore: --host works with mkdir, rename, copy and rmdir only; the other commands "
                                 "read this machine's store\n");
    return 2;
  }
  tw::cli::Console console;
  console.outIsTerminal = tw::platform::IsTerminal(1);
  console.outColumns = tw::platform::TerminalColumns(1);
  console.errIsTerminal = tw::platform::IsTerminal(2);
  console.errColumns = tw::platform::TerminalColumns(2);

  tw::cli::KeepRunningPastFileSizeLimit();
  // Standard output carries the commands' results, line by line.
  tw::SetPrintTarget(tw::PrintTarget::kStandardError);
  if (!tw::ProcessAttach()) {
    std::cerr << "twstore: the store library could not start\n";
    return 1;
  }
  if (!host.empty()) SetCurrentHost(host.c_str());
  // Only these two leave the store alone; a folder change sent to another
  // host (--host, or "ForceDefaultHost"; the host name 127.0.0.1 runs here)
  // does too, and keeps the user's own identity to read the host's
  // credentials from the user's registry file.
  const bool remote = remoteCommand && tw::remote::RemoteHostInForce();
  if (!app.got_subcommand("paths") && !app.got_subcommand("settings") && !remote && !RunAsStoreOwner(std::cerr)) {
    tw::ProcessDetach();
    return 1;
  }
  int rc = 0;
  if (app.got_subcommand("paths")) rc = tw::cli::ShowPaths(paths, std::cout, std::cerr);
  if (app.got_subcommand("settings")) rc = tw::cli::ShowSettings(std::cout);
  if (app.got_subcommand("listen")) rc = tw::cli::Listen(listen, std::cout, std::cerr);
  if (app.got_subcommand("relay")) rc = tw::cli::Relay(relay, std::cout, std::cerr);
  if (app.got_subcommand("deliver")) rc = tw::cli::Deliver(deliver, console, std::cout, std::cerr);
  if (app.got_subcommand("reindex")) rc = tw::cli::Reindex(reindex, console, std::cout, std::cerr);
  if (app.got_subcommand("list")) rc = tw::cli::ListItems(list, console, std::cout, std::cerr);
  if (app.got_subcommand("flag")) rc = tw::cli::FlagItems(flag, std::cout, std::cerr);
  if (app.got_subcommand("remove")) rc = tw::cli::RemoveItems(remove, std::cout, std::cerr);
  if (app.got_subcommand("import")) rc = tw::cli::Import(import, console, std::cout, std::cerr);
  if (app.got_subcommand("export")) rc = tw::cli::Export(exportRequest, console, std::cout, std::cerr);
  if (app.got_subcommand("expunge")) rc = tw::cli::Expunge(expunge, std::cout, std::cerr);
  if (app.got_subcommand("status")) rc = tw::cli::ShowStatus(status, std::cout, std::cerr);
  if (app.got_subcommand("folders")) rc = tw::cli::ListFolders(folders, console, std::cout, std::cerr);
  if (app.got_subcommand("show")) rc = tw::cli::ShowItem(show, std::cout, std::cerr);
  if (app.got_subcommand("set")) rc = tw::cli::SetItem(set, std::cout, std::cerr);
  if (app.got_subcommand("mkdir")) rc = tw::cli::MakeFolder(mkdir, std::cout, std::cerr);
  if (app.got_subcommand("rename")) rc = tw::cli::RenameFolder(rename, std::cout, std::cerr);
  if (app.got_subcommand("copy")) rc = tw::cli::CopyFolderTree(copy, std::cout, std::cerr);
  if (app.got_subcommand("rmdir")) {
    // The question goes to standard error: standard output holds results.
    const tw::cli::Prompt prompt{tw::platform::IsTerminal(0), &std::cin, &std::cerr};
    rc = tw::cli::RemoveFolderTree(rmdir, prompt, std::cout, std::cerr);
  }
  tw::ProcessDetach();
  return rc;
}
