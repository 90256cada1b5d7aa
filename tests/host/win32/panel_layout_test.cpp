// The panel's windows against the designed layout: kind, parent, place, size, caption, font,
// colours, ranges, initial states and tab order.
#include "GuiSupport.h"

#include <commctrl.h>

#include <cstring>
#include <map>

#include "../../../editor/win32/VelaWindows.h"

namespace {

enum class Kind { Group, HorzSlider, VertSlider, Label, Knob, Check, Radio, Memo, Picture };

struct Expected {
  const char* name;
  Kind kind;
  const char* parent;
  int left, top, width, height;
  const wchar_t* text;
};

// Written out again on purpose: the panel's own table is what is under test.
const Expected kLayout[] = {
    {"GroupBox1", Kind::Group, "Form1", 0, 0, 481, 281, L"Vela Orin"},
    {"GroupBox2", Kind::Group, "GroupBox1", 8, 16, 313, 145, L"OSC"},
    {"GroupBox5", Kind::Group, "GroupBox2", 8, 16, 145, 113, L"Mod1"},
    {"TrackBar1", Kind::HorzSlider, "GroupBox5", 8, 16, 129, 33, L""},
    {"Label1", Kind::Label, "GroupBox5", 16, 64, 51, 12, L"FeedBack"},
    {"Tsumami1", Kind::Knob, "GroupBox5", 72, 56, 25, 25, L""},
    {"CheckBox1", Kind::Check, "GroupBox5", 16, 88, 97, 17, L"Sync Carr"},
    {"GroupBox6", Kind::Group, "GroupBox2", 160, 16, 145, 113, L"Mod2"},
    {"TrackBar2", Kind::HorzSlider, "GroupBox6", 8, 16, 129, 33, L""},
    {"Label2", Kind::Label, "GroupBox6", 16, 64, 51, 12, L"FeedBack"},
    {"Tsumami2", Kind::Knob, "GroupBox6", 80, 56, 25, 25, L""},
    {"CheckBox2", Kind::Check, "GroupBox6", 16, 88, 97, 17, L"Sync Mod1"},
    {"GroupBox3", Kind::Group, "GroupBox1", 8, 168, 233, 105, L"Filter"},
    {"RadioGroup1", Kind::Radio, "GroupBox3", 8, 16, 97, 81, L"Type"},
    {"Tsumami3", Kind::Knob, "GroupBox3", 112, 40, 33, 33, L""},
    {"Tsumami4", Kind::Knob, "GroupBox3", 152, 40, 33, 33, L""},
    {"Tsumami5", Kind::Knob, "GroupBox3", 192, 40, 33, 33, L""},
    {"Label3", Kind::Label, "GroupBox3", 112, 80, 34, 12, L"CutOff"},
    {"Label4", Kind::Label, "GroupBox3", 160, 80, 8, 12, L"Q"},
    {"Label5", Kind::Label, "GroupBox3", 200, 80, 19, 12, L"Env"},
    {"GroupBox4", Kind::Group, "GroupBox1", 328, 16, 145, 145, L"Env"},
    {"TrackBar3", Kind::VertSlider, "GroupBox4", 8, 16, 33, 113, L""},
    {"TrackBar4", Kind::VertSlider, "GroupBox4", 40, 16, 33, 113, L""},
    {"TrackBar5", Kind::VertSlider, "GroupBox4", 72, 16, 33, 113, L""},
    {"TrackBar6", Kind::VertSlider, "GroupBox4", 104, 16, 33, 113, L""},
    {"Label6", Kind::Label, "GroupBox4", 16, 128, 8, 12, L"A"},
    {"Label7", Kind::Label, "GroupBox4", 48, 128, 8, 12, L"D"},
    {"Label8", Kind::Label, "GroupBox4", 80, 128, 7, 12, L"S"},
    {"Label9", Kind::Label, "GroupBox4", 112, 128, 8, 12, L"R"},
    {"Image1", Kind::Picture, "GroupBox1", 248, 168, 89, 25, L""},
    {"Memo1", Kind::Memo, "GroupBox1", 248, 200, 225, 73,
     L"Vela Orin Ver1.11\r\nEasy FM Synth VST\r\n\r\nhttps://dravnik.example/velaorin/"},
};

const char* expectedClass(Kind kind) {
  switch (kind) {
    case Kind::HorzSlider:
    case Kind::VertSlider: return "msctls_trackbar32";
    case Kind::Label:
    case Kind::Picture: return "Static";
    case Kind::Knob: return velawin::kKnobClassName;
    case Kind::Memo: return "Edit";
    default: return "Button";
  }
}

BOOL CALLBACK countName(HWND hwnd, LPARAM counts) {
  ++(*reinterpret_cast<std::map<std::string, int>*>(counts))[designName(hwnd)];
  return TRUE;
}

LONG_PTR styleOf(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_STYLE); }

class Win32PanelLayout : public EditorWindowTest {
 protected:
  void SetUp() override {
    EditorWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(openEditor(host), 1);
    ASSERT_NE(panel, nullptr);
  }
};

TEST_F(Win32PanelLayout, PanelIsABorderlessButtonFaceChildOfTheHostWindow) {
  EXPECT_EQ(GetParent(panel), host);
  EXPECT_EQ(GetWindow(panel, GW_OWNER), nullptr);
  EXPECT_EQ(windowText(panel), L"Form1");
  const LONG_PTR style = styleOf(panel);
  EXPECT_TRUE(style & WS_CHILD);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_POPUP));
  const LONG_PTR exStyle = GetWindowLongPtrW(panel, GWL_EXSTYLE);
  EXPECT_FALSE(exStyle &
               (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME));
  const RECT placed = rectInParent(panel);
  EXPECT_EQ(placed.left, 0);
  EXPECT_EQ(placed.top, 0);
  EXPECT_EQ(placed.right, 481);
  EXPECT_EQ(placed.bottom, 281);
  RECT client{};
  GetClientRect(panel, &client);
  EXPECT_EQ(client.right, 481) << "outer size = client size";
  EXPECT_EQ(client.bottom, 281);
  EXPECT_EQ(GetClassLongPtrW(panel, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);

  // Opaque: a layered child would show see-through on systems that honour it.
  EXPECT_FALSE(exStyle & WS_EX_LAYERED);
}

TEST_F(Win32PanelLayout, EveryControlSitsWhereTheLayoutPutsIt) {
  for (const Expected& e : kLayout) {
    SCOPED_TRACE(e.name);
    HWND hwnd = control(e.name);
    if (hwnd == nullptr) continue;
    EXPECT_EQ(_stricmp(className(hwnd).c_str(), expectedClass(e.kind)), 0) << className(hwnd);
    EXPECT_EQ(designName(GetParent(hwnd)), e.parent);
    const RECT r = rectInParent(hwnd);
    EXPECT_EQ(r.left, e.left);
    EXPECT_EQ(r.top, e.top);
    EXPECT_EQ(r.right - r.left, e.width);
    EXPECT_EQ(r.bottom - r.top, e.height);
    EXPECT_EQ(windowText(hwnd), e.text);
    EXPECT_TRUE(IsWindowVisible(hwnd));
  }
  // Nothing beyond the layout (the radio items belong to RadioGroup1).
  std::map<std::string, int> seen;
  EnumChildWindows(panel, countName, reinterpret_cast<LPARAM>(&seen));
  EXPECT_EQ(seen.size(), std::size(kLayout) + 3);
  for (const auto& [name, count] : seen) EXPECT_EQ(count, 1) << "'" << name << "'";
}

TEST_F(Win32PanelLayout, ControlsHaveTheirKindsSettingsAndDesignedStates) {
  for (const Expected& e : kLayout) {
    SCOPED_TRACE(e.name);
    HWND hwnd = control(e.name);
    if (hwnd == nullptr) continue;
    const LONG_PTR style = styleOf(hwnd);
    switch (e.kind) {
      case Kind::Group:
      case Kind::Radio:
        EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX);
        EXPECT_EQ((style & BS_FLAT) != 0, std::strcmp(e.name, "GroupBox1") == 0) << "flat frame";
        break;
      case Kind::HorzSlider:
      case Kind::VertSlider: {
        const bool vertical = e.kind == Kind::VertSlider;
        EXPECT_EQ((style & TBS_VERT) != 0, vertical);
        EXPECT_TRUE(style & TBS_AUTOTICKS);
        EXPECT_EQ(style & (TBS_TOP | TBS_BOTH), vertical ? TBS_BOTH : TBS_TOP)
            << "ticks on both sides, or above the track";
        EXPECT_EQ((style & WS_TABSTOP) != 0, vertical);
        EXPECT_EQ(SendMessageW(hwnd, TBM_GETRANGEMIN, 0, 0), 0);
        EXPECT_EQ(SendMessageW(hwnd, TBM_GETRANGEMAX, 0, 0), vertical ? 50 : 24);
        EXPECT_EQ(SendMessageW(hwnd, TBM_GETNUMTICS, 0, 0), vertical ? 11 : 9);
        EXPECT_EQ(SendMessageW(hwnd, TBM_GETLINESIZE, 0, 0), 1);
        EXPECT_EQ(SendMessageW(hwnd, TBM_GETPAGESIZE, 0, 0), vertical ? 1 : 2);
        EXPECT_EQ(SendMessageW(hwnd, TBM_GETTHUMBLENGTH, 0, 0), vertical ? 15 : 20);
        break;
      }
      case Kind::Check:
        EXPECT_EQ(style & BS_TYPEMASK, BS_AUTOCHECKBOX);
        EXPECT_TRUE(style & WS_TABSTOP);
        EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_CHECKED);
        break;
      case Kind::Memo:
        EXPECT_TRUE(style & ES_MULTILINE);
        EXPECT_FALSE(style & ES_READONLY);
        EXPECT_TRUE(style & WS_TABSTOP);
        EXPECT_EQ(SendMessageW(hwnd, EM_GETLINECOUNT, 0, 0), 4);
        break;
      case Kind::Picture: {
        EXPECT_EQ(style & SS_TYPEMASK, SS_BITMAP);
        auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(bitmap, nullptr);
        DIBSECTION dib{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
        EXPECT_EQ(dib.dsBm.bmWidth, 90);
        EXPECT_EQ(dib.dsBm.bmHeight, 25);
        EXPECT_EQ(dib.dsBm.bmBitsPixel, 8);
        EXPECT_EQ(dib.dsBmih.biClrUsed, 256u);
        break;
      }
      case Kind::Knob:
      case Kind::Label: EXPECT_FALSE(style & WS_TABSTOP); break;
    }
  }
  struct Slider {
    const char* name;
    LRESULT position;
  };
  for (const Slider& s :
       {Slider{"TrackBar1", 12}, Slider{"TrackBar2", 12}, Slider{"TrackBar3", 45},
        Slider{"TrackBar4", 45}, Slider{"TrackBar5", 25}, Slider{"TrackBar6", 45}}) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(SendMessageW(control(s.name), TBM_GETPOS, 0, 0), s.position);
  }
  // The envelope sliders have 0 at the top: the thumb of A (45) sits low, of S (25) higher.
  RECT a{}, sustain{};
  SendMessageW(control("TrackBar3"), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&a));
  SendMessageW(control("TrackBar5"), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&sustain));
  EXPECT_GT(a.top, sustain.top);
  struct Knob {
    const char* name;
    LRESULT position;
  };
  for (const Knob& k : {Knob{"Tsumami1", 0}, Knob{"Tsumami2", 0}, Knob{"Tsumami3", 50},
                        Knob{"Tsumami4", 0}, Knob{"Tsumami5", 50}}) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(SendMessageW(control(k.name), velawin::TKM_GETPOS, 0, 0), k.position);
  }
}

TEST_F(Win32PanelLayout, RadioGroupHasThreeItemsInOneColumnWithTheFirstSelected) {
  HWND group = control("RadioGroup1");
  ASSERT_NE(group, nullptr);
  const std::vector<HWND> items = childrenInZOrder(group);
  ASSERT_EQ(items.size(), 3u);
  const wchar_t* texts[] = {L"LowPass", L"BandPass", L"HiPass"};
  RECT box{};
  GetClientRect(group, &box);
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(windowText(items[i]), texts[i]);
    EXPECT_EQ(designName(items[i]), "RadioGroup1.Item" + std::to_string(i));
    EXPECT_EQ(styleOf(items[i]) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    EXPECT_EQ(SendMessageW(items[i], BM_GETCHECK, 0, 0), i == 0 ? BST_CHECKED : BST_UNCHECKED);
    const RECT r = rectInParent(items[i]);
    EXPECT_EQ(r.left, rectInParent(items[0]).left);
    EXPECT_GE(r.top, 12) << "below the caption";
    EXPECT_LE(r.bottom, box.bottom);
    if (i > 0) {
      EXPECT_GE(r.top, rectInParent(items[i - 1]).bottom);
    }
  }
  EXPECT_TRUE(styleOf(items[0]) & WS_GROUP);
}

TEST_F(Win32PanelLayout, EveryControlHasTheDesignedFontAndBlueText) {
  std::vector<HWND> windows = {panel};
  for (const Expected& e : kLayout)
    if (e.kind != Kind::Knob) windows.push_back(control(e.name));
  for (HWND item : childrenInZOrder(control("RadioGroup1"))) windows.push_back(item);

  HDC dc = CreateCompatibleDC(nullptr);
  for (HWND hwnd : windows) {
    if (hwnd == nullptr) continue;
    SCOPED_TRACE(designName(hwnd));
    // Sliders and the picture draw no text and keep no font.
    if (className(hwnd) != "msctls_trackbar32" && designName(hwnd) != "Image1") {
      auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
      ASSERT_NE(font, nullptr);
      LOGFONTW log{};
      ASSERT_EQ(GetObjectW(font, sizeof(log), &log), static_cast<int>(sizeof(log)));
      EXPECT_STREQ(log.lfFaceName, L"Times New Roman");
      EXPECT_EQ(log.lfHeight, -12) << "12-pixel characters";
      EXPECT_EQ(log.lfWeight, FW_NORMAL);
      EXPECT_FALSE(log.lfItalic);
      EXPECT_EQ(log.lfCharSet, SHIFTJIS_CHARSET);
    }
    if (hwnd == panel) continue;

    // What a control asks its parent for when it paints: blue text on its background.
    const bool edit = className(hwnd) == "Edit";
    SetTextColor(dc, RGB(1, 2, 3));
    const LRESULT brush =
        SendMessageW(GetParent(hwnd), edit ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                     reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
    EXPECT_EQ(brush,
              reinterpret_cast<LRESULT>(GetSysColorBrush(edit ? COLOR_WINDOW : COLOR_BTNFACE)));
  }
  DeleteDC(dc);
}

TEST_F(Win32PanelLayout, TabOrderFollowsTheLayout) {
  const std::map<std::string, std::vector<std::string>> tabOrder = {
      {"Form1", {"GroupBox1"}},
      {"GroupBox1", {"GroupBox2", "GroupBox3", "GroupBox4", "Memo1"}},
      {"GroupBox2", {"GroupBox5", "GroupBox6"}},
      {"GroupBox5", {"TrackBar1", "CheckBox1"}},
      {"GroupBox6", {"TrackBar2", "CheckBox2"}},
      {"GroupBox3", {"RadioGroup1"}},
      {"GroupBox4", {"TrackBar3", "TrackBar4", "TrackBar5", "TrackBar6"}},
  };
  for (const auto& [parentName, expected] : tabOrder) {
    SCOPED_TRACE(parentName);
    HWND parent = parentName == "Form1" ? panel : control(parentName.c_str());
    if (parent == nullptr) continue;
    std::vector<std::string> actual;
    for (HWND child : childrenInZOrder(parent)) {
      const std::string name = designName(child);
      for (const std::string& e : expected)
        if (name == e) actual.push_back(name);
    }
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace
