#include <gtest/gtest.h>

#include "DAEffectX.h"
#include "GrEditor.h"
#include "RecordingHost.h"
#include "editor_fakes.h"
#include "uVSTXSynth.h"

namespace {

// Before a panel exists Windows reports an empty rectangle; Linux hosts need the size up front.
#if defined(_WIN32)
constexpr int16_t kClosedRight = 0, kClosedBottom = 0;
#else
constexpr int16_t kClosedRight = 481, kClosedBottom = 281;
#endif

int parentA = 0, parentB = 0, notAWindow = 0;  // stand-ins for native window handles

struct BridgeFixture : testing::Test {
  AVstXSynth synth{nullptr};
  PanelJournal journal;
  GrEditor editor{&synth, fakePanelFactory(journal, &notAWindow)};
};

TEST_F(BridgeFixture, RectBeforeOpenFollowsThePlatformAndIsThePanelSizeAfter) {
  ERect* first = nullptr;
  ASSERT_EQ(editor.getRect(&first), 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->top, 0);
  EXPECT_EQ(first->left, 0);
  EXPECT_EQ(first->bottom, kClosedBottom);
  EXPECT_EQ(first->right, kClosedRight);

  ASSERT_EQ(editor.open(&parentA), 1);
  ERect* second = nullptr;
  ASSERT_EQ(editor.getRect(&second), 1);
  EXPECT_EQ(second, first) << "the host keeps one pointer for the editor's life";
  EXPECT_EQ(second->top, 0);
  EXPECT_EQ(second->left, 0);
  EXPECT_EQ(second->bottom, 281);
  EXPECT_EQ(second->right, 481);

  editor.close();
  ERect* third = nullptr;
  editor.getRect(&third);
  EXPECT_EQ(third->bottom, kClosedBottom) << "rebuilt on every call";
  EXPECT_EQ(third->right, kClosedRight);
}

TEST_F(BridgeFixture, OpensAreCountedAndTheLastCloseDestroysThePanel) {
  ASSERT_EQ(editor.open(&parentA), 1);
  ASSERT_EQ(editor.open(&parentB), 1);
  EXPECT_EQ(journal.created, 1);
  EXPECT_EQ(journal.shows, 2) << "every open shows the panel";
  EXPECT_EQ(journal.parents, std::vector<void*>{&parentA}) << "the panel stays in its first parent";
  EXPECT_EQ(editor.parentWindow(), &parentB);
  EXPECT_EQ(editor.openCount(), 2);
  ASSERT_NE(editor.panel(), nullptr);
  EXPECT_EQ(editor.panel()->form().link(), &editor.parameterLink());

  editor.close();
  EXPECT_EQ(journal.destroyed, 0);
  EXPECT_NE(editor.panel(), nullptr);
  editor.close();
  EXPECT_EQ(journal.destroyed, 1);
  EXPECT_EQ(editor.panel(), nullptr);
  EXPECT_EQ(editor.parentWindow(), nullptr);
  EXPECT_EQ(editor.openCount(), 0);

  // A fresh panel on the next open.
  ASSERT_EQ(editor.open(&parentB), 1);
  EXPECT_EQ(journal.created, 2);
}

// Fault fix: an unmatched close used to drive the count negative, after which open showed a
// panel that did not exist.
TEST_F(BridgeFixture, CloseWithoutAnOpenDoesNothing) {
  editor.close();
  editor.close();
  EXPECT_EQ(editor.openCount(), 0);
  ASSERT_EQ(editor.open(&parentA), 1);
  EXPECT_EQ(journal.created, 1);
  EXPECT_EQ(editor.openCount(), 1);
}

// Fault fix: without a real parent window nothing is created, counted or shown.
TEST_F(BridgeFixture, OpenWithoutAValidParentAnswersZero) {
  EXPECT_EQ(editor.open(nullptr), 0);
  EXPECT_EQ(editor.open(&notAWindow), 0);
  EXPECT_EQ(editor.openCount(), 0);
  EXPECT_EQ(journal.created, 0);
  EXPECT_EQ(journal.shows, 0);
  EXPECT_EQ(editor.parentWindow(), nullptr);
  EXPECT_EQ(editor.open(&parentA), 1);
  EXPECT_EQ(editor.openCount(), 1);
}

// The refusal is about building a panel: once one exists, a further open is counted, records
// its parent and shows the panel, so the host's matching close does not take the panel away.
TEST_F(BridgeFixture, FurtherOpensAreCountedWhateverTheirParent) {
  ASSERT_EQ(editor.open(&parentA), 1);
  for (void* parent : {static_cast<void*>(nullptr), static_cast<void*>(&notAWindow)}) {
    SCOPED_TRACE(parent == nullptr ? "null parent" : "not a window");
    const int32_t shows = journal.shows;
    EXPECT_EQ(editor.open(parent), 1);
    EXPECT_EQ(editor.parentWindow(), parent);
    EXPECT_EQ(journal.shows, shows + 1);
  }
  EXPECT_EQ(editor.openCount(), 3);
  EXPECT_EQ(journal.created, 1);
  editor.close();
  editor.close();
  EXPECT_EQ(journal.destroyed, 0) << "one open is still outstanding";
  editor.close();
  EXPECT_EQ(journal.destroyed, 1);
}

TEST(Bridge, NoPanelFactoryMeansNoPanel) {
  AVstXSynth synth{nullptr};
  GrEditor editor(&synth, PanelFactory{});
  EXPECT_EQ(editor.open(&parentA), 0);
  EXPECT_EQ(editor.openCount(), 0);
}

TEST(Bridge, DestructionClosesEveryOutstandingOpen) {
  PanelJournal journal;
  AVstXSynth synth{nullptr};
  {
    GrEditor editor(&synth, fakePanelFactory(journal));
    for (int i = 0; i < 3; ++i) editor.open(&parentA);
  }
  EXPECT_EQ(journal.created, 1);
  EXPECT_EQ(journal.destroyed, 1);
}

TEST_F(BridgeFixture, IdleRepaintsOnlyAfterAPostedUpdate) {
  editor.idle();  // no panel, nothing posted
  editor.open(&parentA);
  editor.idle();
  EXPECT_EQ(journal.repaints, 0);
  editor.postUpdate();
  editor.postUpdate();
  editor.idle();
  EXPECT_EQ(journal.repaints, 1);
  editor.idle();
  EXPECT_EQ(journal.repaints, 1);
}

// The editor opcodes as a host sends them, through an effect that carries the bridge.
struct EditorEffect : AudioEffectX {
  EditorEffect(PanelJournal& journal) : AudioEffectX(&RecordingHost::callback, 1, 14) {
    setEditor(new GrEditor(this, fakePanelFactory(journal)));
  }
  void process(float**, float**, int32_t) override {}
};

TEST(Bridge, HostOpcodesReachTheBridge) {
  PanelJournal journal;
  auto* effect = new EditorEffect(journal);
  AEffect* descriptor = effect->getAeffect();
  auto dispatch = [&](int32_t opcode, void* ptr) {
    return descriptor->dispatcher(descriptor, opcode, 0, 0, ptr, 0.0f);
  };
  EXPECT_NE(descriptor->flags & effFlagsHasEditor, 0);

  ERect* rect = nullptr;
  EXPECT_EQ(dispatch(effEditGetRect, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, kClosedRight);
  EXPECT_EQ(dispatch(effEditOpen, &parentA), 1);
  EXPECT_EQ(dispatch(effEditGetRect, &rect), 1);
  EXPECT_EQ(rect->bottom, 281);
  EXPECT_EQ(rect->right, 481);
  EXPECT_EQ(dispatch(effEditIdle, nullptr), 0);
  EXPECT_EQ(dispatch(effEditOpen, &parentA), 1);
  EXPECT_EQ(dispatch(effEditClose, nullptr), 0);
  EXPECT_EQ(journal.destroyed, 0);

  // A drag under way when the host closes the plug-in still ends its gesture.
  RecordingHost::instance().reset();
  auto* editor = static_cast<GrEditor*>(effect->getEditor());
  editor->panel()->form().Tsumami2.MouseDown({0, 0});
  dispatch(effClose, nullptr);  // destroys the effect, the bridge and the panel it still holds
  EXPECT_EQ(journal.destroyed, 1);
  EXPECT_EQ(RecordingHost::instance().edits(), "begin 3; end 3; ");
}

}  // namespace
