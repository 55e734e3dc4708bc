// The twstore command-line tool's commands. Each prints to `out` and
// returns the process exit code.
#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace tw::cli {

struct PathsRequest {
  std::string postoffice;
  std::string mailbox;
  std::string folder;
};

struct ListenRequest {
  std::string protocol;
  std::string postoffice;
  std::string mailbox;
  std::string folder;
  std::string server;  // empty: this computer's name
  int count = 0;       // exit after this many notifications; 0: until a signal
};

struct RelayRequest {
  std::string bind;  // address to listen on; empty: every interface
  int port = -1;     // -1: "Notify Port" from the registry; 0: any free port
  int count = 0;     // exit after this many messages; 0: until a signal
};

// What the commands may assume of the streams they print to.
struct Console {
  bool outIsTerminal = false;  // align columns and cut long texts
  int outColumns = 0;          // width of that terminal; 0 when unknown
  bool errIsTerminal = false;  // show progress on standard error
  int errColumns = 0;
};

// One mail folder of a mailbox.
struct FolderRequest {
  std::string postoffice;
  std::string mailbox;
  std::string folder = "\\Inbox";
  bool json = false;  // list, status and show: one JSON object (json_writer.h)
};

struct DeliverRequest {
  FolderRequest target;
  std::vector<std::string> files;
  std::string flags;  // initial flags of every delivered message, e.g. \SEEN
};

struct FlagRequest {
  FolderRequest target;
  std::string ids;     // UIDs or message file names, comma-separated
  std::string change;  // "+\SEEN -\FLAGGED"; unsigned words replace the flags
};

struct RemoveRequest {
  FolderRequest target;
  std::string ids;
  bool deleteFiles = false;
};

// One item of a mail folder, and optionally one of its properties (a PR_
// name or an index name).
struct ItemRequest {
  FolderRequest target;
  std::string ids;       // one UID or message file name
  std::string property;  // empty: every property
};

struct SetRequest {
  ItemRequest item;
  std::string value;
};

// A mailbox's folder tree.
struct FoldersRequest {
  std::string postoffice;
  std::string mailbox;
  bool json = false;  // one JSON object (json_writer.h)
};

// A folder of a mailbox as the operator names it ("Inbox\Work"), for the
// commands that change the folder tree.
struct FolderChangeRequest {
  std::string postoffice;
  std::string mailbox;
  std::string folder;
  bool json = false;  // one JSON object (json_writer.h)
};

// rename and copy: the folder and its new place; an empty postoffice or
// mailbox there is the folder's own.
struct FolderMoveRequest {
  FolderChangeRequest source;
  std::string to;
  std::string toPostoffice;
  std::string toMailbox;
};

struct FolderRemoveRequest {
  FolderChangeRequest target;
  bool yes = false;  // no question asked
};

// Where rmdir asks before it removes a tree: only a person at a terminal
// can answer.
struct Prompt {
  bool interactive = false;
  std::istream* answers = nullptr;
  std::ostream* questions = nullptr;
};

// Messages from a Maildir, a Maildir++ tree, an mbox file or one message
// file into a folder (or, with `recursive`, the mailbox's folder tree).
struct ImportRequest {
  FolderRequest target;
  std::string source;
  std::string format;  // "maildir", "mbox", "eml"; empty: found from the source
  bool recursive = false;
  bool create = false;  // make a missing mailbox and folders
  bool mboxo = false;   // unquote ">From " only
};

// A folder (or, with `recursive`, the mailbox) written out as a Maildir or
// an mbox file.
struct ExportRequest {
  FolderRequest target;
  std::string destination;
  std::string format = "maildir";
  bool recursive = false;
};

int ShowPaths(const PathsRequest& request, std::ostream& out, std::ostream& err);
int ShowSettings(std::ostream& out);
int Listen(const ListenRequest& request, std::ostream& out, std::ostream& err);
int Relay(const RelayRequest& request, std::ostream& out, std::ostream& err);
int Deliver(const DeliverRequest& request, const Console& console, std::ostream& out, std::ostream& err);
int Reindex(const FolderRequest& request, const Console& console, std::ostream& out, std::ostream& err);
int ListItems(const FolderRequest& request, const Console& console, std::ostream& out, std::ostream& err);
int FlagItems(const FlagRequest& request, std::ostream& out, std::ostream& err);
int RemoveItems(const RemoveRequest& request, std::ostream& out, std::ostream& err);
int Import(const ImportRequest& request, const Console& console, std::ostream& out, std::ostream& err);
int Export(const ExportRequest& request, const Console& console, std::ostream& out, std::ostream& err);
int Expunge(const FolderRequest& request, std::ostream& out, std::ostream& err);
int ShowStatus(const FolderRequest& request, std::ostream& out, std::ostream& err);
int ShowItem(const ItemRequest& request, std::ostream& out, std::ostream& err);
int SetItem(const SetRequest& request, std::ostream& out, std::ostream& err);
int ListFolders(const FoldersRequest& request, const Console& console, std::ostream& out, std::ostream& err);
int MakeFolder(const FolderChangeRequest& request, std::ostream& out, std::ostream& err);
int RenameFolder(const FolderMoveRequest& request, std::ostream& out, std::ostream& err);
int CopyFolderTree(const FolderMoveRequest& request, std::ostream& out, std::ostream& err);
int RemoveFolderTree(const FolderRemoveRequest& request, const Prompt& prompt, std::ostream& out,
                     std::ostream& err);
// Asks whether to remove the folder with everything in it; true on "y" or
// "yes" in any letter case.
bool ConfirmRemoval(const std::string& folder, const std::string& mailbox, std::istream& answers,
                    std::ostream& questions);

}  // namespace tw::cli
