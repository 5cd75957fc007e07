// Brisane's editor through the dispatcher, with the recording engine listing the recording
// property page: what the host sees, the order of the page calls, failed opens, and that many
// open/close cycles leave no window, GDI object, device context, drop target or page behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/plugin/test_host.h"
#include "tests/support/gui_resources.h"

using namespace testhost;
using namespace vst;

namespace {

const bool g_environment = (installEngineEnvironment(), true);

PluginModule& plugin() {
    static PluginModule module(exeDirectory() + L"Brisane.dll");
    static const bool tracked = sonvex_test::trackGuiResources(module.handle()) == 15;
    EXPECT_TRUE(tracked) << "Brisane.dll does not import every window-system call the tests count";
    return module;
}

// A top-level window standing in for the host's editor window.
HWND makeHostWindow() {
    static const bool registered = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "EditorTestHost";
        return RegisterClassA(&windowClass) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExA(0, "EditorTestHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) children.push_back(child);
    return children;
}

std::string className(HWND window) {
    char name[256] = {0};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The page calls in the log, in order, as short names.
std::vector<std::string> pageCalls() {
    std::vector<std::string> names;
    for (const recording::Call& call : allEngineCalls()) {
        switch (call.method) {
        case recording::kGetPropertyPages: names.push_back("GetPropertyPages"); break;
        case recording::kPageCreated: names.push_back("created"); break;
        case recording::kPageSetObjects: names.push_back("SetObjects(" + std::to_string(call.index) + ")"); break;
        case recording::kPageGetPageInfo: names.push_back("GetPageInfo"); break;
        case recording::kPageActivate: names.push_back("Activate"); break;
        case recording::kPageDeactivate: names.push_back("Deactivate"); break;
        case recording::kPageOther: names.push_back("other"); break;
        default: break;
        }
    }
    return names;
}

class Editor : public ::testing::Test {
protected:
    // One shown host window for the suite: showing and hiding a top-level window is slow
    // under Wine.
    static void SetUpTestSuite() { host = makeHostWindow(); }
    static void TearDownTestSuite() { DestroyWindow(host); }
    void SetUp() override {
        ASSERT_TRUE(plugin().loaded());
        ASSERT_NE(host, nullptr);
        resetHost();
        resetEngine();
        engine().propertyPageCount = 1;
    }
    void TearDown() override {
        if (effect) dispatch(effect, effClose);
        EXPECT_EQ(engine().liveObjects, 0);
        EXPECT_EQ(engine().pageLiveObjects, 0);
        EXPECT_TRUE(childrenOf(host).empty());
    }
    AEffect* create() {
        effect = plugin().entry()(audioMaster);
        return effect;
    }
    VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return dispatch(effect, opcode, index, value, ptr, opt);
    }
    ERect rect() {
        ERect* r = nullptr;
        EXPECT_EQ(call(effEditGetRect, 0, 0, &r), 1);
        return r ? *r : ERect{-1, -1, -1, -1};
    }

    AEffect* effect = nullptr;
    static HWND host;
};
HWND Editor::host = nullptr;

TEST_F(Editor, OpensThePageInAChildOfTheHostWindowAndClosesIt) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(effect->flags & effFlagsHasEditor, effFlagsHasEditor);
    const ERect before = rect();
    EXPECT_EQ(before.top | before.left | before.bottom | before.right, 0);

    clearEngineCalls();
    ASSERT_EQ(call(effEditOpen, 0, 0, host), 1);
    EXPECT_EQ(pageCalls(), (std::vector<std::string>{"GetPropertyPages", "created", "SetObjects(1)", "GetPageInfo", "Activate"}));
    const ERect after = rect();
    EXPECT_EQ(after.top, 0);
    EXPECT_EQ(after.left, 0);
    EXPECT_EQ(after.bottom, 180);
    EXPECT_EQ(after.right, 320);

    // One child of the host: the plug-in window, whose child in turn is the page.
    const std::vector<HWND> children = childrenOf(host);
    ASSERT_EQ(children.size(), 1u);
    HWND frame = children[0];
    char expectedClass[64];
    std::snprintf(expectedClass, sizeof expectedClass, "Plugin%0*llX", (int)(2 * sizeof(void*)),
                  (unsigned long long)(uintptr_t)plugin().handle());
    EXPECT_EQ(className(frame), expectedClass);
    EXPECT_EQ(GetWindowLongA(frame, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | WS_POPUP), WS_CHILD | WS_VISIBLE);
    EXPECT_NE(GetWindowLongA(frame, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    RECT client;
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 180);
    EXPECT_EQ(engine().pageParent, reinterpret_cast<INT_PTR>(frame));
    EXPECT_EQ(GetParent(reinterpret_cast<HWND>(engine().pageWindow)), frame);
    const RECT activated = engine().pageActivateRect;
    EXPECT_EQ(activated.left | activated.top, 0);
    EXPECT_EQ(activated.right, 320);
    EXPECT_EQ(activated.bottom, 180);
    EXPECT_EQ(engineCalls(recording::kPageActivate)[0].value, 0.0f);  // modeless

    // A paint goes through the frame, the page keeps its own window.
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    call(effEditIdle);

    clearEngineCalls();
    call(effEditClose);
    EXPECT_EQ(pageCalls(), (std::vector<std::string>{"SetObjects(0)", "Deactivate"}));
    EXPECT_EQ(engine().pageLiveObjects, 0);
    EXPECT_TRUE(childrenOf(host).empty());
    EXPECT_EQ(rect().right, 320);  // the last page size stays
}

TEST_F(Editor, EachOpenMakesAFreshPageAndFrame) {
    ASSERT_NE(create(), nullptr);
    for (int cycle = 0; cycle < 2; ++cycle) {
        ASSERT_EQ(call(effEditOpen, 0, 0, host), 1);
        EXPECT_EQ(engine().pageLiveObjects, 1);
        EXPECT_EQ(childrenOf(host).size(), 1u);
        call(effEditClose);
        EXPECT_TRUE(childrenOf(host).empty());
    }
    EXPECT_EQ(engineCalls(recording::kPageCreated).size(), 2u);
    EXPECT_EQ(engineCalls(recording::kPageActivate).size(), 2u);
    EXPECT_EQ(engineCalls(recording::kPageDeactivate).size(), 2u);
    EXPECT_EQ(engineCalls(recording::kPageOther).size(), 0u);  // no site, show, move, apply or help
}

TEST_F(Editor, OpenThatCannotFinishLeavesNothingAndTheNextOneWorks) {
    ASSERT_NE(create(), nullptr);
    // The engine stops listing its page.
    engine().propertyPageCount = 0;
    EXPECT_EQ(call(effEditOpen, 0, 0, host), 0);
    EXPECT_TRUE(childrenOf(host).empty());
    EXPECT_EQ(engineCalls(recording::kPageCreated).size(), 0u);

    // The page cannot be activated.
    engine().propertyPageCount = 1;
    engine().pageFailActivate = true;
    EXPECT_EQ(call(effEditOpen, 0, 0, host), 0);
    EXPECT_TRUE(childrenOf(host).empty());
    EXPECT_EQ(engine().pageLiveObjects, 0);
    EXPECT_EQ(engine().pageReferences, 0);

    engine().pageFailActivate = false;
    EXPECT_EQ(call(effEditOpen, 0, 0, host), 1);
    EXPECT_EQ(childrenOf(host).size(), 1u);
    call(effEditClose);
}

TEST_F(Editor, CloseWithoutOpenAndOpenWithoutClose) {
    ASSERT_NE(create(), nullptr);
    clearEngineCalls();
    call(effEditClose);
    EXPECT_TRUE(pageCalls().empty());

    ASSERT_EQ(call(effEditOpen, 0, 0, host), 1);
    clearEngineCalls();
    ASSERT_EQ(call(effEditOpen, 0, 0, host), 1);  // the open editor closes first
    EXPECT_EQ(pageCalls(), (std::vector<std::string>{"SetObjects(0)", "Deactivate", "GetPropertyPages", "created",
                                                     "SetObjects(1)", "GetPageInfo", "Activate"}));
    EXPECT_EQ(engine().pageLiveObjects, 1);
    EXPECT_EQ(childrenOf(host).size(), 1u);
    // The host closes the plug-in with the editor still open.
    dispatch(effect, effClose);
    effect = nullptr;
    EXPECT_EQ(engine().pageLiveObjects, 0);
    EXPECT_TRUE(childrenOf(host).empty());
}

TEST_F(Editor, PageSizeBeyondSixteenBitsIsCutInTheRectangleOnly) {
    engine().pageWidth = 40000;
    engine().pageHeight = 70;
    ASSERT_NE(create(), nullptr);
    ASSERT_EQ(call(effEditOpen, 0, 0, host), 1);
    EXPECT_EQ(rect().right, (VstInt16)40000);
    EXPECT_EQ(engine().pageActivateRect.right, 40000);
    call(effEditClose);
}

TEST_F(Editor, KeysKnobModeAndIdleWithAndWithoutAWindow) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(call(effEditKeyDown, 'a', 0), 0);  // no frame yet
    EXPECT_EQ(call(effSetEditKnobMode, 0, 2), 1);
    call(effEditIdle);  // nothing to idle
    ASSERT_EQ(call(effEditOpen, 0, 0, host), 1);
    EXPECT_EQ(call(effEditKeyDown, 0, 2), 0);  // Tab with no view to take the focus
    EXPECT_EQ(call(effEditKeyUp, 'a', 0), 0);
    call(effEditClose);
}

TEST_F(Editor, ManyOpenCloseCyclesLeaveNothingBehind) {
    ASSERT_NE(create(), nullptr);
    const sonvex_test::GuiResourceCounts before = sonvex_test::guiResources();
    const int threadWindows = sonvex_test::countThreadWindows();
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_EQ(call(effEditOpen, 0, 0, host), 1) << cycle;
        HWND frame = GetWindow(host, GW_CHILD);
        RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        call(effEditIdle);
        call(effEditClose);
    }
    const sonvex_test::GuiResourceCounts after = sonvex_test::guiResources();
    EXPECT_GT(after.created, before.created + 200);  // the cycles did make and paint frames
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.deviceContexts, before.deviceContexts);
    EXPECT_EQ(after.dropTargets, before.dropTargets);
    EXPECT_EQ(after.oleInitializations, before.oleInitializations);
    EXPECT_EQ(sonvex_test::countThreadWindows(), threadWindows);
    EXPECT_EQ(sonvex_test::countDescendantWindows(host), 0);
    EXPECT_EQ(engine().pageLiveObjects, 0);
    EXPECT_EQ(engine().pageReferences, 0);
}

}  // namespace
