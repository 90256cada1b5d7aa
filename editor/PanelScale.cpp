#include "PanelScale.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "PanelConstants.h"

namespace velapanel {

double clampScale(double scale) {
  if (!std::isfinite(scale) || scale <= 0.0) return 0.0;
  return std::clamp(scale, kMinScale, kMaxScale);
}

PanelSize scaledPanelSize(double scale) {
  const double s = std::max(clampScale(scale), kMinScale);
  return {static_cast<int32_t>(std::lround(kPanelWidth * s)),
          static_cast<int32_t>(std::lround(kPanelHeight * s))};
}

double resolveScale(double userChoice, HostScale host, double screen) {
  const double hostWord = clampScale(host.scale);
  if (host.binding && hostWord > 0.0) return hostWord;
  for (const double word : {clampScale(userChoice), hostWord, clampScale(screen)})
    if (word > 0.0) return word;
  return kMinScale;
}

double screenScaleFromDpi(double dpi) {
  if (!std::isfinite(dpi) || dpi <= 0.0) return 0.0;
  return dpi / kDesignedDpi;
}

int32_t toPanelUnits(int32_t pixel, double scale) {
  const double s = std::max(clampScale(scale), kMinScale);
  return static_cast<int32_t>(std::floor((pixel + 0.5) / s));
}

std::optional<double> parseScaleChoice(std::string_view text) {
  // One line; its line break is optional, as editors add or drop it.
  if (text.ends_with('\n')) text.remove_suffix(1);
  constexpr std::string_view kKey = "scale=";
  if (!text.starts_with(kKey)) return std::nullopt;
  text.remove_prefix(kKey.size());
  if (text == "auto") return 0.0;
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || clampScale(value) == 0.0) return std::nullopt;
  return value;
}

std::string formatScaleChoice(double choice) {
  const double scale = clampScale(choice);
  if (scale == 0.0) return "scale=auto\n";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, scale);
  return "scale=" + std::string(text, result.ptr) + "\n";
}

int32_t scaleMenuEntryOf(double choice) {
  const double scale = clampScale(choice);
  for (size_t i = 0; i < kScaleMenu.size(); ++i)
    if (kScaleMenu[i].choice == scale) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace velapanel
