#include "VelaLogo.h"

#include <array>
#include <cstdint>
#include <vector>

#include "LogoPixels.h"

namespace velawin {
namespace {

struct Palette256 {
  BITMAPINFOHEADER header;
  std::array<RGBQUAD, 256> colours;
};

}  // namespace

HBITMAP createLogoBitmap(COLORREF background) {
  using namespace velapanel;
  Palette256 info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = kLogoWidth;
  info.header.biHeight = -kLogoHeight;  // top-down rows
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = 256;
  const LogoRgb base{GetRValue(background), GetGValue(background), GetBValue(background)};
  for (size_t i = 0; i < info.colours.size(); ++i) {
    const LogoRgb c = logoColour(static_cast<uint8_t>(i), base);
    info.colours[i] = RGBQUAD{c.b, c.g, c.r, 0};
  }

  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return bitmap;

  const std::vector<uint8_t> indices = logoIndices();
  const int stride = (kLogoWidth + 3) & ~3;
  auto* rows = static_cast<uint8_t*>(bits);
  for (int y = 0; y < kLogoHeight; ++y)
    for (int x = 0; x < kLogoWidth; ++x)
      rows[y * stride + x] = indices[static_cast<size_t>(y * kLogoWidth + x)];
  GdiFlush();
  return bitmap;
}

}  // namespace velawin
