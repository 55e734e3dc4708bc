#include "frame/settings.h"

#include <gtest/gtest.h>

#include "frame/registry_access.h"
#include "support/test_support.h"

namespace tw {
namespace {

const std::string kRoot = test::RegistryKey();
const std::string kMapi = test::RegistryKey("Services\\MAPI");

TEST(FrameSettings, DefaultsWithAnEmptyRegistry) {
  test::ScopedRegistry registry("");
  StoreSettingsSources sources;
  const StoreSettings s = ReadStoreSettings(&sources);
  EXPECT_EQ(s.mailRoot, "\\POSTOFFICES");
  EXPECT_EQ(s.blockFileBase, "\\POSTOFFICES");
  EXPECT_EQ(s.storeEventNotificationMode, 0u);
  EXPECT_EQ(s.mailboxSizeCalcMode, 0u);
  EXPECT_EQ(s.allowCustomPostofficePaths, 0u);
  EXPECT_EQ(s.badMailDirectory, "");
  EXPECT_EQ(sources.mailRoot, "default");
}

TEST(FrameSettings, MailRootSourcesInOrder) {
  test::ScopedRegistry registry(std::string(kRoot) + "\"Mail Root\"=\"/srv/mail\"\r\n\"Data Directory\"=\"/srv/data\"\r\n" +
                                kMapi + "\"Mail Root Directory\"=\"/srv/mapi\"\r\n");
  EXPECT_EQ(ReadStoreSettings().mailRoot, "/srv/mapi");

  registry.Rewrite(std::string(kRoot) + "\"Mail Root\"=\"/srv/mail\"\r\n" + kMapi + "\"Mail Root Directory\"=\"\"\r\n");
  EXPECT_EQ(ReadStoreSettings().mailRoot, "/srv/mail") << "an empty Mail Root Directory counts as missing";

  registry.Rewrite(std::string(kRoot) + "\"Data Directory\"=\"/srv/data\"\r\n");
  StoreSettingsSources sources;
  EXPECT_EQ(ReadStoreSettings(&sources).mailRoot, "/srv/data\\POSTOFFICES");
  EXPECT_NE(sources.mailRoot.find("Data Directory"), std::string::npos);
}

TEST(FrameSettings, NumbersAndTexts) {
  test::ScopedRegistry registry(std::string(kRoot) +
                                "\"Store Event Notification Mode\"=dword:00000002\r\n"
                                "\"Mailbox Size Calc Mode\"=dword:00000001\r\n"
                                "\"Allow Custom Postoffice Paths\"=dword:00000001\r\n"
                                "\"Bad Mail Directory\"=\"/srv/bad\"\r\n");
  const StoreSettings s = ReadStoreSettings();
  EXPECT_EQ(s.storeEventNotificationMode, 2u);
  EXPECT_EQ(s.mailboxSizeCalcMode, 1u);
  EXPECT_EQ(s.allowCustomPostofficePaths, 1u);
  EXPECT_EQ(s.badMailDirectory, "/srv/bad");
}

TEST(FrameRegistryAccess, OlderKeyPathsAreRedirected) {
  EXPECT_EQ(RedirectTo32BitView("Software\\Tarnwick\\Tarnwick"), "Software\\Wow6432Node\\Tarnwick\\Tarnwick");
  EXPECT_EQ(RedirectTo32BitView("SOFTWARE\\TARNWICK\\x\\Software\\Tarnwick"),
            "Software\\Wow6432Node\\Tarnwick\\x\\Software\\Tarnwick");
  EXPECT_EQ(RedirectTo32BitView("SOFTWARE\\Wow6432Node\\Tarnwick"), "SOFTWARE\\Wow6432Node\\Tarnwick");

  test::ScopedRegistry registry(std::string(kRoot) + "\"Name\"=\"value\"\r\n");
  std::string text;
  EXPECT_EQ(ReadRegistryString("Software\\Tarnwick\\Tarnwick", "Name", text), 1u);
  EXPECT_EQ(text, "value");
  EXPECT_EQ(ReadRegistryString("software\\wow6432node\\tarnwick\\tarnwick", "NAME", text), 1u);
}

TEST(FrameRegistryAccess, StringCapacityRules) {
  test::ScopedRegistry registry(std::string(kRoot) + "\"Name\"=\"12345\"\r\n\"Empty\"=\"\"\r\n");
  char buffer[8] = "junk";
  EXPECT_EQ(ReadRegistryString(kRegistryRoot, "Name", buffer, 0), 0u);
  EXPECT_EQ(ReadRegistryString(kRegistryRoot, "Name", buffer, 5), 0u) << "no room for the terminator";
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(ReadRegistryString(kRegistryRoot, "Name", buffer, 6), 1u);
  EXPECT_STREQ(buffer, "12345");
  EXPECT_EQ(ReadRegistryString(kRegistryRoot, "Empty", buffer, 8), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(ReadRegistryString(kRegistryRoot, "Missing", buffer, 8), 0u);
}

TEST(FrameRegistryAccess, DwordLeavesTheDestinationAloneOnFailure) {
  test::ScopedRegistry registry(std::string(kRoot) + "\"Count\"=dword:0000003c\r\n\"Text\"=\"7\"\r\n");
  uint32_t value = 99;
  EXPECT_EQ(ReadRegistryDword(kRegistryRoot, "Count", &value), 1u);
  EXPECT_EQ(value, 60u);
  value = 99;
  EXPECT_EQ(ReadRegistryDword(kRegistryRoot, "Text", &value), 0u);
  EXPECT_EQ(ReadRegistryDword(kRegistryRoot, "Missing", &value), 0u);
  EXPECT_EQ(ReadRegistryDword("", "Count", &value), 0u);
  EXPECT_EQ(value, 99u);
}

}  // namespace
}  // namespace tw
