#include "plugin/gui/view_container.h"

#include <cstring>

#include "plugin/gui/draw_context.h"
#include "plugin/gui/frame.h"

namespace VSTGUI {

CViewContainer::CViewContainer(const CRect& size, CFrame* frame, CBitmap* background) : CView(size) {
    rootFrame = frame;
    if (background) {
        backImage = background;
        backImage->remember();
    }
    setDirty(true);
}

CViewContainer::~CViewContainer() {
    removeAll(true);
    releaseBuffer();
}

void CViewContainer::makeBuffer() {
    if (!buffer) buffer = new COffscreenContext(rootFrame, viewRect.width(), viewRect.height(), kBlackCColor);
}

void CViewContainer::releaseBuffer() {
    if (buffer) buffer->forget();
    buffer = nullptr;
}

void CViewContainer::enterContext(CDrawContext* context, CPoint& savedOffset, CPoint& savedScreen) const {
    savedOffset = context->offset;
    savedScreen = context->offsetScreen;
    context->offset.offset(viewRect.left, viewRect.top);
    context->offsetScreen.offset(viewRect.left, viewRect.top);
}

void CViewContainer::leaveContext(CDrawContext* context, const CPoint& savedOffset, const CPoint& savedScreen) {
    context->offset = savedOffset;
    context->offsetScreen = savedScreen;
}

CViewContainer::OriginShift::OriginShift(const CViewContainer& container, CDrawContext* context) : context(context) {
    if (context) container.enterContext(context, savedOffset, savedScreen);
}

CViewContainer::OriginShift::~OriginShift() {
    if (context) leaveContext(context, savedOffset, savedScreen);
}

// ---- drawing -----------------------------------------------------------------------------------

CViewContainer::DrawingTarget CViewContainer::beginDrawing(CDrawContext* context) {
    DrawingTarget target;
    if (buffered) makeBuffer();
    target.context = buffered ? buffer : context;
    if (!buffered) enterContext(context, target.savedOffset, target.savedScreen);
    target.context->getClipRect(target.savedClip);
    target.clip = target.savedClip;
    // A nested container's buffer starts at its own origin, whatever the clip's position.
    if (buffered && !isTypeOf("CFrame")) target.clip = CRect(0, 0, target.clip.width(), target.clip.height());
    return target;
}

void CViewContainer::endDrawing(CDrawContext* context, const DrawingTarget& target, const CRect& destination,
                                const CPoint& source) {
    target.context->setClipRect(target.savedClip);
    if (buffered) buffer->copyFrom(context, destination, source);
    else leaveContext(context, target.savedOffset, target.savedScreen);
    setDirty(false);
}

void CViewContainer::draw(CDrawContext* context) {
    if (!context) return;
    const DrawingTarget target = beginDrawing(context);
    CRect clip = localArea();
    clip.bound(target.clip);
    target.context->setClipRect(clip);
    drawBackgroundRect(target.context, localArea());
    for (ViewNode* node = firstNode; node; node = node->next) {
        CRect childClip;
        node->view->getViewSize(childClip);
        childClip.bound(target.clip);
        target.context->setClipRect(childClip);
        node->view->draw(target.context);
    }
    endDrawing(context, target, viewRect, CPoint(0, 0));
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect) {
    if (seeThrough || !context) return;
    context->setFillColor(backColor);
    context->fillRect(rect);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
    if (!context) return;
    CRect clipped = updateRect;
    clipped.bound(viewRect);
    CRect local = clipped;
    local.offset(-viewRect.left, -viewRect.top);

    const DrawingTarget target = beginDrawing(context);
    CRect drawingClip = local;
    drawingClip.bound(target.clip);
    target.context->setClipRect(drawingClip);
    drawBackgroundRect(target.context, local);
    const bool scrolling = isTypeOf("CScrollContainer");
    for (ViewNode* node = firstNode; node; node = node->next) {
        CView* child = node->view;
        if (!child->checkUpdate(local)) continue;
        CRect childRect;
        child->getViewSize(childRect);
        CRect childClip = childRect;
        childClip.bound(drawingClip);
        if (childClip.width() == 0 || childClip.height() == 0) continue;
        target.context->setClipRect(childClip);
        const bool wasDirty = child->isDirty();
        child->drawRect(target.context, local);
        // The rest of a dirty child that this update did not cover is drawn by the next pass.
        if (wasDirty && childClip != childRect && !scrolling) child->setDirty(true);
    }
    endDrawing(context, target, clipped, CPoint(local.left, local.top));
}

void CViewContainer::redrawRect(CDrawContext* context, const CRect& rect) {
    CRect moved = rect;
    moved.offset(viewRect.left, viewRect.top);
    if (seeThrough) {
        if (owner) owner->redrawRect(context, moved);
        else if (rootFrame) rootFrame->drawRect(context, moved);
        return;
    }
    if (owner && context) {
        CPoint origin(0, 0);
        owner->localToFrame(origin);
        const CPoint savedOffset = context->offset, savedScreen = context->offsetScreen;
        context->offset.offset(origin.x, origin.y);
        context->offsetScreen.offset(origin.x, origin.y);
        drawRect(context, moved);
        context->offset = savedOffset;
        context->offsetScreen = savedScreen;
    } else {
        drawRect(context, moved);
    }
}

bool CViewContainer::isDirty() const {
    if (needsRedraw) return true;
    const CRect area = localArea();
    for (ViewNode* node = firstNode; node; node = node->next) {
        if (!node->view->isDirty()) continue;
        CRect visible;
        node->view->getViewSize(visible);
        visible.bound(area);
        if (visible.left < 0) visible.left = 0;
        if (visible.top < 0) visible.top = 0;
        if (visible.width() > 0 && visible.height() > 0) return true;
    }
    return false;
}

void CViewContainer::update(CDrawContext* context) {
    const CRect area = localArea();
    if (updateMode == kUpdateWhole) {
        if (isDirty()) redrawRect(context, area);
        setDirty(false);
    } else if (updateMode == kUpdateDirtyChildren) {
        if (needsRedraw) {
            redrawRect(context, area);
        } else {
            for (ViewNode* node = firstNode; node; node = node->next) {
                CView* child = node->view;
                CRect childRect;
                child->getViewSize(childRect);
                if (!child->isDirty() || !childRect.rectOverlap(area)) continue;
                if (child->notify(this, kMsgCheckIfViewContainer) == 1) {
                    child->update(context);
                } else {
                    childRect.bound(area);
                    child->redrawRect(context, childRect);
                }
            }
        }
        setDirty(false);
    }
}

void CViewContainer::setViewSize(CRect& rect) {
    CView::setViewSize(rect);
    if (buffered && buffer) {
        releaseBuffer();
        makeBuffer();
    }
}

bool CViewContainer::removed(CView* parent) {
    releaseBuffer();
    return CView::removed(parent);
}

bool CViewContainer::attached(CView* parent) {
    if (buffered) makeBuffer();
    return CView::attached(parent);
}

void CViewContainer::useOffscreen(bool offscreen) {
    buffered = offscreen;
    if (!buffered) releaseBuffer();
}

void CViewContainer::setBackgroundColor(const CColor& color) {
    backColor = color;
    setDirty(true);
}

CColor CViewContainer::getBackgroundColor() const { return backColor; }

void CViewContainer::setBackgroundOffset(const CPoint& offset) { backImageOffset = offset; }

const CPoint& CViewContainer::getBackgroundOffset() const { return backImageOffset; }

void CViewContainer::setMode(int32_t mode) { updateMode = mode; }

int32_t CViewContainer::getMode() const { return updateMode; }

// ---- the child list ----------------------------------------------------------------------------

void CViewContainer::addView(CView* view, const CRect& mouseableArea, bool mouseEnabled) {
    if (!view) return;
    view->setMouseEnabled(mouseEnabled);
    view->setMouseableArea(mouseableArea);
    addView(view);
}

void CViewContainer::addView(CView* view) {
    if (!view) return;
    ViewNode* node = new ViewNode{view, nullptr, lastNode};
    if (lastNode) lastNode->next = node;
    else firstNode = node;
    lastNode = node;
    view->remember();
    view->setFrame(rootFrame);
    view->setParentView(this);
    view->attached(this);
    view->setDirty(true);
}

void CViewContainer::removeView(CView* view, bool withForget) {
    ViewNode* node = firstNode;
    while (node && node->view != view) node = node->next;
    if (!node) return;
    if (rootFrame && rootFrame->getFocusView() == view) rootFrame->setFocusView(nullptr);
    if (dragOverView == view) dragOverView = nullptr;
    if (node->previous) node->previous->next = node->next;
    else firstNode = node->next;
    if (node->next) node->next->previous = node->previous;
    else lastNode = node->previous;
    delete node;
    view->removed(this);
    if (withForget) view->forget();
    view->forget();
}

void CViewContainer::removeAll(bool withForget) {
    ViewNode* node = firstNode;
    firstNode = lastNode = nullptr;
    dragOverView = nullptr;
    while (node) {
        ViewNode* next = node->next;
        CView* view = node->view;
        delete node;
        if (rootFrame && rootFrame != this && rootFrame->getFocusView() == view) rootFrame->setFocusView(nullptr);
        view->removed(this);
        if (withForget) view->forget();
        view->forget();
        node = next;
    }
}

bool CViewContainer::isChild(CView* view) const {
    for (ViewNode* node = firstNode; node; node = node->next)
        if (node->view == view) return true;
    return false;
}

int32_t CViewContainer::getNbViews() const {
    int32_t count = 0;
    for (ViewNode* node = firstNode; node; node = node->next) ++count;
    return count;
}

CView* CViewContainer::getView(int32_t index) const {
    if (index < 0) return nullptr;
    for (ViewNode* node = firstNode; node; node = node->next)
        if (index-- == 0) return node->view;
    return nullptr;
}

// ---- coordinates and messages ------------------------------------------------------------------

CPoint& CViewContainer::frameToLocal(CPoint& point) const {
    point.offset(-viewRect.left, -viewRect.top);
    if (owner && owner->isTypeOf("CViewContainer")) return owner->frameToLocal(point);
    return point;
}

CPoint& CViewContainer::localToFrame(CPoint& point) const {
    point.offset(viewRect.left, viewRect.top);
    if (owner && owner->isTypeOf("CViewContainer")) return owner->localToFrame(point);
    return point;
}

int32_t CViewContainer::notify(CView*, const char* message) { return message == kMsgCheckIfViewContainer ? 1 : 0; }

bool CViewContainer::isTypeOf(const char* name) const {
    return (name && std::strcmp(name, "CViewContainer") == 0) || CView::isTypeOf(name);
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const {
    if (!rootFrame) return nullptr;
    const CPoint local = localPoint(where);
    for (ViewNode* node = lastNode; node; node = node->previous) {
        CRect area;
        node->view->getMouseableArea(area);
        if (!area.pointInside(local)) continue;
        if (deep && node->view->isTypeOf("CViewContainer")) {
            CView* inner = static_cast<CViewContainer*>(node->view)->getViewAt(local, deep);
            return inner ? inner : node->view;
        }
        return node->view;
    }
    return nullptr;
}

CView* CViewContainer::getCurrentView() const {
    if (!rootFrame) return nullptr;
    CPoint where;
    rootFrame->getCurrentLocation(where);
    frameToLocal(where);
    for (ViewNode* node = lastNode; node; node = node->previous) {
        CRect area;
        node->view->getMouseableArea(area);
        if (area.pointInside(where)) return node->view;
    }
    return nullptr;
}

// ---- input -------------------------------------------------------------------------------------

void CViewContainer::mouse(CDrawContext* context, CPoint& where, int32_t buttons) {
    CPoint local = localPoint(where);
    if (buttons == kReadButtonState && context) buttons = CFrame::readButtonState();
    const OriginShift shift(*this, context);
    for (ViewNode* node = lastNode; node; node = node->previous) {
        CView* child = node->view;
        if (child->getMouseEnabled() && child->hitTest(local, buttons)) {
            child->mouse(context, local, buttons);
            break;
        }
    }
}

int32_t CViewContainer::onKeyDown(VstKeyCode& keyCode) {
    for (ViewNode* node = lastNode; node; node = node->previous) {
        const int32_t result = node->view->onKeyDown(keyCode);
        if (result != -1) return result;
    }
    return -1;
}

int32_t CViewContainer::onKeyUp(VstKeyCode& keyCode) {
    for (ViewNode* node = lastNode; node; node = node->previous) {
        const int32_t result = node->view->onKeyUp(keyCode);
        if (result != -1) return result;
    }
    return -1;
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, const CMouseWheelAxis axis, float distance) {
    CView* target = getViewAt(where, false);
    if (!target) return false;
    const OriginShift shift(*this, context);
    return target->onWheel(context, localPoint(where), axis, distance);
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, float distance) {
    return onWheel(context, where, kMouseWheelAxisY, distance);
}

void CViewContainer::onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    const CPoint local = localPoint(where);
    const OriginShift shift(*this, context);
    if (dragOverView) dragOverView->onDragLeave(context, drag, local);
    dragOverView = getViewAt(where, false);
    if (dragOverView) dragOverView->onDragEnter(context, drag, local);
}

void CViewContainer::onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    const CPoint local = localPoint(where);
    const OriginShift shift(*this, context);
    CView* view = getViewAt(where, false);
    if (view != dragOverView) {
        if (dragOverView) dragOverView->onDragLeave(context, drag, local);
        if (view) view->onDragEnter(context, drag, local);
        dragOverView = view;
    } else if (dragOverView) {
        dragOverView->onDragMove(context, drag, local);
    }
}

void CViewContainer::onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    const OriginShift shift(*this, context);
    if (dragOverView) dragOverView->onDragLeave(context, drag, localPoint(where));
    dragOverView = nullptr;
}

bool CViewContainer::onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    if (!rootFrame) return false;
    const CPoint local = localPoint(where);
    const OriginShift shift(*this, context);
    CView* view = getViewAt(where, false);
    if (view != dragOverView) {
        if (dragOverView) dragOverView->onDragLeave(context, drag, local);
        dragOverView = view;
    }
    bool result = false;
    if (dragOverView) {
        result = dragOverView->onDrop(context, drag, local);
        dragOverView->onDragLeave(context, drag, local);
    }
    dragOverView = nullptr;
    return result;
}

void CViewContainer::looseFocus(CDrawContext* context) {
    for (ViewNode* node = firstNode; node; node = node->next) node->view->looseFocus(context);
}

void CViewContainer::takeFocus(CDrawContext* context) {
    for (ViewNode* node = firstNode; node; node = node->next) node->view->takeFocus(context);
}

bool CViewContainer::advanceNextFocusView(CView* oldFocus, bool reverse) {
    ViewNode* node = reverse ? lastNode : firstNode;
    if (oldFocus) {
        while (node && node->view != oldFocus) node = reverse ? node->previous : node->next;
        if (!node) return false;
        node = reverse ? node->previous : node->next;
    }
    for (; node; node = reverse ? node->previous : node->next) {
        CView* child = node->view;
        if (child->wantsFocus()) {
            if (rootFrame) rootFrame->setFocusView(child);
            return true;
        }
        if (child->isTypeOf("CViewContainer") && static_cast<CViewContainer*>(child)->advanceNextFocusView(nullptr, reverse))
            return true;
    }
    return false;
}

}  // namespace VSTGUI
