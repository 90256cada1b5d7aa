// jalv, Debian's console LV2 host, plays the build tree's bundle on a private JACK server (the
// dummy driver): notes sent to its MIDI port sound, controller 123 stops them, as hosts that send
// it instead of note-offs on transport stop expect.
#include <gtest/gtest.h>

#include "Lv2Bundle.h"
#include "PlayerTestSupport.h"

namespace {

constexpr int64_t kMs = JackServer::kRate / 1000;

TEST(Lv2Jalv, NotesSoundAndController123StopsThem) {
  ScratchFolder folder;
  JackServer server(folder.path());
  ASSERT_TRUE(server.up()) << readFile(folder.file("jackd.err"));
  JackProbe probe(server.name(), 4.0);
  ASSERT_TRUE(probe.open());
  // JACK ports are named after the port symbols: the player's names, so the probe connects.
  Child jalv({"/usr/bin/jalv", "-i", "-x", "-n", "Vo", velalv2::kPluginUri},
             {server.env(), "LV2_PATH=" VELA_LV2_DIR}, folder.file("jalv"));
  ASSERT_TRUE(probe.waitForPort("Vo:out_R", true, 20000)) << jalv.out() << jalv.err();
  ASSERT_TRUE(probe.connectTo("Vo"));
  // Two notes on different channels, held; then all notes off on a third. The default release
  // lasts 10 ms.
  const int64_t start = probe.play(
      {{0, 0x90, 60, 100}, {100 * kMs, 0x93, 67, 90}, {600 * kMs, 0xB5, 123, 0}}, 100 * kMs);
  probe.waitUntilFrame(start + 1000 * kMs);
  const int64_t slack = 2 * JackServer::kPeriod;  // where JACK orders the two clients
  EXPECT_EQ(peak(probe.left(), start - 100 * kMs, start - slack), 0.0f);
  EXPECT_GT(peak(probe.left(), start + slack + 20 * kMs, start + 100 * kMs), 0.01f);
  EXPECT_GT(peak(probe.right(), start + 100 * kMs + slack + 20 * kMs, start + 600 * kMs - slack),
            0.01f);
  EXPECT_EQ(peak(probe.left(), start + 650 * kMs + slack, start + 1000 * kMs), 0.0f);
  EXPECT_EQ(peak(probe.right(), start + 650 * kMs + slack, start + 1000 * kMs), 0.0f);
  EXPECT_TRUE(jalv.running()) << jalv.err();
}

}  // namespace
