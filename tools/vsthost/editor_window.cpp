#include "tools/vsthost/editor_window.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace vsthost {

using namespace vst;

namespace {

const char kHostWindowClass[] = "BrisaneHostEditor";
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleMilliseconds = 20;
constexpr UINT_PTR kDeadlineTimer = 2;

struct EditorSession {
    AEffect* effect = nullptr;
    HWND window = nullptr;
    bool open = false;
    bool inIdle = false;
    std::vector<float> shown;  // the parameter values last printed
};
EditorSession* g_session = nullptr;

VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return g_session->effect->dispatcher(g_session->effect, opcode, index, value, ptr, 0.0f);
}

void idleEditor() {
    if (!g_session || !g_session->open || g_session->inIdle) return;
    g_session->inIdle = true;
    dispatch(effEditIdle);
    g_session->inIdle = false;
}

std::string parameterText(VstInt32 opcode, VstInt32 index) {
    char text[256] = {0};
    dispatch(opcode, index, 0, text);
    text[sizeof text - 1] = 0;
    return text;
}

// Prints every parameter whose value differs from what was printed before.
void printChangedParameters() {
    AEffect* effect = g_session->effect;
    if (!effect->getParameter) return;
    g_session->shown.resize((size_t)(effect->numParams > 0 ? effect->numParams : 0), -1.0f);
    for (VstInt32 i = 0; i < effect->numParams; ++i) {
        const float value = effect->getParameter(effect, i);
        if (value == g_session->shown[(size_t)i]) continue;
        g_session->shown[(size_t)i] = value;
        std::printf("parameter %d %s = %g (%s %s)\n", (int)i, parameterText(effGetParamName, i).c_str(), (double)value,
                    parameterText(effGetParamDisplay, i).c_str(), parameterText(effGetParamLabel, i).c_str());
    }
    std::fflush(stdout);
}

// The outer size of a window whose client area is width x height.
SIZE outerSize(HWND window, int width, int height) {
    RECT r = {0, 0, width, height};
    AdjustWindowRectEx(&r, (DWORD)GetWindowLongA(window, GWL_STYLE), FALSE, (DWORD)GetWindowLongA(window, GWL_EXSTYLE));
    return SIZE{r.right - r.left, r.bottom - r.top};
}

LRESULT CALLBACK hostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kIdleTimer) idleEditor();
        else if (wParam == kDeadlineTimer) PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        if (g_session && g_session->open) {
            g_session->open = false;
            dispatch(effEditClose);
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

VstIntPtr editorIdleRequest() {
    idleEditor();
    return 1;
}

VstIntPtr editorSizeRequest(VstInt32 width, VstInt32 height) {
    if (!g_session || !g_session->window || width <= 0 || height <= 0) return 0;
    const SIZE size = outerSize(g_session->window, width, height);
    SetWindowPos(g_session->window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 1;
}

void editorParameterChanged() {
    if (g_session && g_session->open) printChangedParameters();
}

bool runEditor(AEffect* effect, double seconds, std::string& error) {
    if (!(effect->flags & effFlagsHasEditor)) {
        error = "the plug-in has no editor (no HasEditor flag)";
        return false;
    }
    EditorSession session;
    session.effect = effect;
    g_session = &session;

    ERect* rect = nullptr;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = hostWindowProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kHostWindowClass;
    RegisterClassA(&windowClass);

    char title[256] = {0};
    dispatch(effGetEffectName, 0, 0, title);
    title[sizeof title - 1] = 0;
    std::string caption = std::string(title[0] ? title : "Plug-in") + " - brisane-host";
    session.window = CreateWindowExA(0, kHostWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW & ~WS_THICKFRAME & ~WS_MAXIMIZEBOX,
                                     40, 40, 400, 300, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!session.window) {
        error = "cannot create the host window (error " + std::to_string(GetLastError()) + ")";
        g_session = nullptr;
        return false;
    }

    // The plug-in's rectangle before open may still be empty; it is asked again afterwards.
    dispatch(effEditGetRect, 0, 0, &rect);
    if (dispatch(effEditOpen, 0, 0, session.window) == 0) {
        DestroyWindow(session.window);
        error = "the plug-in did not open its editor";
        g_session = nullptr;
        return false;
    }
    session.open = true;
    rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    int width = 400, height = 300;
    if (rect && rect->right > rect->left && rect->bottom > rect->top) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    const SIZE size = outerSize(session.window, width, height);
    SetWindowPos(session.window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    ShowWindow(session.window, SW_SHOWNORMAL);
    UpdateWindow(session.window);
    if (seconds > 0) std::printf("editor open: %d x %d pixels, for %g s\n", width, height, seconds);
    else std::printf("editor open: %d x %d pixels, until the window is closed\n", width, height);
    std::fflush(stdout);
    printChangedParameters();

    SetTimer(session.window, kIdleTimer, kIdleMilliseconds, nullptr);
    if (seconds > 0) SetTimer(session.window, kDeadlineTimer, (UINT)(seconds * 1000.0), nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // Tab and the arrow keys move between the page's controls as in a dialog.
        HWND top = GetAncestor(message.hwnd, GA_ROOT);
        if (top && IsDialogMessageA(top, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    UnregisterClassA(kHostWindowClass, windowClass.hInstance);
    std::printf("editor closed\n");
    g_session = nullptr;
    return true;
}

}  // namespace vsthost
