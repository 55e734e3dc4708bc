// Sibling libraries: DLL names to shared objects, loading, the host executable, the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/last_error.h"
#include "platform/library_loader.h"

namespace tw::platform {
namespace {

TEST(MapLibraryPath, MapsTheNameAndKeepsOnlyAnAbsoluteDirectory) {
  const std::string here = ThisLibraryDirectory() + "/";  // for no directory or a relative one
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\x\\TWOPTION.DLL", "/x/libtwoption.so"}, {"/TWOPTION.DLL", "/libtwoption.so"},
      {"C:\\Program Files\\Tarnwick64\\TWPOCFG.DLL", "/Program Files/Tarnwick64/libtwpocfg.so"},
      {"\\opt\\tw/mixed\\TwNotify.Dll", "/opt/tw/mixed/libtwnotify.so"}, {"/x/TWNOTIFY", "/x/libtwnotify.so"},
      {"/x/name.dll.bak", "/x/libname.dll.bak.so"}, {"TWNOTIFY.DLL", here + "libtwnotify.so"},
      {"64\\TWOPTION.DLL", here + "libtwoption.so"}, {"C:TWPOCFG.DLL", here + "libtwpocfg.so"}};
  for (const auto& [windows, mapped] : cases) EXPECT_EQ(MapLibraryPath(windows), mapped) << windows;
}

TEST(HostExecutablePath, NamesThisProgramWhoseDirectoryIsThisLibraryDirectory) {
  EXPECT_TRUE(std::filesystem::equivalent(HostExecutablePath(), TW_TEST_BIN_DIR "/twstore_tests"));
  EXPECT_EQ(ThisLibraryDirectory() + "/twstore_tests", HostExecutablePath());  // the tests link this code in
}

TEST(LoadLibrary, LoadsSiblingAndFindsEntryPointsByTheirDocumentedNames) {
  LibraryHandle library = LoadLibrary(TW_TEST_LIB_DIR "\\TWOPTION.DLL");
  ASSERT_NE(library, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(library, "GetOption"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorProcNotFound);
  FreeLibrary(library);
  EXPECT_EQ(GetProcAddress(nullptr, "GetOption"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(LoadLibrary("/nonexistent/dir/TWNOTIFY.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorModNotFound);
}

}  // namespace
}  // namespace tw::platform
