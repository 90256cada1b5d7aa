// The designed panel in numbers: outer size, poll interval, control counts, slider ranges,
// designed positions, knob sizes and where the radio items sit inside their group. Every
// platform layer and the bridge take them from here.
#pragma once

#include <array>
#include <cstdint>

constexpr int32_t kPanelWidth = 481;
constexpr int32_t kPanelHeight = 281;
// The panel follows the parameters by polling them at this interval.
constexpr int32_t kPollIntervalMs = 100;

constexpr int32_t kTrackBarCount = 6;
constexpr int32_t kCheckBoxCount = 2;
constexpr int32_t kKnobCount = 5;
constexpr int32_t kRadioItemCount = 3;  // "LowPass", "BandPass", "HiPass"
// Index n - 1 for TrackBar<n>; every range starts at 0. TrackBar3..6 have 0 at the top.
constexpr std::array<int32_t, kTrackBarCount> kTrackBarMax = {24, 24, 50, 50, 50, 50};
constexpr std::array<int32_t, kTrackBarCount> kTrackBarDesigned = {12, 12, 45, 45, 25, 45};
constexpr int32_t kRadioDesigned = 0;
constexpr std::array<bool, kCheckBoxCount> kCheckBoxDesigned = {true, true};
// Index n - 1 for Tsumami<n>.
constexpr std::array<int32_t, kKnobCount> kKnobDesigned = {0, 0, 50, 0, 50};
constexpr std::array<int32_t, kKnobCount> kKnobSize = {25, 25, 33, 33, 33};  // square

// Radio items: one column below the group's caption, each a third of what remains.
constexpr int32_t kRadioItemLeft = 8;
constexpr int32_t kRadioItemTop = 14;
constexpr int32_t kRadioItemBottomMargin = 4;

// The scale menu (PanelScale.h), in panel units: opened where the right-click was, moved in
// so that it lies inside the panel; one item under another below a border.
constexpr int32_t kScaleMenuWidth = 88;
constexpr int32_t kScaleMenuItemHeight = 16;
constexpr int32_t kScaleMenuBorder = 2;
