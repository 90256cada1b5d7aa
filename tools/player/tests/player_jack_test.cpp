// The built velaorin against a private jackd on the dummy driver: notes in, sound out, saved
// state, errors, and the ways it stops.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <optional>

#include "BankFiles.h"
#include "PlayerTestSupport.h"
#include "StateFile.h"

namespace {

constexpr int kRate = JackServer::kRate;
constexpr int64_t kMs = kRate / 1000;

class PlayerJack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.up()) << readFile(folder_.file("jackd.err"));
  }

  std::vector<std::string> env() const {
    return {server_.env(), "XDG_CONFIG_HOME=" + folder_.path(), "DISPLAY="};
  }
  std::string statePath() const { return folder_.path() + "/velaorin/state"; }

  std::unique_ptr<Child> startPlayer(std::vector<std::string> args, JackProbe& probe) {
    args.insert(args.begin(), {VELA_PLAYER, "--no-gui", "--no-connect", "--name", "Vo"});
    auto player = std::make_unique<Child>(args, env(), folder_.file("player" + std::to_string(runs_++)));
    EXPECT_TRUE(player->waitForOutput("running as JACK client", kPatientMs)) << player->err();
    EXPECT_TRUE(probe.waitForPort("Vo:out_R", true, kPatientMs));
    return player;
  }

  // SIGTERM, then a clean exit with the ports gone.
  void stopPlayer(Child& player, JackProbe& probe, int signal = SIGTERM) {
    player.signal(signal);
    EXPECT_EQ(player.wait(kPatientMs), 0) << player.err();
    EXPECT_TRUE(probe.waitForPort("Vo:midi_in", false, kPatientMs));
  }

  ScratchFolder folder_;
  JackServer server_{folder_.path()};
  int runs_ = 0;
};

TEST_F(PlayerJack, NotesSoundWhereTheyAreAndStopAfterRelease) {
  JackProbe probe(server_.name());
  ASSERT_TRUE(probe.open());
  auto player = startPlayer({}, probe);
  ASSERT_TRUE(probe.connectTo("Vo"));
  // The connections take effect in a later cycle, the later the busier the machine: short notes
  // until one comes back, then silence.
  bool answering = false;
  for (int tries = 0; tries < 50 && !answering; ++tries) {
    const int64_t at = probe.play({{0, 0x90, 48, 100}, {20 * kMs, 0x80, 48, 0}}, 10 * kMs);
    answering = probe.waitForSound(at, 500) >= 0;
  }
  ASSERT_TRUE(answering) << "no note came back";
  ASSERT_TRUE(probe.waitForSilence(probe.frame(), 100 * kMs));
  // At the server's period, then after JACK changes it under the running player.
  for (int period : {JackServer::kPeriod, 1024}) {
    SCOPED_TRACE(period);
    const int xruns = probe.xruns();
    auto late = [&] { return ::testing::Message() << probe.xruns() - xruns << " late cycles"; };
    if (period != JackServer::kPeriod) {
      ASSERT_TRUE(probe.setBufferSize(period));
    }
    // Two notes, the second well after the first's release has ended.
    const int64_t start = probe.play({{0, 0x90, 60, 100}, {300 * kMs, 0x80, 60, 0},
                                      {700 * kMs, 0x91, 72, 80}, {900 * kMs, 0x81, 72, 0}},
                                     100 * kMs);
    const std::optional<Recording> heard = probe.recording(start - 100 * kMs, start + 1300 * kMs);
    ASSERT_TRUE(heard) << "the probe recorded to " << probe.frame() << ", not to "
                       << start + 1300 * kMs;
    // One period of slack each way for where JACK orders the two clients.
    const int64_t slack = 2 * period;
    const struct {
      int64_t from, to;
      bool sound;
    } windows[] = {{-100 * kMs, -slack, false}, {slack + 20 * kMs, 300 * kMs - slack, true},
                   {330 * kMs + slack, 700 * kMs - slack, false},
                   {700 * kMs + slack + 20 * kMs, 900 * kMs - slack, true},
                   {930 * kMs + slack, 1300 * kMs, false}};
    for (const auto& w : windows) {
      SCOPED_TRACE(::testing::Message() << "ms " << w.from / kMs << " to " << w.to / kMs);
      const std::optional<float> level = heard->peak(start + w.from, start + w.to);
      ASSERT_TRUE(level) << "outside the recording";
      if (w.sound)
        EXPECT_GT(*level, 0.01f) << late();
      else
        EXPECT_EQ(*level, 0.0f) << late();
    }
    // Each note starts at its own frame inside the period (the attack's first sample is 0), a
    // whole number of periods late depending on the order JACK runs the two clients in.
    for (int64_t note : {int64_t{0}, 700 * kMs}) {
      int64_t onset = start + note - slack;
      ASSERT_TRUE(heard->holds(onset, start + note + slack));
      while (onset < start + note + slack && heard->at(onset) == 0.0f) ++onset;
      EXPECT_EQ((onset - start - note - 1) % period, 0) << onset - start - note << ", " << late();
    }
    EXPECT_EQ(heard->left, heard->right);
  }
  stopPlayer(*player, probe);
}

TEST_F(PlayerJack, StateSurvivesARestartAndADamagedFileIsIgnored) {
  JackProbe probe(server_.name(), 0.1);
  ASSERT_TRUE(probe.open());
  // Names with what the format must escape; values that need every digit, different in each
  // program.
  PlayerState state;
  state.program = 7;
  for (int n = 0; n < 32; ++n) {
    state.names.push_back(std::to_string(n) + " p");
    state.values.emplace_back();
    for (int i = 0; i < 14; ++i) state.values.back().push_back(static_cast<float>((n * 14 + i) % 29) / 28.0f);
  }
  state.values[7][0] = 1.0f / 3;
  state.names[7] = "Back\\slash\ttab";
  const std::vector<std::string> params = {"Mod1", "Mod2", "FB1", "FB2", "A", "D", "S",
                                           "R", "CutOff", "Q", "Type", "Env", "M1S", "M2S"};
  std::string error;
  ASSERT_TRUE(replaceFile(statePath(), formatState(state, params), error));

  auto player = startPlayer({}, probe);
  stopPlayer(*player, probe);
  EXPECT_EQ(readFile(statePath()), formatState(state, params)) << "loaded and saved unchanged";

  // An edit to program 7 is kept after switching to program 3 and restarting twice.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--program", "7", "--param", "cutoff=0.125"},
        std::vector<std::string>{"--program", "3"}, std::vector<std::string>{}}) {
    player = startPlayer(args, probe);
    stopPlayer(*player, probe);
  }
  const StateParse changed = parseState(readFile(statePath()), params, 32);
  ASSERT_TRUE(changed.ok) << changed.error;
  EXPECT_EQ(changed.state.program, 3);
  state.values[7][8] = 0.125f;
  EXPECT_EQ(changed.state.values, state.values);
  EXPECT_EQ(changed.state.names, state.names);

  // A version 1 file: the current program's values, every name; the other programs as new.
  ASSERT_TRUE(replaceFile(statePath(),
                          "velaorin-state 1\nprogram 5\nparam Mod1 0.25\nparam Mod2 0.25\nparam FB1 0\n"
                          "param FB2 0\nparam A 0\nparam D 0\nparam S 1\nparam R 0\nparam CutOff 1\n"
                          "param Q 0\nparam Type 0\nparam Env 0\nparam M1S 0\nparam M2S 0\n" +
                              [] {
                                std::string names;
                                for (int n = 0; n < 32; ++n) names += "name " + std::to_string(n) + " old" + std::to_string(n) + "\n";
                                return names;
                              }() + "end\n",
                          error));
  player = startPlayer({}, probe);
  stopPlayer(*player, probe);
  const StateParse upgraded = parseState(readFile(statePath()), params, 32);
  ASSERT_TRUE(upgraded.ok) << upgraded.error;
  ASSERT_FALSE(upgraded.state.onlyCurrentValues) << "saved again as version 2";
  EXPECT_EQ(upgraded.state.program, 5);
  EXPECT_EQ(upgraded.state.names[31], "old31");
  EXPECT_EQ(upgraded.state.values[5],
            (std::vector<float>{0.25f, 0.25f, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(upgraded.state.values[1][0], 5.0f / 24.0f) << "Eth Drm's values";

  // Cut short: reported, left alone while running, replaced by a good file on exit.
  const std::string damaged = readFile(statePath()).substr(0, 200);
  writeFile(statePath(), damaged);
  player = startPlayer({}, probe);
  EXPECT_EQ(readFile(statePath()), damaged);
  stopPlayer(*player, probe, SIGINT);
  EXPECT_NE(player->err().find("damaged"), std::string::npos) << player->err();
  const StateParse fresh = parseState(readFile(statePath()), params, 32);
  ASSERT_TRUE(fresh.ok) << fresh.error;
  EXPECT_EQ(fresh.state.names[1], "Eth Drm") << "factory programs";
  EXPECT_EQ(fresh.state.program, 0);

  // --reset ignores a good file.
  ASSERT_TRUE(replaceFile(statePath(), formatState(state, params), error));
  player = startPlayer({"--reset"}, probe);
  stopPlayer(*player, probe);
  EXPECT_EQ(parseState(readFile(statePath()), params, 32).state.names[7], "init8");
}

// A tuning given once is saved with its files' contents: after the files are gone it still
// plays (a keyboard mapping from key 61 up leaves 60 silent), and --reset forgets it.
TEST_F(PlayerJack, TheTuningIsKeptInTheStateAndResetForgetsIt) {
  JackProbe probe(server_.name());
  ASSERT_TRUE(probe.open());
  const std::string scale = "! a.scl\n12 equal\n12\n" + [] {
    std::string pitches;
    for (int k = 1; k <= 12; ++k) pitches += std::to_string(k) + "00.0\n";
    return pitches;
  }();
  const std::string mapping = "0\n61\n127\n60\n69\n440.0\n12\n";
  writeFile(folder_.file("a.scl"), scale);
  writeFile(folder_.file("a.kbm"), mapping);
  auto player =
      startPlayer({"--scale", folder_.file("a.scl"), "--keymap", folder_.file("a.kbm")}, probe);
  stopPlayer(*player, probe);
  std::remove(folder_.file("a.scl").c_str());
  std::remove(folder_.file("a.kbm").c_str());
  const std::vector<std::string> params = {"Mod1", "Mod2", "FB1", "FB2", "A", "D", "S",
                                           "R", "CutOff", "Q", "Type", "Env", "M1S", "M2S"};
  const StateParse saved = parseState(readFile(statePath()), params, 32);
  ASSERT_TRUE(saved.ok) << saved.error;
  EXPECT_EQ(saved.state.tuning, (TuningFiles{ScalaText{"a.scl", scale}, ScalaText{"a.kbm", mapping}}));

  // Whether key 60 sounds, once a note of key 62 has come back through the connections.
  const auto keySixtySounds = [&] {
    bool answering = false;
    for (int tries = 0; tries < 50 && !answering; ++tries) {
      const int64_t at = probe.play({{0, 0x90, 62, 100}, {20 * kMs, 0x80, 62, 0}}, 10 * kMs);
      answering = probe.waitForSound(at, 500) >= 0;
    }
    EXPECT_TRUE(answering) << "no note came back";
    EXPECT_TRUE(probe.waitForSilence(probe.frame(), 100 * kMs));
    const int64_t start = probe.play({{0, 0x90, 60, 100}, {200 * kMs, 0x80, 60, 0}}, 10 * kMs);
    const std::optional<Recording> heard = probe.recording(start, start + 300 * kMs);
    EXPECT_TRUE(heard);
    return heard && heard->peak(start, start + 300 * kMs).value_or(0.0f) > 0.01f;
  };
  player = startPlayer({}, probe);
  ASSERT_TRUE(probe.connectTo("Vo"));
  EXPECT_FALSE(keySixtySounds()) << "the saved tuning is not in force";
  stopPlayer(*player, probe);
  EXPECT_EQ(parseState(readFile(statePath()), params, 32).state.tuning, saved.state.tuning);

  player = startPlayer({"--reset"}, probe);
  ASSERT_TRUE(probe.connectTo("Vo"));
  EXPECT_TRUE(keySixtySounds());
  stopPlayer(*player, probe);
  EXPECT_EQ(readFile(statePath()).rfind("velaorin-state 2\n", 0), 0u) << "no tuning";
}

// A bank exported by a host (version 1, its own version number) and a preset of ours load at
// start, before --program and --param; what the player then keeps is what they held.
TEST_F(PlayerJack, BankAndPresetLoadAtStart) {
  JackProbe probe(server_.name(), 0.1);
  ASSERT_TRUE(probe.open());
  BankImage bank{};
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    std::snprintf(bank.programs[n].name, sizeof bank.programs[n].name, "Host %d", static_cast<int>(n));
    for (int32_t i = 0; i < kNumParams; ++i)
      bank.programs[n].values[i] = static_cast<float>((n + 3 * i) % 31) / 30.0f;
  }
  std::vector<uint8_t> exported = writeBankFile(bank);
  for (size_t at : {size_t{12}, size_t{20}, size_t{28}}) exported[at] = exported[at + 1] = exported[at + 2] = 0;
  exported[15] = 1;  // version 1
  exported[23] = 7;  // a host's version number
  exported[31] = 0;  // no current program
  std::ofstream(folder_.file("host.fxb"), std::ios::binary)
      .write(reinterpret_cast<const char*>(exported.data()), static_cast<std::streamsize>(exported.size()));
  ProgramImage preset = bank.programs[30];
  std::snprintf(preset.name, sizeof preset.name, "Preset");
  const std::vector<uint8_t> presetBytes = writeProgramFile(preset);
  std::ofstream(folder_.file("one.fxp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(presetBytes.data()), static_cast<std::streamsize>(presetBytes.size()));

  const std::vector<std::string> params = {"Mod1", "Mod2", "FB1", "FB2", "A", "D", "S",
                                           "R", "CutOff", "Q", "Type", "Env", "M1S", "M2S"};
  // Ours keeps the current program; a host's leaves it as it was.
  bank.currentProgram = 9;
  const std::vector<uint8_t> ours = writeBankFile(bank);
  std::ofstream(folder_.file("ours.fxb"), std::ios::binary)
      .write(reinterpret_cast<const char*>(ours.data()), static_cast<std::streamsize>(ours.size()));
  for (const char* file : {"ours.fxb", "host.fxb"}) {
    SCOPED_TRACE(file);
    auto player = startPlayer({"--reset", "--bank", folder_.file(file)}, probe);
    stopPlayer(*player, probe);
    const StateParse loaded = parseState(readFile(statePath()), params, 32);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.state.program, std::string(file) == "ours.fxb" ? 9 : 0);
    EXPECT_EQ(loaded.state.names[31], "Host 31");
    EXPECT_EQ(loaded.state.values[31],
              std::vector<float>(bank.programs[31].values, bank.programs[31].values + kNumParams));
  }

  auto player = startPlayer({"--bank", folder_.file("host.fxb"), "--program", "4", "--preset",
                             folder_.file("one.fxp"), "--param", "Q=1"},
                            probe);
  stopPlayer(*player, probe);
  const StateParse kept = parseState(readFile(statePath()), params, 32);
  ASSERT_TRUE(kept.ok) << kept.error;
  EXPECT_EQ(kept.state.program, 4);
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    SCOPED_TRACE(n);
    std::vector<float> expected(bank.programs[n].values, bank.programs[n].values + kNumParams);
    if (n == 4) {
      expected.assign(preset.values, preset.values + kNumParams);
      expected[kQ] = 1.0f;
    }
    EXPECT_EQ(kept.state.values[static_cast<size_t>(n)], expected);
    EXPECT_EQ(kept.state.names[static_cast<size_t>(n)], n == 4 ? "Preset" : bank.programs[n].name);
  }
}

TEST_F(PlayerJack, ServerGoneSavesStateAndFails) {
  JackProbe probe(server_.name(), 0.1);
  ASSERT_TRUE(probe.open());
  auto player = startPlayer({"--program", "1"}, probe);
  server_.stop();
  EXPECT_EQ(player->wait(kPatientMs), 1);
  EXPECT_NE(player->err().find("the JACK server went away"), std::string::npos) << player->err();
  EXPECT_NE(readFile(statePath()).find("program 1\n"), std::string::npos);
}

// A server already answering to a name (another test's, or one a killed test left behind) is
// never taken for one's own: its settings and clients are not ours.
TEST_F(PlayerJack, ASecondTestServerTakesAnotherName) {
  ScratchFolder folder;
  JackServer second(folder.path());
  ASSERT_TRUE(second.up()) << readFile(folder.file("jackd.err"));
  EXPECT_NE(second.name(), server_.name());
}

TEST_F(PlayerJack, FailuresAreOneLineAndNonZero) {
  const struct {
    std::vector<std::string> args;
    std::string env;
    std::string message;
  } cases[] = {
      {{}, "JACK_DEFAULT_SERVER=no-such-server", "no JACK server is running"},
      {{"--connect-midi", "nobody:out"}, "", "'nobody:out' does not exist"},
      {{"--connect-audio", "system:playback_1,nobody:in"}, "", "'nobody:in' does not exist"},
      {{"--plugin", "/nonexistent/VelaOrin.so"}, "", "not found"},
      {{"--param", "Nope=0.5"}, "", "unknown parameter 'Nope'"},
      {{"--bank", folder_.file("state.fxb")}, "", "cannot read bank"},
      {{"--preset", folder_.file("absent.fxp")}, "", "cannot open preset"},
      {{}, "DISPLAY=:nothing", "cannot open the X display"},
  };
  writeFile(folder_.file("state.fxb"), "velaorin-state 2\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = c.args;
    if (c.env.rfind("DISPLAY", 0) != 0) args.insert(args.begin(), "--no-gui");
    args.insert(args.begin(), VELA_PLAYER);
    std::vector<std::string> environment = env();
    if (!c.env.empty()) environment.push_back(c.env);
    Child player(args, environment, folder_.file("fail"));
    EXPECT_EQ(player.wait(kPatientMs), 1);
    const std::string err = player.err();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
  }
  EXPECT_FALSE(std::ifstream(statePath()).good()) << "nothing saved by a failed start";
}

}  // namespace
