#include <gtest/gtest.h>

#include <string>

#include "index/locking/block_settings.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::string Value(bool providers, const char* name, uint32_t value) {
  return test::RegistryKey(providers ? "Providers" : "") + test::DwordValue(name, value);
}

TEST(IndexBlockSettingsTest, EachValueByItsReadRule) {
  const struct {
    const char* name;
    bool providers;
    uint32_t (*read)();
    uint32_t fallback;
    bool once;
  } cases[] = {
      {"Read Wait Timeout", true, &ReadWaitTimeout, 60, false},
      {"Apply Timeout", true, &ApplyTimeout, 20, false},
      {"Write Wait Timeout", true, &WriteWaitTimeout, 80, false},
      {"UnBlock Timeout", true, &UnBlockTimeout, 80, false},
      {"Index Unblock Mode", true, &IndexUnblockMode, 0, true},
      {"Block File Mode", false, &BlockFileMode, 0, true},
      {"Store Notification Wait Timeout", true, &StoreNotificationWaitTimeout, 100, true},
      // Read until non-zero: a 0 is read again, a 5 is kept.
      {"Notify Clients TimeOut", false, &NotifyClientsTimeOut, 0xFFFFFFFF, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetBlockSettingsCache();
    test::ScopedRegistry registry(Value(!c.providers, c.name, 7));  // the wrong key
    EXPECT_EQ(c.read(), c.fallback);
    ResetBlockSettingsCache();
    registry.Rewrite(Value(c.providers, c.name, 0));
    EXPECT_EQ(c.read(), 0u);  // a present 0 is not replaced by the default
    registry.Rewrite(Value(c.providers, c.name, 5));
    EXPECT_EQ(c.read(), c.once ? 0u : 5u);
    registry.Rewrite(Value(c.providers, c.name, 0));
    const bool keepsFive = std::string(c.name) == "Notify Clients TimeOut";
    EXPECT_EQ(c.read(), keepsFive ? 5u : 0u);
  }
  ResetBlockSettingsCache();
}

}  // namespace
}  // namespace tw
