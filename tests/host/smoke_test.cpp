#include <gtest/gtest.h>

#include "PluginLoader.h"
#include "RecordingHost.h"

TEST(HostSmoke, LoadsAndCloses) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  PluginEntry entry = builtPlugin().entry("main");
  ASSERT_NE(entry, nullptr);
  RecordingHost::instance().reset();
  AEffect* effect = entry(&RecordingHost::callback);
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(effect->magic, kEffectMagic);
  EXPECT_EQ(dispatch(effect, effClose), 1);
}
