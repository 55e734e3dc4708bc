// Sibling libraries: Windows library names to shared objects, loading and
// entry points; the host executable and the environment.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/last_error.h"
#include "platform/library_loader.h"

namespace tw::platform {
namespace {

std::string Canonical(const std::string& path) { return std::filesystem::canonical(path).string(); }

TEST(MapLibraryPath, KeepsAbsoluteDirectoryAndMapsTheName) {
  EXPECT_EQ(MapLibraryPath("C:\\x\\TWOPTION.DLL"), "/x/libtwoption.so");
  EXPECT_EQ(MapLibraryPath("C:\\Program Files\\Tarnwick64\\TWPOCFG.DLL"),
            "/Program Files/Tarnwick64/libtwpocfg.so");
  EXPECT_EQ(MapLibraryPath("/opt/tw/lib/TwNotify.dll"), "/opt/tw/lib/libtwnotify.so");
  EXPECT_EQ(MapLibraryPath("\\opt\\tw/mixed\\TWNOTIFY.Dll"), "/opt/tw/mixed/libtwnotify.so");
  EXPECT_EQ(MapLibraryPath("/TWOPTION.DLL"), "/libtwoption.so");
}

TEST(MapLibraryPath, NameWithoutDllExtensionStillGetsLibAndSo) {
  EXPECT_EQ(MapLibraryPath("/x/TWNOTIFY"), "/x/libtwnotify.so");
  EXPECT_EQ(MapLibraryPath("/x/name.dll.bak"), "/x/libname.dll.bak.so");
}

TEST(MapLibraryPath, NoOrRelativeDirectoryMeansBesideThisLibrary) {
  const std::string here = ThisLibraryDirectory();
  EXPECT_EQ(MapLibraryPath("TWNOTIFY.DLL"), here + "/libtwnotify.so");
  // "Application Directory" missing: only the "64" appended to it remains.
  EXPECT_EQ(MapLibraryPath("64\\TWOPTION.DLL"), here + "/libtwoption.so");
  EXPECT_EQ(MapLibraryPath("C:TWPOCFG.DLL"), here + "/libtwpocfg.so");
  EXPECT_EQ(MapLibraryPath("relative\\dir\\TWPOCFG.DLL"), here + "/libtwpocfg.so");
}

TEST(ThisLibraryDirectory, IsAnAbsoluteExistingDirectory) {
  const std::string here = ThisLibraryDirectory();
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(here[0], '/');
  EXPECT_NE(here.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(here));
  // The tests link this code into their own executable.
  EXPECT_EQ(here, std::filesystem::path(HostExecutablePath()).parent_path().string());
}

TEST(HostExecutablePath, NamesThisProgram) {
  const std::string self = HostExecutablePath();
  EXPECT_EQ(std::filesystem::path(self).filename(), "twstore_tests");
  EXPECT_EQ(Canonical(self), Canonical(std::string(TW_TEST_BIN_DIR) + "/twstore_tests"));
}

TEST(LoadLibrary, LoadsSiblingAndFindsEntryPoint) {
  const std::string windowsPath = std::string(TW_TEST_LIB_DIR) + "\\TWOPTION.DLL";
  LibraryHandle library = LoadLibrary(windowsPath);
  ASSERT_NE(library, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(library, "GetOption"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(library, "NoSuchEntryPoint"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorProcNotFound);
  FreeLibrary(library);
}

TEST(LoadLibrary, MissingLibraryFailsWithModNotFoundAndSaysWhy) {
  std::vector<std::string> debug;
  SetDebugSink([&](const std::string& text) { debug.push_back(text); });
  SetLastError(0);
  EXPECT_EQ(LoadLibrary("/nonexistent/dir/TWNOTIFY.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorModNotFound);
  SetDebugSink({});
  ASSERT_EQ(debug.size(), 1u);
  EXPECT_NE(debug[0].find("/nonexistent/dir/libtwnotify.so"), std::string::npos) << debug[0];
}

TEST(LoadLibrary, NullArgumentsAreRefused) {
  EXPECT_EQ(GetProcAddress(nullptr, "GetOption"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  FreeLibrary(nullptr);  // accepted, does nothing
}

TEST(GetEnvironment, ReadsSetVariablesAndGivesEmptyForUnset) {
  setenv("TW_LOADER_TEST_VARIABLE", "some value", 1);
  EXPECT_EQ(GetEnvironment("TW_LOADER_TEST_VARIABLE"), "some value");
  unsetenv("TW_LOADER_TEST_VARIABLE");
  EXPECT_EQ(GetEnvironment("TW_LOADER_TEST_VARIABLE"), "");
  EXPECT_EQ(GetEnvironment(nullptr), "");
}

}  // namespace
}  // namespace tw::platform
