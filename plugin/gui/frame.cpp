#include "plugin/gui/frame.h"

#include <ole2.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/com/com_ptr.h"
#include "plugin/gui/draw_context.h"
#include "plugin/gui/drop_target.h"
#include "plugin/vst/audioeffectx.h"
#include "plugin/vst/editor_interfaces.h"

namespace VSTGUI {

LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

// Shared by every frame of the process, all on the host's user-interface thread.
char g_className[64];
int32_t g_classUseCount = 0;
bool g_swappedButtons = false;
FARPROC g_alphaBlend = nullptr;      // looked up for bitmap drawing, which this window has none of
FARPROC g_transparentBlt = nullptr;

// The module this code was linked into (the plug-in DLL, or a test program).
HINSTANCE moduleInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&FrameWindowProc), &module);
    return module;
}

CFrame* frameOf(HWND window) { return reinterpret_cast<CFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

// A system cursor's resource name for the ANSI loader (the headers may spell it for the wide one).
template <class Name>
LPCSTR ansiResource(Name name) {
    return reinterpret_cast<LPCSTR>(name);
}

// The system cursor of a cursor kind; null for the kinds that restore the saved cursor (the
// default and the copy cursor).
LPCSTR systemCursorOf(int32_t type) {
    switch (type) {
    case kCursorWait: return ansiResource(IDC_WAIT);
    case kCursorHSize: return ansiResource(IDC_SIZEWE);
    case kCursorVSize: return ansiResource(IDC_SIZENS);
    case kCursorSizeAll: return ansiResource(IDC_SIZEALL);
    case kCursorNESWSize: return ansiResource(IDC_SIZENESW);
    case kCursorNWSESize: return ansiResource(IDC_SIZENWSE);
    case kCursorNotAllowed: return ansiResource(IDC_NO);
    case kCursorHand: return ansiResource(IDC_HAND);
    default: return nullptr;
    }
}

// Resizing the window chain by hand stops at a parent this much larger than the window inside
// it: that parent belongs to the host.
constexpr int kHostParentExtra = 80;
// The position query climbs to the host's top window through parents no larger than this.
constexpr int kFramingParentMargin = 60;

}  // namespace

// ---- window class and window procedure ---------------------------------------------------------

const char* CFrame::windowClassName() { return g_className; }

int32_t CFrame::windowClassUseCount() { return g_classUseCount; }

bool CFrame::registerWindowClass() {
    if (++g_classUseCount == 1) {
        const HINSTANCE instance = moduleInstance();
        // "Plugin" and the module handle in upper-case hexadecimal at the pointer's width.
        std::snprintf(g_className, sizeof g_className, "Plugin%0*" PRIXPTR, (int)(2 * sizeof(void*)),
                      reinterpret_cast<uintptr_t>(instance));
        WNDCLASSA windowClass;
        std::memset(&windowClass, 0, sizeof windowClass);
        windowClass.style = CS_GLOBALCLASS;
        windowClass.lpfnWndProc = FrameWindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, ansiResource(IDC_ARROW));
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = g_className;
        RegisterClassA(&windowClass);
        g_swappedButtons = GetSystemMetrics(SM_SWAPBUTTON) > 0;
    }
    return true;
}

void CFrame::unregisterWindowClass() {
    if (--g_classUseCount == 0) UnregisterClassA(g_className, moduleInstance());
}

LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CFrame* frame = frameOf(window);
    if (!frame) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        // The registration ends with the window; revoked later, the drop target would leak.
        frame->setDropActive(false);
        frame->windowAlive = false;
        frame->hostWindow = nullptr;
        break;
    case WM_PAINT: {
        RECT update;
        if (!GetUpdateRect(window, &update, FALSE)) break;
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        {
            const CTemporaryContext context(new CDrawContext(frame, dc, window));
            frame->drawRect(context.get(),
                            CRect(paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right, paint.rcPaint.bottom));
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        const CTemporaryContext context(frame->makeFrameContext());
        CPoint where((int32_t)(uint16_t)LOWORD(lParam), (int32_t)(uint16_t)HIWORD(lParam));
        frame->mouse(context.get(), where, kReadButtonState);
        return 0;
    }
    case WM_MOUSEWHEEL: {
        const CTemporaryContext context(frame->makeFrameContext());
        CPoint where((int16_t)LOWORD(lParam), (int16_t)HIWORD(lParam));
        where.offset(-context->offsetScreen.x, -context->offsetScreen.y);
        const float distance = (float)(int16_t)HIWORD(wParam) / (float)WHEEL_DELTA;
        frame->onWheel(context.get(), where, distance);
        break;
    }
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- construction ------------------------------------------------------------------------------

CFrame::CFrame(const CRect& size, void* hostWindow, vst::FrameOwner* editor)
    : CViewContainer(size, nullptr), editor(editor), hostWindow(static_cast<HWND>(hostWindow)) {
    rootFrame = this;
    OleInitialize(nullptr);

    g_alphaBlend = nullptr;
    g_transparentBlt = nullptr;
    msimg32 = LoadLibraryA("msimg32.dll");
    if (msimg32) {
        g_alphaBlend = GetProcAddress(msimg32, "AlphaBlend");
        OSVERSIONINFOA version;
        std::memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = sizeof version;
        if (GetVersionExA(&version) && version.dwPlatformId >= VER_PLATFORM_WIN32_NT)
            g_transparentBlt = GetProcAddress(msimg32, "TransparentBlt");
    }

    if (this->hostWindow) {
        registerWindowClass();
        ownWindow = CreateWindowExA(0, g_className, "Window", WS_CHILD | WS_VISIBLE, 0, 0, size.width(), size.height(),
                                    this->hostWindow, nullptr, moduleInstance(), nullptr);
        if (ownWindow) {
            SetWindowLongPtrA(ownWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            setDropActive(true);
        } else {
            // No window: the frame answers like one made without a host window.
            unregisterWindowClass();
            this->hostWindow = nullptr;
            windowAlive = false;
        }
    }
}

CFrame::~CFrame() {
    if (exclusiveView) removeView(exclusiveView, false);
    exclusiveView = nullptr;
    if (!savedCursor) savedCursor = GetCursor();
    SetCursor(savedCursor);
    if (acceptsDrops && ownWindow) {
        if (dropTarget) {
            dropTarget->detachFrame();
            RevokeDragDrop(ownWindow);
            dropTarget = nullptr;
        }
        acceptsDrops = false;
    }
    OleUninitialize();
    if (msimg32) FreeLibrary(msimg32);
    msimg32 = nullptr;
    if (ownWindow) {
        if (IsWindow(ownWindow)) {
            SetWindowLongPtrA(ownWindow, GWLP_USERDATA, 0);
            DestroyWindow(ownWindow);
        }
        ownWindow = nullptr;
        unregisterWindowClass();
    }
    keyView = nullptr;
    removeAll(true);
    releaseBuffer();
}

CDrawContext* CFrame::makeFrameContext() { return new CDrawContext(this, nullptr, ownWindow); }

bool CFrame::setDropActive(bool active) {
    if (!acceptsDrops && !active) return true;
    if (!ownWindow) return false;
    if (dropTarget) {
        dropTarget->detachFrame();
        RevokeDragDrop(ownWindow);
        dropTarget = nullptr;
    }
    if (active) {
        // Held while registering: a registration that fails gives the object back at once.
        const auto target = com::ptr<CDropTarget>::share(new CDropTarget(this));
        if (RegisterDragDrop(ownWindow, target.get()) == S_OK) dropTarget = target.get();
    }
    acceptsDrops = active;
    return true;
}

bool CFrame::isDropActive() const { return acceptsDrops; }

// ---- drawing -----------------------------------------------------------------------------------

void CFrame::draw(CDrawContext* context) {
    neverDrawn = false;
    if (context) {
        CViewContainer::draw(context);
        return;
    }
    if (!ownWindow) return;
    const CTemporaryContext own(makeFrameContext());
    CViewContainer::draw(own.get());
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect) {
    neverDrawn = false;
    CTemporaryContext own;
    if (!context) {
        if (!ownWindow) return;
        own.reset(makeFrameContext());
        context = own.get();
    }
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect newClip = updateRect;
    newClip.bound(oldClip);
    const bool clipChanged = newClip != oldClip;
    if (clipChanged) context->setClipRect(newClip);
    if (newClip.width() > 0 && newClip.height() > 0) CViewContainer::drawRect(context, newClip);
    if (clipChanged) context->setClipRect(oldClip);
}

void CFrame::idle() {
    if (!windowAlive || neverDrawn) return;
    if (!isDirty()) return;
    const CTemporaryContext context(makeFrameContext());
    update(context.get());
}

void CFrame::update(CDrawContext* context) {
    if (!windowAlive || redrawSuspended || !context) return;
    if (needsRedraw) {
        draw(context);
        setDirty(false);
        return;
    }
    CRect oldClip;
    context->getClipRect(oldClip);
    if (exclusiveView && exclusiveView->isDirty()) exclusiveView->update(context);
    for (ViewNode* node = firstNode; node; node = node->next) {
        CRect clip;
        node->view->getViewSize(clip);
        clip.bound(oldClip);
        context->setClipRect(clip);
        node->view->update(context);
    }
    context->setClipRect(oldClip);
}

void CFrame::redraw(CView* view) {
    if (view && !isChild(view)) view = nullptr;
    if (!ownWindow) return;
    const CTemporaryContext context(makeFrameContext());
    if (view) view->draw(context.get());
    else draw(context.get());
}

int32_t CFrame::invalidate(const CRect& rect) {
    for (ViewNode* node = firstNode; node; node = node->next) {
        CRect childRect;
        node->view->getViewSize(childRect);
        if (childRect.rectOverlap(rect)) node->view->setDirty(true);
    }
    return 0;
}

bool CFrame::setUpdatesDisabled(bool disabled) {
    const bool previous = redrawSuspended;
    redrawSuspended = disabled;
    return previous;
}

bool CFrame::getUpdatesDisabled() const { return redrawSuspended; }

// ---- input -------------------------------------------------------------------------------------

int32_t CFrame::readButtonState() {
    auto down = [](int key) { return GetAsyncKeyState(key) < 0; };
    int32_t state = 0;
    const bool left = down(VK_LBUTTON), right = down(VK_RBUTTON);
    if (left) state |= g_swappedButtons ? kRButton : kLButton;
    if (right) state |= g_swappedButtons ? kLButton : kRButton;
    if (down(VK_MBUTTON)) state |= kMButton;
    if (down(VK_SHIFT)) state |= kShift;
    if (down(VK_CONTROL)) state |= kControl;
    if (down(VK_MENU)) state |= kAlt;
    return state;
}

void CFrame::mouse(CDrawContext* context, CPoint& where, int32_t buttons) {
    if (keyView) setFocusView(nullptr);
    if (buttons == kReadButtonState && context) buttons = readButtonState();
    if (!exclusiveView) CViewContainer::mouse(context, where, buttons);
    else if (exclusiveView->hitTest(where, buttons)) exclusiveView->mouse(context, where, buttons);
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
    int32_t result = -1;
    if (keyView) result = keyView->onKeyDown(keyCode);
    if (result == -1 && exclusiveView) result = exclusiveView->onKeyDown(keyCode);
    if (result != -1) return result;
    if (keyCode.virt == kVirtualKeyTab)
        return advanceNextFocusView(keyView, (keyCode.modifier & kModifierShift) != 0) ? 1 : -1;
    return -1;
}

int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
    int32_t result = -1;
    if (keyView) result = keyView->onKeyUp(keyCode);
    if (result == -1 && exclusiveView) result = exclusiveView->onKeyUp(keyCode);
    return result;
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, const CMouseWheelAxis axis, float distance) {
    CView* target = exclusiveView ? exclusiveView : getViewAt(where, false);
    if (!target) return false;
    CTemporaryContext own;
    if (!context && ownWindow) {
        own.reset(makeFrameContext());
        context = own.get();
    }
    return target->onWheel(context, where, axis, distance);
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, float distance) {
    return onWheel(context, where, kMouseWheelAxisY, distance);
}

bool CFrame::advanceNextFocusView(CView* oldFocus, bool reverse) {
    if (exclusiveView) return false;
    CView* current = oldFocus ? oldFocus : keyView;
    if (!current) return CViewContainer::advanceNextFocusView(nullptr, reverse);
    if (isChild(current)) {
        if (CViewContainer::advanceNextFocusView(current, reverse)) return true;
        setFocusView(nullptr);
        return false;
    }
    // Inside nested containers: after the current view in its own container, then after each
    // container just left in the one around it, and at last among the frame's own children.
    CView* left = current;
    CView* container = current->getParentView();
    while (container && container != this && container->isTypeOf("CViewContainer")) {
        if (static_cast<CViewContainer*>(container)->advanceNextFocusView(left, reverse)) return true;
        left = container;
        container = container->getParentView();
    }
    return CViewContainer::advanceNextFocusView(isChild(left) ? left : nullptr, reverse);
}

void CFrame::setFocusView(CView* view) {
    CView* previous = keyView;
    keyView = view;
    if (keyView && keyView->wantsFocus()) keyView->setDirty(true);
    if (previous) {
        previous->looseFocus();
        if (previous->wantsFocus()) previous->setDirty(true);
    }
}

CView* CFrame::getFocusView() const { return keyView; }

CView* CFrame::getCurrentView() const { return exclusiveView ? exclusiveView : CViewContainer::getCurrentView(); }

bool CFrame::setModalView(CView* view) {
    if (exclusiveView && view) return false;
    if (exclusiveView) removeView(exclusiveView, false);
    exclusiveView = view;
    if (exclusiveView) addView(exclusiveView);
    return true;
}

CView* CFrame::getModalView() const { return exclusiveView; }

bool CFrame::getCurrentLocation(CPoint& where) {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    RECT window = {0, 0, 0, 0};
    if (ownWindow) GetWindowRect(ownWindow, &window);
    where = CPoint(cursor.x - window.left, cursor.y - window.top);
    return true;
}

void CFrame::setCursor(int32_t type) {
    if (!savedCursor) savedCursor = GetCursor();
    const LPCSTR systemCursor = systemCursorOf(type);
    if (systemCursor) SetCursor(LoadCursorA(nullptr, systemCursor));
    else SetCursor(savedCursor);
}

// ---- the editor and the host window ------------------------------------------------------------

bool CFrame::open(CPoint*) { return false; }

bool CFrame::close() { return false; }

bool CFrame::isOpen() const { return ownWindow && windowAlive; }

void CFrame::setOpenFlag(bool flag) { openFlag = flag; }

bool CFrame::getOpenFlag() const { return openFlag; }

void CFrame::doIdleStuff() {
    if (editor) editor->pumpIdle();
}

uint32_t CFrame::getTicks() const { return editor ? GetTickCount() : 0; }

int32_t CFrame::getKnobMode() const { return vst::FrameOwner::knobMode; }

void CFrame::beginEdit(int32_t index) {
    if (editor) editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index) {
    if (editor) editor->endEdit(index);
}

bool CFrame::setPosition(int32_t, int32_t) { return false; }

void CFrame::setViewSize(CRect& rect) { setSize(rect.width(), rect.height()); }

bool CFrame::isTypeOf(const char* name) const {
    return (name && std::strcmp(name, "CFrame") == 0) || CViewContainer::isTypeOf(name);
}

bool CFrame::setSize(int32_t width, int32_t height) {
    if (!windowAlive || !ownWindow) return false;
    if (width == viewRect.width() && height == viewRect.height()) return false;

    vst::AudioEffectX* effect = editor ? dynamic_cast<vst::AudioEffectX*>(editor->getEffect()) : nullptr;
    char sizeWindow[] = "sizeWindow";
    if (effect && effect->canHostDo(sizeWindow) && effect->sizeWindow(width, height)) {
        viewRect.right = viewRect.left + width;
        viewRect.bottom = viewRect.top + height;
        SetWindowPos(ownWindow, HWND_TOP, 0, 0, width, height, SWP_NOMOVE);
        return true;
    }

    viewRect.right = viewRect.left + width;
    viewRect.bottom = viewRect.top + height;
    // Without the host's help the window chain is resized by hand, up to the window that
    // belongs to the host (one much larger than ours, or an MDI client).
    const int frameExtra = 2 * GetSystemMetrics(SM_CYDLGFRAME);
    int extraWidth = 0, extraHeight = 0;
    HWND current = ownWindow;
    while (extraWidth != frameExtra && current) {
        HWND parent = GetParent(current);
        if (!parent) break;
        char className[1024];
        GetClassNameA(parent, className, sizeof className);
        if (std::strcmp(className, "MDIClient") == 0) break;
        RECT currentRect, parentRect;
        GetWindowRect(current, &currentRect);
        GetWindowRect(parent, &parentRect);
        SetWindowPos(current, HWND_TOP, 0, 0, width + extraWidth, height + extraHeight, SWP_NOMOVE);
        extraWidth += (parentRect.right - parentRect.left) - (currentRect.right - currentRect.left);
        extraHeight += (parentRect.bottom - parentRect.top) - (currentRect.bottom - currentRect.top);
        if (extraWidth > kHostParentExtra || extraHeight > kHostParentExtra) return true;
        if (extraWidth < 0) extraWidth = 0;
        if (extraHeight < 0) extraHeight = 0;
        current = parent;
    }
    if (current) SetWindowPos(current, HWND_TOP, 0, 0, width + extraWidth, height + extraHeight, SWP_NOMOVE);
    CRect whole(0, 0, width, height);
    CViewContainer::setViewSize(whole);
    return true;
}

bool CFrame::getPosition(int32_t& x, int32_t& y) const {
    if (!windowAlive || !ownWindow) return false;
    RECT frameRect;
    GetWindowRect(ownWindow, &frameRect);
    HWND window = ownWindow;
    for (;;) {
        HWND parent = GetParent(window);
        if (!parent || (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION)) break;
        RECT parentRect;
        GetWindowRect(parent, &parentRect);
        if ((parentRect.right - parentRect.left) - (frameRect.right - frameRect.left) > kFramingParentMargin ||
            (parentRect.bottom - parentRect.top) - (frameRect.bottom - frameRect.top) > kFramingParentMargin)
            break;
        window = parent;
    }
    RECT topRect;
    GetWindowRect(window, &topRect);
    POINT corner = {topRect.left, topRect.top};
    MapWindowPoints(HWND_DESKTOP, GetParent(window), &corner, 1);
    x = corner.x;
    y = corner.y;
    return true;
}

bool CFrame::getSize(CRect* size) const { return size ? getSize(*size) : false; }

bool CFrame::getSize(CRect& size) const {
    if (!windowAlive || !ownWindow) return false;
    HWND parent = GetParent(ownWindow);
    if (!parent) return false;
    RECT parentRect;
    GetWindowRect(parent, &parentRect);
    POINT corner = {parentRect.left, parentRect.top};
    MapWindowPoints(HWND_DESKTOP, GetParent(parent), &corner, 1);
    size = CRect(corner.x, corner.y, corner.x + (parentRect.right - parentRect.left),
                 corner.y + (parentRect.bottom - parentRect.top));
    return true;
}

}  // namespace VSTGUI
