#include "PanelLayout.h"

#include <array>

#include "PanelConstants.h"

namespace velapanel {

namespace {

using K = ControlKind;

constexpr std::array<ControlLayout, 31> kLayout = {{
    {"GroupBox1", K::FlatGroupBox, "Form1", 0, 0, kPanelWidth, kPanelHeight, 0, L"Vela Orin", 0},
    {"GroupBox2", K::GroupBox, "GroupBox1", 8, 16, 313, 145, 0, L"OSC", 0},
    {"GroupBox5", K::GroupBox, "GroupBox2", 8, 16, 145, 113, 0, L"Mod1", 0},
    {"TrackBar1", K::TrackBarHorz, "GroupBox5", 8, 16, 129, 33, 0, L"", 1},
    {"Label1", K::BottomLabel, "GroupBox5", 16, 64, 51, 12, -1, L"FeedBack", 0},
    {"Tsumami1", K::Knob, "GroupBox5", 72, 56, 25, 25, -1, L"", 1},
    {"CheckBox1", K::CheckBox, "GroupBox5", 16, 88, 97, 17, 1, L"Sync Carr", 1},
    {"GroupBox6", K::GroupBox, "GroupBox2", 160, 16, 145, 113, 1, L"Mod2", 0},
    {"TrackBar2", K::TrackBarHorz, "GroupBox6", 8, 16, 129, 33, 0, L"", 2},
    {"Label2", K::BottomLabel, "GroupBox6", 16, 64, 51, 12, -1, L"FeedBack", 0},
    {"Tsumami2", K::Knob, "GroupBox6", 80, 56, 25, 25, -1, L"", 2},
    {"CheckBox2", K::CheckBox, "GroupBox6", 16, 88, 97, 17, 1, L"Sync Mod1", 2},
    {"GroupBox3", K::GroupBox, "GroupBox1", 8, 168, 233, 105, 1, L"Filter", 0},
    {"RadioGroup1", K::RadioGroup, "GroupBox3", 8, 16, 97, 81, 0, L"Type", 0},
    {"Tsumami3", K::Knob, "GroupBox3", 112, 40, 33, 33, -1, L"", 3},
    {"Tsumami4", K::Knob, "GroupBox3", 152, 40, 33, 33, -1, L"", 4},
    {"Tsumami5", K::Knob, "GroupBox3", 192, 40, 33, 33, -1, L"", 5},
    {"Label3", K::BottomLabel, "GroupBox3", 112, 80, 34, 12, -1, L"CutOff", 0},
    {"Label4", K::BottomLabel, "GroupBox3", 160, 80, 8, 12, -1, L"Q", 0},
    {"Label5", K::BottomLabel, "GroupBox3", 200, 80, 19, 12, -1, L"Env", 0},
    {"GroupBox4", K::GroupBox, "GroupBox1", 328, 16, 145, 145, 2, L"Env", 0},
    {"TrackBar3", K::TrackBarVert, "GroupBox4", 8, 16, 33, 113, 0, L"", 3},
    {"TrackBar4", K::TrackBarVert, "GroupBox4", 40, 16, 33, 113, 1, L"", 4},
    {"TrackBar5", K::TrackBarVert, "GroupBox4", 72, 16, 33, 113, 2, L"", 5},
    {"TrackBar6", K::TrackBarVert, "GroupBox4", 104, 16, 33, 113, 3, L"", 6},
    {"Label6", K::Label, "GroupBox4", 16, 128, 8, 12, -1, L"A", 0},
    {"Label7", K::Label, "GroupBox4", 48, 128, 8, 12, -1, L"D", 0},
    {"Label8", K::Label, "GroupBox4", 80, 128, 7, 12, -1, L"S", 0},
    {"Label9", K::Label, "GroupBox4", 112, 128, 8, 12, -1, L"R", 0},
    {"Image1", K::Image, "GroupBox1", 248, 168, 89, 25, -1, L"", 0},
    {"Memo1", K::Memo, "GroupBox1", 248, 200, 225, 73, 3, kMemoText, 0},
}};

}  // namespace

const wchar_t kMemoText[] =
    L"Vela Orin Ver1.11\r\nEasy FM Synth VST\r\n\r\nhttps://dravnik.example/velaorin/";
const wchar_t* const kRadioItems[3] = {L"LowPass", L"BandPass", L"HiPass"};
const char* const kRadioItemNames[3] = {"RadioGroup1.Item0", "RadioGroup1.Item1",
                                        "RadioGroup1.Item2"};

std::span<const ControlLayout> panelLayout() { return kLayout; }

const ControlLayout* findControl(std::string_view name) {
  for (const ControlLayout& entry : kLayout)
    if (name == entry.name) return &entry;
  return nullptr;
}

PanelBox boxOnPanel(const ControlLayout& entry) {
  PanelBox box{entry.left, entry.top, entry.width, entry.height};
  for (const ControlLayout* parent = findControl(entry.parent); parent != nullptr;
       parent = findControl(parent->parent)) {
    box.left += parent->left;
    box.top += parent->top;
  }
  return box;
}

PanelBox radioItemInGroup(int32_t item) {
  const ControlLayout* group = findControl("RadioGroup1");
  if (group == nullptr) return {0, 0, 0, 0};
  const int32_t itemHeight =
      (group->height - kRadioItemTop - kRadioItemBottomMargin) / kRadioItemCount;
  return {kRadioItemLeft, kRadioItemTop + item * itemHeight, group->width - 2 * kRadioItemLeft,
          itemHeight};
}

}  // namespace velapanel
