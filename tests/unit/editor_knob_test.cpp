#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Tsumami.h"

namespace {

// -cos(i * pi / 65) and sin(i * pi / 65) for i = 0..50 as float32 bits, from a 200-bit
// computation rounded once; every entry lies at least 0.0003 float steps away from a tie.
constexpr uint32_t kDyBits[51] = {
    0xbf800000, 0xbf7fb378, 0xbf7ece0e, 0xbf7d504b, 0xbf7b3b13, 0xbf788fa5,
    0xbf754f99, 0xbf717ce2, 0xbf6d19c8, 0xbf6828eb, 0xbf62ad3f, 0xbf5caa0b,
    0xbf5622e8, 0xbf4f1bbd, 0xbf4798bd, 0xbf3f9e67, 0xbf37317e, 0xbf2e570e,
    0xbf251461, 0xbf1b6f01, 0xbf116cb1, 0xbf07136e, 0xbef8d2d1, 0xbee2ea01,
    0xbecc7984, 0xbeb58ec6, 0xbe9e377a, 0xbe868195, 0xbe5cf688, 0xbe2c65ca,
    0xbdf6dbef, 0xbd9458b2, 0xbcc5f30c, 0x3cc5f30c, 0x3d9458b2, 0x3df6dbef,
    0x3e2c65ca, 0x3e5cf688, 0x3e868195, 0x3e9e377a, 0x3eb58ec6, 0x3ecc7984,
    0x3ee2ea01, 0x3ef8d2d1, 0x3f07136e, 0x3f116cb1, 0x3f1b6f01, 0x3f251461,
    0x3f2e570e, 0x3f37317e, 0x3f3f9e67,
};
constexpr uint32_t kDxBits[51] = {
    0x00000000, 0x3d45e440, 0x3dc5a917, 0x3e13f4f0, 0x3e44bcde, 0x3e750f2a,
    0x3e926779, 0x3ea9efd3, 0x3ec11293, 0x3ed7c1e3, 0x3eedf032, 0x3f01c81f,
    0x3f0c4a8c, 0x3f167918, 0x3f204dac, 0x3f29c268, 0x3f32d1a4, 0x3f3b75f6,
    0x3f43aa32, 0x3f4b6971, 0x3f52af12, 0x3f5976bb, 0x3f5fbc5e, 0x3f657c3c,
    0x3f6ab2e5, 0x3f6f5d39, 0x3f737871, 0x3f770216, 0x3f79f80b, 0x3f7c588b,
    0x3f7e222b, 0x3f7f53d9, 0x3f7fecdd, 0x3f7fecdd, 0x3f7f53d9, 0x3f7e222b,
    0x3f7c588b, 0x3f79f80b, 0x3f770216, 0x3f737871, 0x3f6f5d39, 0x3f6ab2e5,
    0x3f657c3c, 0x3f5fbc5e, 0x3f5976bb, 0x3f52af12, 0x3f4b6971, 0x3f43aa32,
    0x3f3b75f6, 0x3f32d1a4, 0x3f29c268,
};
constexpr uint32_t kSignBit = 0x80000000u;

TEST(KnobTables, EveryEntryHasTheSameBitsOnEveryBuild) {
  const TTsumami knob;
  for (int i = 0; i <= 50; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::bit_cast<uint32_t>(knob.pointerDy[50 + i]), kDyBits[i]);
    EXPECT_EQ(std::bit_cast<uint32_t>(knob.pointerDy[50 - i]), kDyBits[i]);
    // The left half is the negated right half; at the centre the negation is the last store,
    // which leaves -0.
    if (i > 0) {
      EXPECT_EQ(std::bit_cast<uint32_t>(knob.pointerDx[50 + i]), kDxBits[i]);
    }
    EXPECT_EQ(std::bit_cast<uint32_t>(knob.pointerDx[50 - i]), kDxBits[i] ^ kSignBit);
  }
}

// The values as they are quoted, to seven significant digits.
std::string sevenDigits(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
  return text;
}

TEST(KnobTables, TellingValues) {
  const TTsumami knob;
  EXPECT_EQ(sevenDigits(knob.pointerDy[0]), "0.7485108");
  EXPECT_EQ(sevenDigits(knob.pointerDy[100]), "0.7485108");
  EXPECT_EQ(sevenDigits(knob.pointerDx[0]), "-0.6631227");
  EXPECT_EQ(sevenDigits(knob.pointerDx[100]), "0.6631227");
  EXPECT_EQ(knob.pointerDy[50], -1.0f);
  EXPECT_LT(std::fabs(knob.pointerDx[50]), 1e-19f);
  for (int p = 0; p <= 100; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(knob.pointerDy[p], knob.pointerDy[100 - p]);
    EXPECT_EQ(knob.pointerDx[p], -knob.pointerDx[100 - p]);
  }
}

// Counts what the knob asks of its window.
struct FakeKnobWindow : KnobWindow {
  void invalidate() override { ++invalidations; }
  void captureMouse() override { ++captures; }
  void releaseMouse() override { ++releases; }
  int invalidations = 0, captures = 0, releases = 0;
};

struct KnobFixture : testing::Test {
  KnobFixture() {
    knob.setWindow(&window);
    knob.OnChange = [this](TTsumami& sender) {
      EXPECT_EQ(&sender, &knob);
      notified.push_back(sender.Position());
    };
  }
  TTsumami knob;
  FakeKnobWindow window;
  std::vector<int32_t> notified;
};

TEST_F(KnobFixture, EveryAssignmentRepaintsAndNotifiesWithoutClamping) {
  EXPECT_EQ(TTsumami().Position(), 50) << "a new knob points straight up";
  knob.SetPosition(50);
  knob.SetPosition(50);
  knob.SetPosition(130);
  knob.SetPosition(-4);
  EXPECT_EQ(notified, (std::vector<int32_t>{50, 50, 130, -4}));
  EXPECT_EQ(window.invalidations, 4);
  EXPECT_EQ(knob.Position(), -4);
}

struct DragCase {
  const char* name;
  int32_t start;
  std::vector<KnobPoint> moves;  // screen positions after a press at (500, 400)
  std::vector<int32_t> expected;  // value notified by each move
};

TEST_F(KnobFixture, DragArithmetic) {
  const std::vector<DragCase> cases = {
      {"1 px right rounds 0.5 to 0 but notifies", 50, {{501, 400}}, {50}},
      {"3 px right rounds 1.5 to 2", 50, {{503, 400}}, {52}},
      {"5 px right rounds 2.5 to 2", 50, {{505, 400}}, {52}},
      {"3 px left rounds -1.5 to -2", 50, {{497, 400}}, {48}},
      {"up increases, down decreases", 50, {{500, 394}, {500, 406}}, {53, 47}},
      {"diagonal right and down cancels", 50, {{510, 410}}, {50}},
      {"halves round on their own", 50, {{501, 399}}, {50}},
      {"far past the top holds 100 and keeps notifying", 90,
       {{900, 400}, {950, 400}, {950, 400}}, {100, 100, 100}},
      {"far past the bottom holds 0", 10, {{500, 900}, {-3000, 900}}, {0, 0}},
      {"moves are measured from the press, not the last move", 20,
       {{520, 400}, {504, 400}}, {30, 22}},
      {"the cursor may leave the knob anywhere on the screen", 50, {{-500, 400}}, {0}},
  };
  for (const DragCase& c : cases) {
    SCOPED_TRACE(c.name);
    knob.OnChange = nullptr;
    knob.SetPosition(c.start);
    knob.OnChange = [this](TTsumami& sender) { notified.push_back(sender.Position()); };
    notified.clear();
    knob.MouseDown({500, 400});
    for (const KnobPoint& cursor : c.moves) knob.MouseMove(cursor);
    knob.MouseUp();
    EXPECT_EQ(notified, c.expected);
  }
}

TEST_F(KnobFixture, PressWithoutMoveNotifiesNobodyAndReleaseEndsTheDrag) {
  std::string drags;
  knob.OnDragStart = [&](TTsumami& sender) { drags += &sender == &knob ? "start " : "?"; };
  knob.OnDragEnd = [&](TTsumami& sender) { drags += &sender == &knob ? "end " : "?"; };
  knob.MouseDown({10, 10});
  EXPECT_TRUE(knob.isDragging());
  EXPECT_EQ(window.captures, 1);
  knob.MouseDown({12, 10});  // a second press inside the drag starts no second drag
  knob.MouseUp();
  EXPECT_FALSE(knob.isDragging());
  EXPECT_EQ(window.releases, 1);
  EXPECT_TRUE(notified.empty()) << "press and release alone notify nobody";
  EXPECT_EQ(knob.Position(), 50);
  knob.MouseUp();  // a late release (the window lost the capture first) ends nothing twice
  EXPECT_EQ(drags, "start end ");

  knob.MouseMove({40, 40});
  EXPECT_TRUE(notified.empty()) << "moves outside a drag do nothing";
}

TEST_F(KnobFixture, ADragStartsFromThePositionAtThePress) {
  knob.MouseDown({0, 0});
  knob.SetPosition(80);  // set from outside during the drag
  notified.clear();
  knob.MouseMove({4, 0});
  EXPECT_EQ(notified, std::vector<int32_t>{52});
}

// ---------------------------------------------------------------------------------------------
// Drawing

struct StrokeRow {
  int32_t size;
  int32_t position;
  std::array<KnobPoint, 6> strokes;  // shadow, highlight, black: from, to
  std::array<KnobPoint, 6> marks;    // 100, 50, 0: from, to
};

TEST(KnobDrawing, WorkedValues) {
  const std::array<KnobPoint, 6> marks25 = {{{18, 19}, {21, 22}, {11, 2}, {12, 0}, {5, 19}, {4, 22}}};
  const std::array<KnobPoint, 6> marks33 = {{{24, 26}, {27, 29}, {15, 2}, {16, 0}, {7, 26}, {6, 29}}};
  const std::vector<StrokeRow> rows = {
      {25, 50, {{{12, 12}, {12, 0}, {10, 10}, {10, -2}, {11, 11}, {11, 1}}}, marks25},
      {25, 0, {{{12, 12}, {4, 21}, {10, 10}, {2, 19}, {11, 11}, {4, 19}}}, marks25},
      {25, 100, {{{12, 12}, {20, 21}, {10, 10}, {18, 19}, {11, 11}, {18, 19}}}, marks25},
      {33, 0, {{{16, 16}, {6, 28}, {14, 14}, {4, 26}, {15, 15}, {5, 26}}}, marks33},
      {33, 50, {{{16, 16}, {16, 0}, {14, 14}, {14, -2}, {15, 15}, {15, 1}}}, marks33},
  };
  const KnobColour strokeColours[3] = {KnobColour::ButtonShadow, KnobColour::ButtonHighlight,
                                       KnobColour::Black};
  for (const StrokeRow& row : rows) {
    SCOPED_TRACE(testing::Message() << row.size << "x" << row.size << " at " << row.position);
    TTsumami knob;
    knob.SetPosition(row.position);
    const auto figures = knob.paintFigures(row.size, row.size);
    for (size_t s = 0; s < 3; ++s) {
      SCOPED_TRACE(testing::Message() << "stroke " << s);
      const KnobFigure& f = figures[3 + s];
      EXPECT_EQ(f.kind, KnobFigureKind::Line);
      EXPECT_EQ(f.pen, strokeColours[s]);
      EXPECT_EQ(f.from, row.strokes[2 * s]);
      EXPECT_EQ(f.to, row.strokes[2 * s + 1]);
    }
    for (size_t m = 0; m < 3; ++m) {
      SCOPED_TRACE(testing::Message() << "mark " << m);
      const KnobFigure& f = figures[6 + m];
      EXPECT_EQ(f.kind, KnobFigureKind::Line);
      EXPECT_EQ(f.pen, KnobColour::Black);
      EXPECT_EQ(f.from, row.marks[2 * m]);
      EXPECT_EQ(f.to, row.marks[2 * m + 1]);
    }
  }
}

TEST(KnobDrawing, BodyAndRim) {
  struct Row {
    int32_t size;
    KnobPoint bodyTo, rimTo, upperRight, lowerLeft;
  };
  for (const Row& row : {Row{25, {21, 21}, {19, 19}, {20, 5}, {5, 20}},
                         Row{33, {29, 29}, {27, 27}, {24, 6}, {6, 24}}}) {
    SCOPED_TRACE(row.size);
    const auto figures = TTsumami().paintFigures(row.size, row.size);
    EXPECT_EQ(figures[0], (KnobFigure{KnobFigureKind::Ellipse, KnobColour::Black,
                                      KnobColour::ButtonFace, {2, 2}, row.bodyTo, {0, 0}, {0, 0}}));
    EXPECT_EQ(figures[1], (KnobFigure{KnobFigureKind::Arc, KnobColour::ButtonHighlight,
                                      KnobColour::Black, {4, 4}, row.rimTo, row.upperRight,
                                      row.lowerLeft}));
    EXPECT_EQ(figures[2], (KnobFigure{KnobFigureKind::Arc, KnobColour::ButtonShadow,
                                      KnobColour::Black, {4, 4}, row.rimTo, row.lowerLeft,
                                      row.upperRight}));
  }
}

// Fault fix: positions outside the tables used to index past them; they draw as the nearest end.
TEST(KnobDrawing, PositionOutsideTheRangeDrawsAsTheNearestEndAndIsKept) {
  TTsumami knob;
  for (const auto& [outside, end] : {std::pair{150, 100}, std::pair{101, 100}, std::pair{-7, 0},
                                     std::pair{INT32_MIN, 0}}) {
    SCOPED_TRACE(outside);
    knob.SetPosition(end);
    const auto expected = knob.paintFigures(25, 25);
    knob.SetPosition(outside);
    EXPECT_EQ(knob.paintFigures(25, 25), expected);
    EXPECT_EQ(knob.Position(), outside);
  }
}

}  // namespace
