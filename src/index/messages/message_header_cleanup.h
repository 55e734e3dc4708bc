// Strips the "X-UID:" and "X-TWTempFlags:" lines from a message file's
// header once the file has been indexed with UID branding on, so that a
// copied or restored file does not carry another folder's UID or flags.
#pragma once
#include <string>

namespace tw {

// Copies the file to "_" + name in its folder without those header lines
// (the blank line and the body byte for byte) and puts the copy in its
// place when a line was left out; otherwise the copy is deleted and the
// file stays as it was. True when the file was rewritten.
bool RemoveBrandingHeaders(const std::string& folderPath, const std::string& fileName);

}  // namespace tw
