#include "plugin/gui/view.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "plugin/gui/draw_context.h"
#include "plugin/gui/frame.h"

namespace VSTGUI {

const char kMsgCheckIfViewContainer[] = "kMsgCheckIfViewContainer";

CView::CView(const CRect& size) : viewRect(size), clickArea(size) {}

CView::~CView() {
    while (attributeList) {
        Attribute* next = attributeList->next;
        std::free(attributeList->data);
        delete attributeList;
        attributeList = next;
    }
    if (backImage) backImage->forget();
}

void CView::draw(CDrawContext*) { setDirty(false); }

void CView::drawRect(CDrawContext* context, const CRect&) { draw(context); }

bool CView::checkUpdate(const CRect& updateRect) const { return updateRect.rectOverlap(viewRect); }

void CView::mouse(CDrawContext*, CPoint&, int32_t) {}

void CView::setBackground(CBitmap* background) {
    if (backImage) backImage->forget();
    backImage = background;
    if (backImage) backImage->remember();
    setDirty(true);
}

CBitmap* CView::getBackground() const { return backImage; }

int32_t CView::onKeyDown(VstKeyCode&) { return -1; }

int32_t CView::onKeyUp(VstKeyCode&) { return -1; }

bool CView::onWheel(CDrawContext* context, const CPoint& where, const CMouseWheelAxis, float distance) {
    return onWheel(context, where, distance);
}

bool CView::onWheel(CDrawContext*, const CPoint&, float) { return false; }

bool CView::onDrop(CDrawContext*, CDragContainer*, const CPoint&) { return false; }

void CView::onDragEnter(CDrawContext*, CDragContainer*, const CPoint&) {}

void CView::onDragLeave(CDrawContext*, CDragContainer*, const CPoint&) {}

void CView::onDragMove(CDrawContext*, CDragContainer*, const CPoint&) {}

void CView::looseFocus(CDrawContext*) {}

void CView::takeFocus(CDrawContext*) {}

bool CView::isDirty() const { return needsRedraw; }

void CView::setDirty(bool dirty) { needsRedraw = dirty; }

void CView::setMouseEnabled(bool enabled) { acceptsMouse = enabled; }

bool CView::getMouseEnabled() const { return acceptsMouse; }

void CView::setMouseableArea(const CRect& area) { clickArea = area; }

CRect& CView::getMouseableArea(CRect& area) const {
    area = clickArea;
    return area;
}

bool CView::hitTest(const CPoint& where, int32_t) { return clickArea.pointInside(where); }

void CView::setTransparency(bool transparent) { seeThrough = transparent; }

bool CView::getTransparency() const { return seeThrough; }

void CView::setViewSize(CRect& rect) {
    viewRect = rect;
    setDirty(true);
}

CRect& CView::getViewSize(CRect& rect) const {
    rect = viewRect;
    return rect;
}

bool CView::removed(CView*) { return true; }

bool CView::attached(CView*) { return true; }

void CView::getMouseLocation(CDrawContext* context, CPoint& point) {
    if (context) {
        if (owner && owner->notify(this, kMsgCheckIfViewContainer) == 1) {
            CRect parentSize;
            owner->getViewSize(parentSize);
            const CPoint savedOffset = context->offset, savedScreen = context->offsetScreen;
            context->offsetScreen.offset(parentSize.left, parentSize.top);
            context->offset.offset(parentSize.left, parentSize.top);
            owner->getMouseLocation(context, point);
            context->offset = savedOffset;
            context->offsetScreen = savedScreen;
            return;
        }
        POINT cursor = {0, 0};
        GetCursorPos(&cursor);
        point = CPoint(cursor.x - context->offsetScreen.x, cursor.y - context->offsetScreen.y);
    }
}

CPoint& CView::frameToLocal(CPoint& point) const {
    if (owner && owner->isTypeOf("CViewContainer")) return owner->frameToLocal(point);
    return point;
}

CPoint& CView::localToFrame(CPoint& point) const {
    if (owner && owner->isTypeOf("CViewContainer")) return owner->localToFrame(point);
    return point;
}

vst::FrameOwner* CView::getEditor() const { return rootFrame ? rootFrame->getEditor() : nullptr; }

int32_t CView::notify(CView*, const char*) { return 0; }

void CView::redrawRect(CDrawContext* context, const CRect& rect) {
    if (owner) owner->redrawRect(context, rect);
    else if (rootFrame) rootFrame->drawRect(context, rect);
}

bool CView::wantsFocus() const { return takesFocus; }

void CView::setWantsFocus(bool wants) { takesFocus = wants; }

bool CView::isTypeOf(const char* name) const { return name && std::strcmp(name, "CView") == 0; }

void CView::update(CDrawContext* context) {
    if (!isDirty()) return;
    if (context) redrawRect(context, viewRect);
    else if (rootFrame) rootFrame->redraw(this);
    setDirty(false);
}

}  // namespace VSTGUI
