// The editors: AEffGUIEditor's throttled idle pump against a clock the test sets, and Brisane's
// editor with the example engine's real page, edited by input events on the virtual display.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "plugin/editor/aeffguieditor.h"
#include "plugin/gui/frame.h"
#include "plugin/vst/audioeffectx.h"
#include "tests/support/import_redirect.h"

namespace {

// ---- the idle pump -----------------------------------------------------------------------------

DWORD g_now = 1000;
int g_sleeps = 0;
DWORD WINAPI fakeTickCount() { return g_now; }
void WINAPI fakeSleep(DWORD) { ++g_sleeps; }

vst::VstIntPtr VSTCALLBACK silentHost(vst::AEffect*, vst::VstInt32, vst::VstInt32, vst::VstIntPtr, void*, float) { return 0; }

// A view that counts its draws.
struct CountingView : VSTGUI::CView {
    CountingView() : CView(VSTGUI::CRect(0, 0, 20, 20)) {}
    void draw(VSTGUI::CDrawContext* context) override {
        ++draws;
        CView::draw(context);
    }
    int draws = 0;
};

class PumpedEditor : public vst::AEffGUIEditor {
public:
    using AEffGUIEditor::AEffGUIEditor;
    bool open(void* parent) override {
        AEffGUIEditor::open(parent);
        frame = new VSTGUI::CFrame(VSTGUI::CRect(0, 0, 100, 50), parent, this);
        view = new CountingView;
        frame->addView(view);
        return true;
    }
    CountingView* view = nullptr;
};

// Counts the host idle requests; the re-entering one answers them with an editor idle while
// the view is dirty, as hosts do.
class IdlingEffect : public vst::AudioEffectX {
public:
    IdlingEffect() : AudioEffectX(silentHost, 1, 1) {}
    void masterIdle() override { ++masterIdles; }
    int masterIdles = 0;
};

class ReenteringEffect : public IdlingEffect {
public:
    void masterIdle() override {
        ++masterIdles;
        pumped->view->setDirty(true);
        const int before = pumped->view->draws;
        pumped->idle();
        drawnInside = pumped->view->draws - before;
    }
    PumpedEditor* pumped = nullptr;
    int drawnInside = -1;
};

TEST(IdlePump, RunsAtMostEvery100MillisecondsAndIgnoresIdleFromInsideTheHostsIdle) {
    HMODULE self = GetModuleHandleA(nullptr);
    void *realTickCount = nullptr, *realSleep = nullptr, *unused = nullptr;
    ASSERT_TRUE(sonvex_test::redirectImport(self, "kernel32.dll", "GetTickCount", (void*)fakeTickCount, &realTickCount));
    ASSERT_TRUE(sonvex_test::redirectImport(self, "kernel32.dll", "Sleep", (void*)fakeSleep, &realSleep));
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(host, nullptr);

    // No paint message waits: the pump's one paint a pass would draw the view as well.
    auto settle = [host] { RedrawWindow(host, nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN); };
    IdlingEffect effect;
    g_now = 1000;
    PumpedEditor* editor = new PumpedEditor(&effect);  // the first pass is due at once
    ASSERT_TRUE(editor->open(host));
    editor->getFrame()->draw();
    int draws = editor->view->draws;

    settle();
    editor->view->setDirty(true);
    editor->pumpIdle();  // on time: idles the frame, then asks the host for idle time
    EXPECT_EQ(editor->view->draws, draws + 1);
    EXPECT_EQ(effect.masterIdles, 1);
    EXPECT_FALSE(editor->isInIdle());
    draws = editor->view->draws;

    editor->view->setDirty(true);
    g_now = 1010;  // 90 ms early: a short sleep and nothing else
    editor->pumpIdle();
    EXPECT_EQ(g_sleeps, 1);
    EXPECT_EQ(effect.masterIdles, 1);
    EXPECT_EQ(editor->view->draws, draws);
    g_now = 1046;  // 54 ms early, 50 after the 4 ms sleep: the pass runs
    settle();
    editor->pumpIdle();
    EXPECT_EQ(g_sleeps, 2);
    EXPECT_EQ(effect.masterIdles, 2);
    EXPECT_EQ(editor->view->draws, draws + 1);
    g_now = 1095;  // the next pass is due at 1050 + 100: still too early after the sleep
    editor->pumpIdle();
    EXPECT_EQ(effect.masterIdles, 2);
    g_now = 1096;
    editor->pumpIdle();
    EXPECT_EQ(effect.masterIdles, 3);

    // An editor idle from inside the host's idle draws nothing, dirty view or not.
    ReenteringEffect reentering;
    g_now = 5000;
    PumpedEditor* inner = new PumpedEditor(&reentering);
    reentering.pumped = inner;
    ASSERT_TRUE(inner->open(host));
    inner->getFrame()->draw();
    inner->pumpIdle();
    EXPECT_EQ(reentering.masterIdles, 1);
    EXPECT_EQ(reentering.drawnInside, 0);

    EXPECT_TRUE(editor->setKnobMode(2));
    EXPECT_EQ(editor->getFrame()->getKnobMode(), 2);
    delete inner;
    delete editor;
    DestroyWindow(host);
    sonvex_test::redirectImport(self, "kernel32.dll", "GetTickCount", realTickCount, &unused);
    sonvex_test::redirectImport(self, "kernel32.dll", "Sleep", realSleep, &unused);
}

// ---- Brisane with the example engine's page ----------------------------------------------------

std::string windowsPath(const char* path) {
    std::string p = std::string("Z:") + path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

int g_displayUpdates = 0;
vst::VstIntPtr VSTCALLBACK countingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*, float) {
    if (opcode == vst::audioMasterVersion) return 2400;
    if (opcode == vst::audioMasterUpdateDisplay) ++g_displayUpdates;
    return 0;
}

void pumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG message;
    do {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

void sendMouse(DWORD flags, POINT screen) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
    pumpMessages(60);
}

// Pumps messages until `done` holds or `milliseconds` pass; says whether it held.
template <typename Done>
bool pumpUntil(Done done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        pumpMessages(10);
        if (done()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
    }
}

// Presses on the trackbar's thumb, drags it past the channel's right end and releases; says
// whether the thumb got there. The virtual display delivers input at its own pace, slower still
// on a busy machine: each step waits for its effect (the trackbar holding the mouse, the thumb
// at the end, the mouse given back) rather than for a fixed time.
bool dragThumbToTheEnd(HWND trackbar) {
    RECT thumb, channel;
    SendMessageA(trackbar, TBM_GETTHUMBRECT, 0, (LPARAM)&thumb);
    SendMessageA(trackbar, TBM_GETCHANNELRECT, 0, (LPARAM)&channel);
    POINT from = {(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
    POINT to = {channel.right + 30, from.y};
    ClientToScreen(trackbar, &from);
    ClientToScreen(trackbar, &to);
    // The mouse goes to whatever window lies on top there (tests that show windows take the
    // screen one at a time).
    EXPECT_EQ(WindowFromPoint(from), trackbar) << "another window covers the trackbar";
    sendMouse(0, from);
    sendMouse(MOUSEEVENTF_LEFTDOWN, from);
    const bool pressed = pumpUntil([&] { return GetCapture() == trackbar; }, 3000);
    if (pressed) {
        sendMouse(0, POINT{(from.x + to.x) / 2, to.y});
        sendMouse(0, to);
        pumpUntil([&] { return SendMessageA(trackbar, TBM_GETPOS, 0, 0) == 1000; }, 3000);
    }
    sendMouse(MOUSEEVENTF_LEFTUP, to);
    const bool released = pumpUntil([&] { return GetCapture() != trackbar; }, 3000);
    const LRESULT position = SendMessageA(trackbar, TBM_GETPOS, 0, 0);
    if (position != 1000)
        std::printf("[drag] the thumb stayed at %ld (press %s, release %s)\n", static_cast<long>(position),
                    pressed ? "seen" : "lost", released ? "seen" : "lost");
    return position == 1000;
}

typedef HRESULT(STDAPICALLTYPE* ServerProc)();

TEST(ExampleEnginePage, DraggingATrackbarChangesTheParameterTheHostSees) {
    HMODULE engine = LoadLibraryA(windowsPath(ENGINE_DLL).c_str());
    ASSERT_NE(engine, nullptr);
    ASSERT_EQ(((ServerProc)(void*)GetProcAddress(engine, "DllRegisterServer"))(), S_OK);
    HMODULE brisane = LoadLibraryA(windowsPath(BRISANE_DLL).c_str());
    ASSERT_NE(brisane, nullptr);
    auto entry = (vst::PluginEntryProc)(void*)GetProcAddress(brisane, "VSTPluginMain");
    ASSERT_NE(entry, nullptr);
    vst::AEffect* effect = entry(countingHost);
    ASSERT_NE(effect, nullptr);
    auto dispatch = [effect](vst::VstInt32 opcode, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
    };
    ASSERT_NE(effect->flags & vst::effFlagsHasEditor, 0);

    HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 0, 0, 600, 400, nullptr, nullptr, nullptr,
                                nullptr);
    ASSERT_EQ(dispatch(vst::effEditOpen, host), 1);
    HWND frame = GetWindow(host, GW_CHILD);
    HWND page = frame ? GetWindow(frame, GW_CHILD) : nullptr;
    HWND input = page ? FindWindowExA(page, nullptr, "msctls_trackbar32", nullptr) : nullptr;  // the first row
    ASSERT_NE(input, nullptr);
    SetForegroundWindow(host);
    pumpMessages(200);
    EXPECT_EQ(effect->getParameter(effect, 2), 0.5f);

    // A gesture that the display lost before the thumb reached the end is made again, twice at
    // most: what the page, the engine and Brisane do with a moved thumb is checked strictly.
    const int updates = g_displayUpdates;
    bool moved = false;
    for (int gesture = 0; gesture < 3 && !moved; ++gesture) moved = dragThumbToTheEnd(input);
    EXPECT_EQ(SendMessageA(input, TBM_GETPOS, 0, 0), 1000);
    pumpUntil([&] {
        dispatch(vst::effEditIdle);
        return g_displayUpdates > updates;
    }, 3000);

    EXPECT_EQ(effect->getParameter(effect, 2), 1.0f);  // Input at +24 dB
    EXPECT_GT(g_displayUpdates, updates);
    char display[64] = {0};
    effect->dispatcher(effect, vst::effGetParamDisplay, 2, 0, display, 0.0f);
    EXPECT_STREQ(display, "+24.0");

    dispatch(vst::effEditClose);
    dispatch(vst::effClose);
    DestroyWindow(host);
    FreeLibrary(brisane);
    EXPECT_EQ(((ServerProc)(void*)GetProcAddress(engine, "DllUnregisterServer"))(), S_OK);
    FreeLibrary(engine);
}

}  // namespace
