// twstore list: the folder's items as its index holds them, in UID order.
// Piped, each item is one tab-separated line with every text whole; on a
// terminal the columns are aligned under a heading and long texts are cut
// to the width of the screen. With --json, one object holds every item with
// typed values.
#include <algorithm>
#include <vector>

#include "commands.h"
#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"
#include "index_values.h"
#include "json_writer.h"
#include "mail_folder.h"

namespace tw::cli {

namespace {

constexpr int kDefaultColumns = 100;
constexpr size_t kFlagsWidth = 24;
constexpr size_t kDateWidth = 31;  // "Wed, 12 Jun 2024 10:00:00 +0000"
constexpr size_t kFromWidth = 28;
constexpr size_t kMinSubjectWidth = 20;
constexpr size_t kMinFromWidth = 10;
constexpr size_t kNarrowestSubject = 10;

struct Row {
  std::string uid, flags, size, date, from, subject;
};

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters shown, counting a UTF-8 sequence once.
size_t Width(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

// Cut to `width` characters, "..." marking the cut; never inside a UTF-8
// sequence.
std::string Cut(const std::string& text, size_t width) {
  if (Width(text) <= width) return text;
  const size_t keep = width > 3 ? width - 3 : 0;
  size_t shown = 0, at = 0;
  for (; at < text.size(); ++at) {
    if (!IsContinuationByte(text[at]) && shown++ == keep) break;
  }
  return text.substr(0, at) + std::string(std::min<size_t>(width, 3), '.');
}

std::string Padded(const std::string& text, size_t width, bool right) {
  const size_t shown = Width(text);
  if (shown >= width) return text;
  const std::string fill(width - shown, ' ');
  return right ? fill + text : text + fill;
}

void PrintAligned(const std::vector<Row>& rows, int columns, std::ostream& out) {
  const Row heading{"UID", "FLAGS", "SIZE", "DATE", "FROM", "SUBJECT"};
  size_t uidWidth = heading.uid.size(), sizeWidth = heading.size.size(), flagsWidth = heading.flags.size(),
         dateWidth = heading.date.size(), fromWidth = heading.from.size();
  for (const Row& row : rows) {
    uidWidth = std::max(uidWidth, row.uid.size());
    sizeWidth = std::max(sizeWidth, row.size.size());
    flagsWidth = std::max(flagsWidth, std::min(Width(row.flags), kFlagsWidth));
    dateWidth = std::max(dateWidth, std::min(Width(row.date), kDateWidth));
    fromWidth = std::max(fromWidth, std::min(Width(row.from), kFromWidth));
  }
  const size_t total = static_cast<size_t>(columns > 0 ? columns : kDefaultColumns);
  auto used = [&] { return uidWidth + flagsWidth + sizeWidth + dateWidth + fromWidth + 5 * 2 + 1; };
  // A narrow screen gives up sender text before subject text.
  while (used() + kMinSubjectWidth > total && fromWidth > kMinFromWidth) --fromWidth;
  // Only a very narrow screen wraps.
  const size_t subjectWidth = std::max(total > used() ? total - used() : 0, kNarrowestSubject);
  auto print = [&](const Row& row) {
    out << Padded(row.uid, uidWidth, true) << "  " << Padded(Cut(row.flags, flagsWidth), flagsWidth, false) << "  "
        << Padded(row.size, sizeWidth, true) << "  " << Padded(Cut(row.date, dateWidth), dateWidth, false) << "  "
        << Padded(Cut(row.from, fromWidth), fromWidth, false) << "  " << Cut(row.subject, subjectWidth) << "\n";
  };
  print(heading);
  for (const Row& row : rows) print(row);
}

void PrintTabbed(const std::vector<Row>& rows, std::ostream& out) {
  for (const Row& row : rows)
    out << row.uid << '\t' << row.flags << '\t' << row.size << '\t' << row.date << '\t' << row.from << '\t'
        << row.subject << '\n';
}

void NumberOrNull(JsonWriter& json, std::string_view text) {
  if (const std::optional<uint64_t> number = NumberFromText(text))
    json.Number(*number);
  else
    json.Null();
}

void PrintJson(const MailFolder& folder, FolderIndex& index, std::ostream& out) {
  JsonWriter json;
  json.BeginObject().Key("postoffice").Text(folder.postoffice).Key("mailbox").Text(folder.mailbox);
  json.Key("folder").Text(folder.folder).Key("items").BeginArray();
  for (const IndexItemPropertyContainer* item : index.Index().ByUid()) {
    json.BeginObject().Key("uid");
    NumberOrNull(json, item->GetText(kKeyUid));
    json.Key("id").Text(item->GetText(kKeyId)).Key("flags").BeginArray();
    const std::string flags = item->GetText("FLAGSTATUS");
    for (size_t at = 0; at < flags.size();) {
      const size_t end = std::min(flags.find(' ', at), flags.size());
      if (end > at) json.Text(std::string_view(flags).substr(at, end - at));
      at = end + 1;
    }
    json.EndArray().Key("size");
    NumberOrNull(json, item->GetText("SIZE"));
    json.Key("date");
    if (const std::string date = UtcFromLocalText(item->GetText("MESSAGEDATE")); !date.empty())
      json.Text(date);
    else
      json.Null();
    json.Key("from").Text(item->GetText("FROM")).Key("subject").Text(item->GetText("SUBJECT")).EndObject();
  }
  json.EndArray().EndObject();
  out << json.Result() << "\n";
}

}  // namespace

int ListItems(const FolderRequest& request, const Console& console, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request, folder, err); rc != 0) return rc;
  FolderIndex index(folder);
  if (!index.Open(kOpenAsAService)) {
    err << "twstore: the index of folder " << Quoted(folder.folder) << " could not be read (in "
        << Shown(folder.directory) << "; try: twstore reindex)\n";
    return kExitFailed;
  }
  if (request.json) {
    PrintJson(folder, index, out);
    return out.good() ? 0 : kExitFailed;
  }
  std::vector<Row> rows;
  rows.reserve(index.Index().Count());
  for (const IndexItemPropertyContainer* item : index.Index().ByUid()) {
    rows.push_back(Row{Printable(item->GetText("UID")), Printable(item->GetText("FLAGSTATUS")),
                       Printable(item->GetText("SIZE")),
                       Printable(item->GetText("MESSAGEDATE")), Printable(item->GetText("FROM")),
                       Printable(item->GetText("SUBJECT"))});
  }
  if (console.outIsTerminal)
    PrintAligned(rows, console.outColumns, out);
  else
    PrintTabbed(rows, out);
  return out.good() ? 0 : kExitFailed;
}

}  // namespace tw::cli
