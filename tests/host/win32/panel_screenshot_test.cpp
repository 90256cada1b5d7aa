// Saves a picture of the whole panel for people to look at (artifacts/panel.png in the build
// folder) and checks the coarse facts a person would notice first.
#include "GuiSupport.h"
#include "PngWriter.h"

#include "../../../editor/win32/VelaWindows.h"

namespace {

using Win32PanelPicture = EditorWindowTest;

bool isBlueText(COLORREF c) {
  return GetBValue(c) >= 160 && GetRValue(c) < 96 && GetGValue(c) < 96;
}

TEST_F(Win32PanelPicture, SavesAScreenshotShowingThePanel) {
  ASSERT_EQ(openEditor(host), 1);
  ASSERT_NE(panel, nullptr);
  waitForTick();
  RedrawWindow(panel, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  pumpMessages(50);

  // The host's window DC sees the panel and all its controls as they are on the screen.
  const RECT area{0, 0, 481, 281};
  const Capture shot = captureArea(host, area);
  ASSERT_EQ(shot.width, 481);
  const std::string path = artifactDir() + "\\panel.png";
  ASSERT_TRUE(writePng(path, shot.width, shot.height, shot.rgb())) << path;
  std::printf("panel screenshot: %s\n", path.c_str());

  // Button-face background inside the group boxes, not the host's white.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(shot.at(250, 120), face) << "between the OSC and Env boxes";
  EXPECT_EQ(shot.at(150, 240), face) << "inside the Filter box";
  // Blue captions: the font may lack glyphs under Wine, but whatever it draws is blue.
  int bluePixels = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) bluePixels += isBlueText(shot.at(x, y)) ? 1 : 0;
  EXPECT_GT(bluePixels, 200);
  // The logo's glyph is black, drawn unscaled at Image1's place (248, 168).
  int blackInLogo = 0;
  for (int y = 168; y < 193; ++y)
    for (int x = 248 + 58; x < 248 + 85; ++x) blackInLogo += shot.at(x, y) == RGB(0, 0, 0) ? 1 : 0;
  EXPECT_GT(blackInLogo, 20);
}

TEST(Win32PngWriter, EncodesKnownChecksumsAndLayout) {
  const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(pngCrc32(text, sizeof(text)), 0xCBF43926u);
  const uint8_t wiki[] = {'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'};
  EXPECT_EQ(pngAdler32(wiki, sizeof(wiki)), 0x11E60398u);

  // 200 x 120 needs two stored blocks (72120 bytes of rows).
  std::vector<uint8_t> rgb(200 * 120 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  const std::vector<uint8_t> png = encodePng(200, 120, rgb);
  ASSERT_GT(png.size(), 72120u);
  EXPECT_EQ(png[0], 0x89);
  EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
  // Zlib stream starts after IDAT's length and type; first block is 65535 bytes, not final.
  const size_t idat = 8 + 25;
  EXPECT_EQ(std::string(png.begin() + idat + 4, png.begin() + idat + 8), "IDAT");
  const size_t zlib = idat + 8;
  EXPECT_EQ(png[zlib + 2], 0);
  EXPECT_EQ(png[zlib + 3] | png[zlib + 4] << 8, 65535);
  // The row bytes come back out of the stored blocks unchanged: row 0 begins at zlib + 7.
  EXPECT_EQ(png[zlib + 7], 0);  // filter type
  EXPECT_EQ(png[zlib + 8], rgb[0]);
  EXPECT_EQ(png[zlib + 9], rgb[1]);
  const std::string tail(png.end() - 8, png.end() - 4);
  EXPECT_EQ(tail, "IEND");
}

}  // namespace
