// CFrame: the plug-in's own child window inside the host's editor window, and the root of its
// view tree. It owns the Win32 window and the window class, turns window messages into drawing
// and input on the views, registers the window as an OLE drop target, and forwards edits and
// idle requests to the editor that owns it.
#pragma once
#include <windows.h>

#include "plugin/gui/view_container.h"

namespace vst {
class FrameOwner;
}

namespace VSTGUI {

class CDropTarget;

class CFrame : public CViewContainer {
public:
    // With a null host window no window is made and every window operation has no effect.
    CFrame(const CRect& size, void* hostWindow, vst::FrameOwner* editor);
    ~CFrame() override;

    void draw(CDrawContext* context = nullptr) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = kReadButtonState) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(CDrawContext* context, const CPoint& where, const CMouseWheelAxis axis, float distance) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    void setViewSize(CRect& rect) override;
    bool isTypeOf(const char* name) const override;
    CView* getCurrentView() const override;
    bool advanceNextFocusView(CView* oldFocus, bool reverse = false) override;
    // The dirty-redraw pass.
    void update(CDrawContext* context) override;

    virtual bool open(CPoint* point = nullptr);
    virtual bool close();
    virtual bool isOpen() const;
    virtual void idle();
    virtual void doIdleStuff();
    virtual uint32_t getTicks() const;
    virtual int32_t getKnobMode() const;
    virtual bool setPosition(int32_t x, int32_t y);
    virtual bool getPosition(int32_t& x, int32_t& y) const;
    virtual bool setSize(int32_t width, int32_t height);
    virtual bool getSize(CRect* size) const;
    virtual bool getSize(CRect& size) const;
    virtual bool setModalView(CView* view);
    virtual CView* getModalView() const;
    virtual void beginEdit(int32_t index);
    virtual void endEdit(int32_t index);
    virtual bool getCurrentLocation(CPoint& where);
    virtual void setCursor(int32_t type);
    virtual void setFocusView(CView* view);
    virtual CView* getFocusView() const;
    virtual bool setDropActive(bool active);
    virtual bool isDropActive() const;
    virtual void setOpenFlag(bool flag);
    virtual bool getOpenFlag() const;
    virtual int32_t invalidate(const CRect& rect);
    virtual bool setUpdatesDisabled(bool disabled);
    virtual bool getUpdatesDisabled() const;
    virtual void redraw(CView* view = nullptr);

    // A drawing context for the frame's window, which fetches the window's device context;
    // the caller forgets it when done.
    CDrawContext* makeFrameContext();

    vst::FrameOwner* getEditor() const override { return editor; }
    HWND getSystemWindow() const { return ownWindow; }
    HWND getHostWindow() const { return hostWindow; }
    bool isWindowAlive() const { return windowAlive; }
    CDropTarget* getDropTarget() const { return dropTarget; }

    // Left, middle, right, Shift, Control and Alt as the frame's button bits, the physical
    // buttons swapped back when the user swapped them.
    static int32_t readButtonState();
    // The process-wide window class: its name and how many frames use it now.
    static const char* windowClassName();
    static int32_t windowClassUseCount();

private:
    friend LRESULT CALLBACK FrameWindowProc(HWND, UINT, WPARAM, LPARAM);

    bool registerWindowClass();
    void unregisterWindowClass();

    vst::FrameOwner* editor;
    HWND hostWindow;
    CView* exclusiveView = nullptr;
    CView* keyView = nullptr;
    bool neverDrawn = true;
    bool windowAlive = true;
    bool acceptsDrops = false;
    bool redrawSuspended = false;
    HWND ownWindow = nullptr;
    HMODULE msimg32 = nullptr;
    CDropTarget* dropTarget = nullptr;
    HCURSOR savedCursor = nullptr;
    bool openFlag = false;
};

}  // namespace VSTGUI
