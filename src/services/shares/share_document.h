// One share file (_Shares.xml, _Access.XML or a user's security file) as an
// XML document: read whole, changed in memory, written back whole.
#pragma once
#include <functional>
#include <string>

#include <pugixml.hpp>

namespace tw {

struct ShareDocument {
  std::string path;
  pugi::xml_document document;
  pugi::xml_encoding encoding = pugi::encoding_utf8;
};

// Loads the file at the store path `path`. A file that is missing, cannot
// be read or is not well-formed prints "General error loading index file"
// and gives false.
bool LoadShareDocument(const std::string& path, ShareDocument& share);

// Writes the document to a temporary beside the file and renames it over
// the file, so that no reader sees half of it. A file emptied of its last
// entry is kept with its empty root element: the programs that add shares
// find their file as they expect, and a later removal finds a file it can
// load instead of reporting a missing one. False, after printing the error,
// when it cannot be written.
bool SaveShareDocument(const ShareDocument& share);

// Removes every node `query` selects for which `drop` holds, inner nodes
// before the nodes holding them. Returns how many were removed. `query` is
// a fixed text: names are compared by `drop`, never put into a query.
size_t RemoveSelectedNodes(pugi::xml_document& document, const char* query,
                           const std::function<bool(pugi::xml_node)>& drop);

}  // namespace tw
