// CViewContainer: a view holding an ordered list of child views. It draws itself and its
// children into an off-screen buffer and copies that to the screen in one BitBlt, and it
// passes input, drags and focus on to the child they concern.
#pragma once
#include "plugin/gui/view.h"

namespace VSTGUI {

class COffscreenContext;

class CViewContainer : public CView {
public:
    CViewContainer(const CRect& size, CFrame* frame, CBitmap* background = nullptr);
    ~CViewContainer() override;

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = kReadButtonState) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(CDrawContext* context, const CPoint& where, const CMouseWheelAxis axis, float distance) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    bool onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void looseFocus(CDrawContext* context = nullptr) override;
    void takeFocus(CDrawContext* context = nullptr) override;
    bool isDirty() const override;
    void setViewSize(CRect& rect) override;
    bool removed(CView* parent) override;
    bool attached(CView* parent) override;
    CPoint& frameToLocal(CPoint& point) const override;
    CPoint& localToFrame(CPoint& point) const override;
    int32_t notify(CView* sender, const char* message) override;
    void redrawRect(CDrawContext* context, const CRect& rect) override;
    bool isTypeOf(const char* name) const override;
    void update(CDrawContext* context) override;

    virtual void addView(CView* view, const CRect& mouseableArea, bool mouseEnabled = true);
    virtual void addView(CView* view);
    virtual void removeView(CView* view, bool withForget = true);
    virtual void removeAll(bool withForget = true);
    virtual bool isChild(CView* view) const;
    virtual int32_t getNbViews() const;
    virtual CView* getView(int32_t index) const;
    virtual void setBackgroundColor(const CColor& color);
    virtual CColor getBackgroundColor() const;
    virtual void setBackgroundOffset(const CPoint& offset);
    virtual const CPoint& getBackgroundOffset() const;
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);
    // What the dirty pass redraws: the whole container when anything in it is dirty, or only
    // the dirty children; any other mode redraws nothing.
    enum UpdateMode : int32_t { kUpdateWhole = 0, kUpdateDirtyChildren = 1 };
    virtual void setMode(int32_t mode);
    virtual int32_t getMode() const;
    virtual void useOffscreen(bool offscreen);
    virtual CView* getCurrentView() const;
    virtual CView* getViewAt(const CPoint& where, bool deep = false) const;
    virtual bool advanceNextFocusView(CView* oldFocus, bool reverse = false);

    COffscreenContext* getOffscreen() const { return buffer; }

protected:
    struct ViewNode {
        CView* view;
        ViewNode* next;
        ViewNode* previous;
    };

    // Where a container draws: its buffer, or the given context moved to the container's
    // origin; with the clip found there, as it was and in the container's coordinates.
    struct DrawingTarget {
        CDrawContext* context = nullptr;
        CPoint savedOffset, savedScreen;
        CRect savedClip, clip;
    };
    DrawingTarget beginDrawing(CDrawContext* context);
    // Puts the clip back, copies the drawn part from the buffer (or moves the context back)
    // and clears the container's dirty mark.
    void endDrawing(CDrawContext* context, const DrawingTarget& target, const CRect& destination, const CPoint& source);
    // For the length of a dispatch: the context's origin and offset at this container's
    // top-left (nothing without a context).
    class OriginShift {
    public:
        OriginShift(const CViewContainer& container, CDrawContext* context);
        ~OriginShift();
        OriginShift(const OriginShift&) = delete;
        OriginShift& operator=(const OriginShift&) = delete;

    private:
        CDrawContext* context;
        CPoint savedOffset, savedScreen;
    };
    CPoint localPoint(const CPoint& where) const { return CPoint(where.x - viewRect.left, where.y - viewRect.top); }
    // The context's origin and offset moved to this container's top-left, and back.
    void enterContext(CDrawContext* context, CPoint& savedOffset, CPoint& savedScreen) const;
    static void leaveContext(CDrawContext* context, const CPoint& savedOffset, const CPoint& savedScreen);
    CRect localArea() const { return CRect(0, 0, viewRect.width(), viewRect.height()); }
    void makeBuffer();
    void releaseBuffer();

    ViewNode* firstNode = nullptr;
    ViewNode* lastNode = nullptr;
    int32_t updateMode = kUpdateDirtyChildren;
    COffscreenContext* buffer = nullptr;
    CColor backColor = kBlackCColor;
    CPoint backImageOffset;
    bool buffered = true;
    CView* dragOverView = nullptr;
};

}  // namespace VSTGUI
