// The player's pure parts: the state file, the command line and the keyboard layouts.
#include <gtest/gtest.h>

#include "Keyboard.h"
#include "PlayerOptions.h"
#include "StateFile.h"

namespace {

const std::vector<std::string> kParams = {"Mod1", "CutOff", "Q"};
constexpr size_t kPrograms = 3;

PlayerState sample() {
  return PlayerState{2,
                     {{0.1f, 1.0f / 3.0f, 1e-9f}, {1.0f, 0.0f, 0.5f}, {0.25f, 0.75f, 0.125f}},
                     {"init1", "Tab\there \\ back", "\xE3\x81\x82 x"},
                     false,
                     {}};
}

// The files' bytes as they are: line ends of both kinds, backslashes, a name with blanks.
PlayerState tuned() {
  PlayerState state = sample();
  state.tuning.scale = ScalaText{"my 19 \\ edo.scl", "! c:\\x0A\r\n19 equal\n19\n" +
                                                          std::string("63.157894737\n") +
                                                          [] {
                                                            std::string rest;
                                                            for (int k = 2; k <= 19; ++k)
                                                              rest += std::to_string(k) + "00.0\n";
                                                            return rest;
                                                          }()};
  state.tuning.keyboardMapping = ScalaText{"a.kbm", "0\n0\n127\n60\n69\n432.0\n19\n"};
  return state;
}

TEST(PlayerState, RoundTripKeepsEveryBitAndByte) {
  const PlayerState state = sample();
  const StateParse back = parseState(formatState(state, kParams), kParams, kPrograms);
  ASSERT_TRUE(back.ok) << back.error;
  EXPECT_EQ(back.state.program, state.program);
  EXPECT_EQ(back.state.values, state.values);  // exact: shortest round-trip text
  EXPECT_EQ(back.state.names, state.names);
  EXPECT_FALSE(back.state.onlyCurrentValues);
  EXPECT_EQ(back.state.tuning, TuningFiles{});
  // Without a tuning the file stays version 2, which older players read; with one it is 3.
  EXPECT_EQ(formatState(state, kParams).rfind("velaorin-state 2\n", 0), 0u);
  for (const PlayerState& withTuning : {tuned(), [] {
         PlayerState scaleOnly = tuned();
         scaleOnly.tuning.keyboardMapping.reset();
         return scaleOnly;
       }()}) {
    const std::string text = formatState(withTuning, kParams);
    EXPECT_EQ(text.rfind("velaorin-state 3\n", 0), 0u);
    const StateParse again = parseState(text, kParams, kPrograms);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.state.tuning, withTuning.tuning);
    EXPECT_EQ(again.state.values, withTuning.values);
  }

  // Version 1 kept the current program's values only.
  const StateParse old = parseState("velaorin-state 1\nprogram 1\nparam Q 0.5\nparam Mod1 1\n"
                                    "param CutOff 0.25\nname 0 a\nname 1 b\nname 2 c\nend\n",
                                    kParams, kPrograms);
  ASSERT_TRUE(old.ok) << old.error;
  EXPECT_TRUE(old.state.onlyCurrentValues);
  EXPECT_EQ(old.state.values,
            (std::vector<std::vector<float>>{{}, {1.0f, 0.25f, 0.5f}, {}}));
  EXPECT_EQ(old.state.names, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(PlayerState, DamagedFilesAreRejectedWithTheReason) {
  const std::string good = formatState(sample(), kParams);
  const std::string tunedText = formatState(tuned(), kParams);
  auto tunedWithout = [&](const std::string& line) {
    std::string text = tunedText;
    text.erase(text.find(line), line.size());
    return text;
  };
  auto tunedReplaced = [&](const std::string& from, const std::string& to) {
    std::string text = tunedText;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  auto without = [&](const std::string& line) {
    std::string text = good;
    text.erase(text.find(line), line.size());
    return text;
  };
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    std::string text;
    std::string why;
  } cases[] = {
      {"", "empty"},
      {good.substr(0, good.find("name 1")), "cut short"},
      {good.substr(0, good.find("values 1") + 3), "unknown line 'val'"},
      {without("end\n"), "cut short"},
      {"something else 1\n" + good, "not a VelaOrin"},
      {replaced("velaorin-state 2", "velaorin-state 4"), "unknown version"},
      {replaced("velaorin-state 2", "velaorin-state 1"), "unknown line 'values'"},
      {replaced(" Q=1e-09", ""), "no value for 'Q' in program 0"},
      {without("values 1 Mod1=1 CutOff=0 Q=0.5\n"), "no values for program 1"},
      {replaced("values 2", "values 1"), "values of program 1 given twice"},
      {replaced("values 2", "values 3"), "bad program number in \"values\""},
      {without("name 1 "), "unknown line"},
      {replaced("name 2", "name 1"), "named twice"},
      {replaced("name 2", "name 3"), "bad program number"},
      {replaced("program 2", "program 3"), "bad program number"},
      {replaced("program 2", "program -1"), "bad program number"},
      {replaced("Q=1e-09", "Q=1.5"), "bad value"},
      {replaced("Q=1e-09", "Q=nan"), "bad value"},
      {replaced("Q=1e-09", "Q=0,5"), "bad value"},
      {replaced("Q=1e-09", "Q"), "bad value"},
      {replaced("Q=1e-09", "Res=0.5"), "unknown parameter"},
      {replaced("Q=1e-09", "CutOff=0.5"), "given twice"},
      {replaced("\\x5C", "\\x5"), "bad escape"},
      {replaced("\\x5C", "\\q5C"), "bad escape"},
      {good + "program 1\n", "after \"end\""},
      {replaced("end\n", "scale-name a.scl\nscale d\\x0A1\\x0A2/1\nend\n"), "unknown line 'scale-name'"},
      {tunedWithout("keymap-name a.kbm\n"), "\"keymap\" and \"keymap-name\" must come together"},
      {tunedReplaced("keymap-name a.kbm\n", "scale-name b.scl\n"), "second \"scale-name\" line"},
      {tunedReplaced("\\x0A19 equal", "\\xZZ19 equal"), "bad escape in \"scale\""},
      {tunedReplaced("\\x0A19\\x0A", "\\x0A20\\x0A"),
       "the tuning is refused: my 19 \\ edo.scl:3: 20 pitches announced, 19 given"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const StateParse parsed = parseState(c.text, kParams, kPrograms);
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(parsed.error.find(c.why), std::string::npos) << parsed.error;
  }
}

TEST(PlayerCommandLine, GoodAndBadArguments) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } cases[] = {
      {{}, -1, ""},
      {{"--no-gui", "--program", "31", "--param", "CutOff=0.25", "--name", "V2"}, -1, ""},
      {{"--connect-audio", "a:1,b:2", "--connect-midi", "m:out"}, -1, ""},
      {{"--bank", "b.fxb", "--preset", "p.fxp"}, -1, ""},
      {{"--scale", "a.scl", "--keymap", "b.kbm", "--list-tuning"}, -1, ""},
      {{"--scale", ""}, 2, "--scale needs a file name"},
      {{"--help"}, 0, "--keymap FILE.kbm"},
      {{"--help"}, 0, "--connect-audio"},
      {{"--help"}, 0, "beside this program, then in\n../lib/vst from it"},
      {{"--version"}, 0, "velaorin "},
      {{"--program", "32"}, 2, "--program"},
      {{"--param", "CutOff"}, 2, "NAME=VALUE"},
      {{"--param", "CutOff=1.5"}, 2, "from 0 to 1"},
      {{"--connect-audio", "a:1"}, 2, "two ports"},
      {{"--no-connect", "--connect-midi", "m:out"}, 2, "--no-connect"},
      {{"--name", ""}, 2, "--name"},
      {{"--frobnicate"}, 2, "frobnicate"},
      {{"--panel-scale", "2.5"}, -1, ""},
      {{"--panel-scale", "0.5"}, 2, "--panel-scale"},
      {{"--panel-scale", "big"}, 2, "--panel-scale"},
      {{"--scale", "a.scl", "--panel-scale", "2"}, -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const PlayerCommandLine line = parsePlayerCommandLine(c.args);
    EXPECT_EQ(line.exitCode, c.exitCode) << line.message;
    EXPECT_NE(line.message.find(c.message), std::string::npos) << line.message;
    if (c.exitCode == 2) {
      EXPECT_EQ(line.message.find('\n'), std::string::npos) << "one line";
    }
  }
  const PlayerOptions o =
      parsePlayerCommandLine({"--no-gui", "--program", "31", "--param", "CutOff=0.25",
                              "--connect-audio", "a:1,b:2", "-p", "x.so", "--desktop",
                              "--panel-scale", "1.25"}).options;
  EXPECT_FALSE(o.gui);
  EXPECT_EQ(o.scale, 1.25);
  EXPECT_EQ(parsePlayerCommandLine({}).options.scale, 0.0) << "the panel's scale";
  EXPECT_TRUE(o.desktop);
  EXPECT_EQ(o.pluginPath, "x.so");
  EXPECT_EQ(o.program, 31);
  ASSERT_EQ(o.parameters.size(), 1u);
  EXPECT_EQ(o.parameters[0].value, 0.25f);
  EXPECT_EQ(o.audioTargets, (std::vector<std::string>{"a:1", "b:2"}));
  const PlayerOptions t = parsePlayerCommandLine({"--keymap", "b.kbm", "--list-tuning"}).options;
  EXPECT_EQ(t.keymapFile, "b.kbm");
  EXPECT_EQ(t.scaleFile, "");
  EXPECT_TRUE(t.listTuning);
}

TEST(PlayerKeyboard, EveryKeyIsHitAtItsCentreAndBlackKeysLieOnTop) {
  constexpr int kWidth = 481, kHeight = 96;
  for (int key = 0; key < keyboard::kKeys; ++key) {
    SCOPED_TRACE(key);
    const keyboard::Rect r = keyboard::keyRect(key, kWidth, kHeight);
    EXPECT_EQ(keyboard::keyAt(r.x + r.width / 2, r.y + r.height / 2, kWidth, kHeight), key);
    EXPECT_LE(r.x + r.width, kWidth);
    // A white key's lower part belongs to it alone, also under a black neighbour's edge.
    if (!keyboard::isBlack(key)) {
      EXPECT_EQ(keyboard::keyAt(r.x + 1, kHeight - 2, kWidth, kHeight), key);
      EXPECT_EQ(keyboard::keyAt(r.x + r.width - 2, kHeight - 2, kWidth, kHeight), key);
    }
  }
  EXPECT_EQ(keyboard::keyAt(-1, 10, kWidth, kHeight), -1);
  EXPECT_EQ(keyboard::keyAt(kWidth, 10, kWidth, kHeight), -1);
}

}  // namespace
