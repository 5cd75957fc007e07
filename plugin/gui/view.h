// CView: the base of everything in the plug-in window that draws or takes input. Views are
// reference counted; a container holds one reference to each of its children.
#pragma once
#include "plugin/gui/gui_types.h"
#include "plugin/gui/reference_counter.h"

namespace vst {
class FrameOwner;
}

namespace VSTGUI {

class CDrawContext;
class CDragContainer;
class CFrame;

// A background image would be one of these; no image type is drawn in this window, so a
// background only holds its reference.
typedef CReferenceCounter CBitmap;

class CView : public CReferenceCounter {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);
    virtual bool checkUpdate(const CRect& updateRect) const;
    virtual void mouse(CDrawContext* context, CPoint& where, int32_t buttons = kReadButtonState);
    virtual void setBackground(CBitmap* background);
    virtual CBitmap* getBackground() const;
    virtual int32_t onKeyDown(VstKeyCode& keyCode);
    virtual int32_t onKeyUp(VstKeyCode& keyCode);
    virtual bool onWheel(CDrawContext* context, const CPoint& where, const CMouseWheelAxis axis, float distance);
    virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance);
    virtual bool onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void looseFocus(CDrawContext* context = nullptr);
    virtual void takeFocus(CDrawContext* context = nullptr);
    virtual bool isDirty() const;
    virtual void setDirty(bool dirty = true);
    virtual void setMouseEnabled(bool enabled = true);
    virtual bool getMouseEnabled() const;
    virtual void setMouseableArea(const CRect& area);
    virtual CRect& getMouseableArea(CRect& area) const;
    virtual bool hitTest(const CPoint& where, int32_t buttons = kReadButtonState);
    virtual void setTransparency(bool transparent);
    virtual bool getTransparency() const;
    virtual void setViewSize(CRect& rect);
    virtual CRect& getViewSize(CRect& rect) const;
    virtual bool removed(CView* parent);
    virtual bool attached(CView* parent);
    virtual void getMouseLocation(CDrawContext* context, CPoint& point);
    virtual CPoint& frameToLocal(CPoint& point) const;
    virtual CPoint& localToFrame(CPoint& point) const;
    virtual vst::FrameOwner* getEditor() const;
    virtual int32_t notify(CView* sender, const char* message);
    virtual void redrawRect(CDrawContext* context, const CRect& rect);
    virtual bool wantsFocus() const;
    virtual void setWantsFocus(bool wants);
    virtual bool isTypeOf(const char* name) const;
    virtual void update(CDrawContext* context);

    CFrame* getFrame() const { return rootFrame; }
    CView* getParentView() const { return owner; }
    void setFrame(CFrame* frame) { rootFrame = frame; }
    void setParentView(CView* parent) { owner = parent; }

protected:
    struct Attribute {
        Attribute* next;
        void* data;  // a heap block, freed with the record
    };

    CRect viewRect;   // in the parent container's coordinates
    CRect clickArea;  // where the view takes clicks
    CFrame* rootFrame = nullptr;
    CView* owner = nullptr;
    bool needsRedraw = false;
    bool acceptsMouse = true;
    bool seeThrough = false;
    bool takesFocus = false;
    CBitmap* backImage = nullptr;
    Attribute* attributeList = nullptr;
};

}  // namespace VSTGUI
