// The designed layout of the panel: every control with its parent, place, size, tab position
// and caption. Positions are relative to the parent, in pixels at 96 pixels per inch.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velapanel {

enum class ControlKind : int32_t {
  GroupBox,
  FlatGroupBox,  // the outer frame: a flat line, no 3D edge
  TrackBarHorz,  // range 0..24, ticks above at every 3rd position, not a tab stop
  TrackBarVert,  // range 0..50 with 0 at the top, ticks on both sides at every 5th position
  Label,
  BottomLabel,  // text drawn at the bottom of the label
  Knob,
  CheckBox,
  RadioGroup,  // a group box with three radio items in one column
  Memo,
  Image,
};

struct ControlLayout {
  const char* name;
  ControlKind kind;
  const char* parent;  // "Form1" for the panel itself
  int32_t left, top, width, height;
  int32_t tab;  // position in the parent's tab order; -1 when it has none
  const wchar_t* text;
  int32_t number;  // TrackBar<n>, CheckBox<n>, Tsumami<n>; 0 for the rest
};

// Control ids are kFirstControlId + index in the table; radio items follow the table.
constexpr int32_t kFirstControlId = 1000;
constexpr int32_t kRadioItemIdBase = 1100;

std::span<const ControlLayout> panelLayout();

// A rectangle in panel pixels.
struct PanelBox {
  int32_t left, top, width, height;
  bool contains(int32_t x, int32_t y) const {
    return x >= left && y >= top && x < left + width && y < top + height;
  }
  friend bool operator==(const PanelBox&, const PanelBox&) = default;
};

// The entry named `name`, or null.
const ControlLayout* findControl(std::string_view name);
// Where a control lies on the panel: its own offsets plus those of every enclosing group.
PanelBox boxOnPanel(const ControlLayout& entry);
// Radio item `item` (0..2) of RadioGroup1, relative to the group's top-left corner.
PanelBox radioItemInGroup(int32_t item);

extern const wchar_t* const kRadioItems[3];
extern const char* const kRadioItemNames[3];
extern const wchar_t kMemoText[];

}  // namespace velapanel
