// Sibling libraries: a Windows DLL path maps to lib + lower-case stem + .so
// in the same directory ("C:\x\TWOPTION.DLL" -> "/x/libtwoption.so").
#pragma once
#include <string>

namespace tw::platform {

using LibraryHandle = void*;

// The Linux file a Windows library path stands for. A path with no
// directory, or a relative one, is looked for beside libtwstore.so.
std::string MapLibraryPath(const std::string& windowsPath);

LibraryHandle LoadLibrary(const std::string& windowsPath);  // nullptr on failure, last error set
void* GetProcAddress(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);

// Directory holding the library this code is linked into (no trailing "/").
std::string ThisLibraryDirectory();
// Full path of the host executable.
std::string HostExecutablePath();

std::string GetEnvironment(const char* name);  // empty when unset

}  // namespace tw::platform
