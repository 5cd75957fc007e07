// The plug-in window's view tree, frame and drop target on real windows and real GDI, with
// pixels read back from the off-screen bitmaps and the window-system calls counted.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/gui/draw_context.h"
#include "plugin/gui/drop_target.h"
#include "plugin/gui/frame.h"
#include "tests/support/gui_resources.h"

using namespace VSTGUI;

namespace {

const bool g_tracked = sonvex_test::trackGuiResources(GetModuleHandleA(nullptr)) == 15;

// A view that answers keys with a set value and records what reaches it.
struct ProbeView : CView {
    explicit ProbeView(const CRect& size, int32_t keyAnswer = -1) : CView(size), keyAnswer(keyAnswer) {}
    void draw(CDrawContext* context) override {
        ++draws;
        CView::draw(context);
    }
    int32_t onKeyDown(VstKeyCode&) override {
        ++keys;
        return keyAnswer;
    }
    int32_t keyAnswer;
    int draws = 0, keys = 0;
};

// The bitmap's pixels as 0xRRGGBB, row by row from the top.
std::vector<uint32_t> pixelsOf(HBITMAP bitmap, int width, int height) {
    std::vector<uint32_t> pixels((size_t)width * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, (UINT)height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(rows, height);
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

class Gui : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "GuiTestHost";
        RegisterClassA(&windowClass);
        host = CreateWindowExA(0, "GuiTestHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 400, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    static void TearDownTestSuite() {
        DestroyWindow(host);
        OleUninitialize();
    }
    void SetUp() override {
        ASSERT_TRUE(g_tracked);
        ASSERT_NE(host, nullptr);
    }
    static HWND host;
};
HWND Gui::host = nullptr;

// ---- views and drawing contexts ----------------------------------------------------------------

TEST_F(Gui, FreshFramePaintsBlackThroughOneCopy) {
    CFrame* frame = new CFrame(CRect(0, 0, 300, 200), host, nullptr);
    HWND window = frame->getSystemWindow();
    ASSERT_NE(window, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    const long before = sonvex_test::guiResources().bitBlts;
    UpdateWindow(window);
    const sonvex_test::GuiResourceCounts after = sonvex_test::guiResources();
    EXPECT_EQ(after.bitBlts, before + 1);
    EXPECT_EQ(after.lastBitBlt.right - after.lastBitBlt.left, 300);
    EXPECT_EQ(after.lastBitBlt.bottom - after.lastBitBlt.top, 200);
    ASSERT_NE(frame->getOffscreen(), nullptr);
    for (uint32_t pixel : pixelsOf(frame->getOffscreen()->getBitmap(), 300, 200)) ASSERT_EQ(pixel, 0u);
    frame->forget();
}

TEST_F(Gui, FillRectangleLeavesTheTopRowAndLeftColumn) {
    COffscreenContext* context = new COffscreenContext(nullptr, 12, 12, kBlackCColor);
    context->setFillColor(kWhiteCColor);
    context->fillRect(CRect(0, 0, 10, 10));
    const std::vector<uint32_t> pixels = pixelsOf(context->getBitmap(), 12, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool filled = x >= 1 && x <= 9 && y >= 1 && y <= 9;
            EXPECT_EQ(pixels[(size_t)(y * 12 + x)], filled ? 0xFFFFFFu : 0u) << x << "," << y;
        }
    context->forget();
}

TEST_F(Gui, GdiObjectsAreMadeOnlyForChangedValues) {
    const long liveBefore = sonvex_test::guiResources().gdiObjects;
    COffscreenContext* context = new COffscreenContext(nullptr, 8, 8, kBlackCColor);
    const long made = sonvex_test::guiResources().created;
    context->setFillColor(kBlackCColor);
    context->setFrameColor(kBlackCColor);
    context->setLineWidth(1);
    context->setLineStyle(kLineSolid);
    context->setFont(0, 12, 0);
    context->setClipRect(CRect(0, 0, 8, 8));
    EXPECT_EQ(sonvex_test::guiResources().created, made);
    context->setFillColor(kWhiteCColor);   // a brush
    context->setLineWidth(2);              // a pen
    context->setClipRect(CRect(1, 1, 5, 5));  // a region, selected and deleted at once
    context->setFont(2);                   // a font
    EXPECT_EQ(sonvex_test::guiResources().created, made + 4);
    context->forget();
    EXPECT_EQ(sonvex_test::guiResources().gdiObjects, liveBefore);
}

TEST_F(Gui, HitsIncludeTheEdges) {
    ProbeView view(CRect(10, 20, 30, 40));
    EXPECT_TRUE(view.hitTest(CPoint(30, 40)));
    EXPECT_TRUE(view.hitTest(CPoint(10, 20)));
    EXPECT_FALSE(view.hitTest(CPoint(31, 30)));
    EXPECT_FALSE(view.hitTest(CPoint(20, 19)));
    EXPECT_TRUE(CRect(0, 0, 10, 10).rectOverlap(CRect(10, 10, 20, 20)));  // touching corners overlap
}

TEST_F(Gui, KeysGoToTheLastChildFirstAndStopAtAnAnswer) {
    CViewContainer* container = new CViewContainer(CRect(0, 0, 100, 100), nullptr);
    ProbeView* first = new ProbeView(CRect(0, 0, 10, 10), 7);
    ProbeView* last = new ProbeView(CRect(0, 0, 10, 10), 5);
    container->addView(first);
    container->addView(last);
    VstKeyCode key = {'a', 0, 0};
    EXPECT_EQ(container->onKeyDown(key), 5);
    EXPECT_EQ(last->keys, 1);
    EXPECT_EQ(first->keys, 0);
    last->keyAnswer = -1;
    EXPECT_EQ(container->onKeyDown(key), 7);
    container->forget();  // removes and releases both children: the creator's reference too
}

TEST_F(Gui, ContainerMessageByAddressAndTypeNames) {
    CViewContainer* container = new CViewContainer(CRect(0, 0, 10, 10), nullptr);
    char sameText[sizeof "kMsgCheckIfViewContainer"];
    std::strcpy(sameText, kMsgCheckIfViewContainer);
    EXPECT_EQ(container->notify(nullptr, kMsgCheckIfViewContainer), 1);
    EXPECT_EQ(container->notify(nullptr, sameText), 0);
    EXPECT_TRUE(container->isTypeOf("CViewContainer"));
    EXPECT_TRUE(container->isTypeOf("CView"));
    EXPECT_FALSE(container->isTypeOf("CFrame"));
    CFrame* frame = new CFrame(CRect(0, 0, 10, 10), nullptr, nullptr);
    EXPECT_TRUE(frame->isTypeOf("CFrame") && frame->isTypeOf("CViewContainer") && frame->isTypeOf("CView"));
    ProbeView view(CRect(0, 0, 1, 1));
    EXPECT_FALSE(view.isTypeOf("CViewContainer"));
    frame->forget();
    container->forget();
}

TEST_F(Gui, ReferenceCountsThroughAddAndRemove) {
    CViewContainer* container = new CViewContainer(CRect(0, 0, 100, 100), nullptr);
    ProbeView* kept = new ProbeView(CRect(0, 0, 10, 10));
    ProbeView* released = new ProbeView(CRect(0, 0, 10, 10));
    container->addView(kept);
    container->addView(released);
    EXPECT_EQ(kept->getNbReference(), 2);
    EXPECT_EQ(container->getNbViews(), 2);
    container->removeView(kept, false);  // the creator's reference stays
    EXPECT_EQ(kept->getNbReference(), 1);
    EXPECT_FALSE(container->isChild(kept));
    released->remember();  // keep it observable
    container->removeView(released, true);
    EXPECT_EQ(released->getNbReference(), 1);
    EXPECT_EQ(container->getNbViews(), 0);
    container->addView(kept);
    container->removeAll(false);
    EXPECT_EQ(kept->getNbReference(), 1);
    kept->forget();
    released->forget();
    container->forget();
}

// ---- the frame ---------------------------------------------------------------------------------

TEST_F(Gui, FramesShareOneWindowClassUntilTheLastIsGone) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    CFrame* first = new CFrame(CRect(0, 0, 50, 50), host, nullptr);
    CFrame* second = new CFrame(CRect(0, 0, 50, 50), host, nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Plugin%0*llX", (int)(2 * sizeof(void*)), (unsigned long long)(uintptr_t)instance);
    EXPECT_STREQ(CFrame::windowClassName(), expected);
    EXPECT_EQ(CFrame::windowClassUseCount(), 2);
    // The window data holds the whole frame address.
    EXPECT_EQ(GetWindowLongPtrA(second->getSystemWindow(), GWLP_USERDATA), reinterpret_cast<LONG_PTR>(second));
    const std::string name = CFrame::windowClassName();
    WNDCLASSA found;
    first->forget();
    EXPECT_TRUE(GetClassInfoA(instance, name.c_str(), &found));
    second->forget();
    EXPECT_EQ(CFrame::windowClassUseCount(), 0);
    EXPECT_FALSE(GetClassInfoA(instance, name.c_str(), &found));
    CFrame* third = new CFrame(CRect(0, 0, 50, 50), host, nullptr);
    EXPECT_TRUE(GetClassInfoA(instance, name.c_str(), &found));
    third->forget();
}

TEST_F(Gui, PaintsWhatTheUpdateRegionAsksAndNothingWithoutOne) {
    CFrame* frame = new CFrame(CRect(0, 0, 120, 80), host, nullptr);
    HWND window = frame->getSystemWindow();
    UpdateWindow(window);
    ValidateRect(window, nullptr);
    long copies = sonvex_test::guiResources().bitBlts;
    SendMessageA(window, WM_PAINT, 0, 0);  // no update region: left to the default procedure
    EXPECT_EQ(sonvex_test::guiResources().bitBlts, copies);
    RECT part = {10, 20, 50, 40};
    InvalidateRect(window, &part, FALSE);
    UpdateWindow(window);
    const sonvex_test::GuiResourceCounts after = sonvex_test::guiResources();
    EXPECT_EQ(after.bitBlts, copies + 1);
    EXPECT_EQ(after.lastBitBlt.left, 10);
    EXPECT_EQ(after.lastBitBlt.top, 20);
    EXPECT_EQ(after.lastBitBlt.right, 50);
    EXPECT_EQ(after.lastBitBlt.bottom, 40);
    frame->forget();
}

TEST_F(Gui, FrameWithoutViewsIgnoresInputAndKeepsItsSize) {
    CFrame* frame = new CFrame(CRect(0, 0, 100, 60), host, nullptr);
    VstKeyCode tab = {0, kVirtualKeyTab, 0}, letter = {'x', 0, 0};
    EXPECT_EQ(frame->onKeyDown(tab), -1);
    EXPECT_EQ(frame->onKeyDown(letter), -1);
    EXPECT_EQ(frame->onKeyUp(letter), -1);
    EXPECT_FALSE(frame->onWheel(nullptr, CPoint(10, 10), 1.0f));
    EXPECT_EQ(SendMessageA(frame->getSystemWindow(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5)), 0);
    EXPECT_FALSE(frame->setSize(100, 60));
    CRect size;
    EXPECT_EQ(frame->getViewSize(size), CRect(0, 0, 100, 60));
    // Focus moves by Tab to a view that wants it.
    ProbeView* focusable = new ProbeView(CRect(0, 0, 10, 10));
    focusable->setWantsFocus(true);
    frame->addView(focusable);
    EXPECT_EQ(frame->onKeyDown(tab), 1);
    EXPECT_EQ(frame->getFocusView(), focusable);
    frame->forget();
}

TEST_F(Gui, CursorKindSevenRestoresTheSavedCursor) {
    HCURSOR arrow = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    SetCursor(arrow);
    CFrame* frame = new CFrame(CRect(0, 0, 10, 10), host, nullptr);
    frame->setCursor(kCursorWait);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
    frame->setCursor(kCursorHand);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));
    frame->setCursor(kCursorCopy);
    EXPECT_EQ(GetCursor(), arrow);
    frame->forget();
}

TEST_F(Gui, AfterItsWindowIsDestroyedTheFrameDrawsNothing) {
    CFrame* frame = new CFrame(CRect(0, 0, 100, 60), host, nullptr);
    ProbeView* view = new ProbeView(CRect(0, 0, 20, 20));
    frame->addView(view);
    UpdateWindow(frame->getSystemWindow());
    const int drawn = view->draws;
    EXPECT_GT(drawn, 0);
    view->setDirty(true);
    frame->idle();
    EXPECT_EQ(view->draws, drawn + 1);  // idle redraws a dirty view

    const LONG targets = CDropTarget::liveObjects();
    DestroyWindow(frame->getSystemWindow());
    EXPECT_FALSE(frame->isWindowAlive());
    EXPECT_EQ(CDropTarget::liveObjects(), targets - 1);  // revoked with the window
    view->setDirty(true);
    const long copies = sonvex_test::guiResources().bitBlts;
    frame->idle();
    COffscreenContext* context = new COffscreenContext(nullptr, 10, 10, kBlackCColor);
    frame->update(context);
    context->forget();
    EXPECT_EQ(view->draws, drawn + 1);
    EXPECT_EQ(sonvex_test::guiResources().bitBlts, copies);
    frame->forget();
    EXPECT_EQ(CFrame::windowClassUseCount(), 0);
}

// ---- the drop target ---------------------------------------------------------------------------

// A data object holding text or a file list; it counts the media it hands out and gets back.
class DataObject : public IDataObject {
public:
    DataObject(CLIPFORMAT format, std::vector<std::string> items) : m_format(format), m_items(std::move(items)) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IDataObject) || IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack; the counts are of the media handed out.
    STDMETHODIMP_(ULONG) AddRef() override { return (ULONG)++m_mediaOut; }
    STDMETHODIMP_(ULONG) Release() override { return (ULONG)--m_mediaOut; }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != m_format || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        HGLOBAL memory = m_format == CF_TEXT ? textBlock() : fileBlock();
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = static_cast<IDataObject*>(this);  // ReleaseStgMedium calls Release
        AddRef();
        m_blocks.push_back(memory);
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override { return format->cfFormat == m_format ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    ~DataObject() {
        for (HGLOBAL block : m_blocks) GlobalFree(block);
    }
    long mediaOut() const { return m_mediaOut; }

private:
    HGLOBAL textBlock() {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, m_items[0].size() + 1);
        std::memcpy(GlobalLock(memory), m_items[0].c_str(), m_items[0].size() + 1);
        GlobalUnlock(memory);
        return memory;
    }
    HGLOBAL fileBlock() {
        std::string names;
        for (const std::string& item : m_items) names += item + '\0';
        names += '\0';
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = FALSE;
        std::memcpy(drop + 1, names.data(), names.size());
        GlobalUnlock(memory);
        return memory;
    }

    CLIPFORMAT m_format;
    std::vector<std::string> m_items;
    long m_mediaOut = 0;
    std::vector<HGLOBAL> m_blocks;
};

TEST_F(Gui, DropTargetLivesAsLongAsItsRegistration) {
    const LONG targets = CDropTarget::liveObjects();
    CFrame* frame = new CFrame(CRect(0, 0, 50, 50), host, nullptr);
    ASSERT_NE(frame->getDropTarget(), nullptr);
    EXPECT_EQ(frame->getDropTarget()->referenceCount(), 1);
    EXPECT_EQ(CDropTarget::liveObjects(), targets + 1);
    EXPECT_TRUE(frame->setDropActive(false));
    EXPECT_EQ(frame->getDropTarget(), nullptr);
    EXPECT_EQ(CDropTarget::liveObjects(), targets);
    frame->forget();
}

TEST_F(Gui, DraggedTextAndFilesAreCountedAndADropChangesNothing) {
    CFrame* frame = new CFrame(CRect(0, 0, 50, 50), host, nullptr);
    CDropTarget* target = frame->getDropTarget();
    ASSERT_NE(target, nullptr);
    const POINTL point = {5, 5};

    DataObject text(CF_TEXT, {"hello"});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(&text, 0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_MOVE);
    ASSERT_NE(CDropTarget::currentDrag(), nullptr);
    EXPECT_EQ(CDropTarget::currentDrag()->getCount(), 1);
    int32_t size = 0, type = 0;
    EXPECT_STREQ(static_cast<const char*>(CDropTarget::currentDrag()->next(size, type)), "hello");
    EXPECT_EQ(type, CDragContainer::kText);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragOver(0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_MOVE);
    EXPECT_EQ(target->DragLeave(), S_OK);
    EXPECT_EQ(CDropTarget::currentDrag(), nullptr);
    effect = 0x77;
    EXPECT_EQ(target->DragOver(0, point, &effect), S_OK);  // after the leave: ignored
    EXPECT_EQ(effect, 0x77u);
    EXPECT_EQ(text.mediaOut(), 0);  // every medium handed out was given back

    DataObject files(CF_HDROP, {"C:\\a.wav", "C:\\b.wav", "C:\\c.fxp"});
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(&files, 0, point, &effect), S_OK);
    ASSERT_NE(CDropTarget::currentDrag(), nullptr);
    EXPECT_EQ(CDropTarget::currentDrag()->getCount(), 3);
    CDropTarget::currentDrag()->next(size, type);
    EXPECT_STREQ(static_cast<const char*>(CDropTarget::currentDrag()->next(size, type)), "C:\\b.wav");
    EXPECT_EQ(type, CDragContainer::kFile);
    // A second enter without a leave gives the old container up.
    CDragContainer* old = CDropTarget::currentDrag();
    old->remember();
    EXPECT_EQ(target->DragEnter(&files, 0, point, &effect), S_OK);
    EXPECT_EQ(old->getNbReference(), 1);
    old->forget();
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(&files, 0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);  // no view took it
    EXPECT_EQ(CDropTarget::currentDrag(), nullptr);
    EXPECT_EQ(files.mediaOut(), 0);

    effect = DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(nullptr, 0, point, &effect), S_OK);
    EXPECT_EQ(effect, (DWORD)DROPEFFECT_NONE);
    EXPECT_EQ(CDropTarget::currentDrag(), nullptr);
    frame->forget();
}

}  // namespace
