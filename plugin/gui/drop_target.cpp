#include "plugin/gui/drop_target.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>

#include "plugin/gui/draw_context.h"
#include "plugin/gui/frame.h"

namespace VSTGUI {

namespace {

// One drag at a time on the user-interface thread, over whichever plug-in window it is.
CDragContainer* g_currentDrag = nullptr;
LONG g_liveTargets = 0;

void endCurrentDrag() {
    if (g_currentDrag) g_currentDrag->forget();
    g_currentDrag = nullptr;
}

FORMATETC formatOf(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

}  // namespace

// ---- CDragContainer ----------------------------------------------------------------------------

CDragContainer::CDragContainer(IDataObject* dataObject) : dataObject(dataObject) {
    if (!dataObject) return;
    FORMATETC text = formatOf(CF_TEXT);
    STGMEDIUM medium;
    if (dataObject->GetData(&text, &medium) == S_OK) {
        itemCount = 1;
        ReleaseStgMedium(&medium);
        return;
    }
    FORMATETC files = formatOf(CF_HDROP);
    if (dataObject->GetData(&files, &medium) == S_OK) {
        itemCount = (int32_t)DragQueryFileA(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0);
        ReleaseStgMedium(&medium);
    }
}

CDragContainer::~CDragContainer() { std::free(lastItem); }

void* CDragContainer::next(int32_t& size, int32_t& type) {
    size = 0;
    type = kError;
    std::free(lastItem);
    lastItem = nullptr;
    if (!dataObject || iterator >= itemCount) return nullptr;
    STGMEDIUM medium;
    FORMATETC text = formatOf(CF_TEXT);
    if (dataObject->GetData(&text, &medium) == S_OK) {
        const char* data = static_cast<const char*>(GlobalLock(medium.hGlobal));
        const size_t limit = GlobalSize(medium.hGlobal);
        if (data) {
            size_t length = 0;
            while (length < limit && data[length]) ++length;  // text need not end inside the block
            lastItem = static_cast<char*>(std::malloc(length + 1));
            if (lastItem) {
                std::memcpy(lastItem, data, length);
                lastItem[length] = 0;
                size = (int32_t)length;
                type = kText;
            }
            GlobalUnlock(medium.hGlobal);
        }
        ReleaseStgMedium(&medium);
        ++iterator;
        return lastItem;
    }
    FORMATETC files = formatOf(CF_HDROP);
    if (dataObject->GetData(&files, &medium) == S_OK) {
        HDROP drop = static_cast<HDROP>(medium.hGlobal);
        const UINT length = DragQueryFileA(drop, (UINT)iterator, nullptr, 0);
        lastItem = static_cast<char*>(std::malloc((size_t)length + 1));
        if (lastItem && DragQueryFileA(drop, (UINT)iterator, lastItem, length + 1) == length) {
            size = (int32_t)length;
            type = kFile;
        } else {
            std::free(lastItem);
            lastItem = nullptr;
        }
        ReleaseStgMedium(&medium);
        ++iterator;
        return lastItem;
    }
    type = kUnknown;
    return nullptr;
}

// ---- CDropTarget -------------------------------------------------------------------------------

void DropTargetPolicy::lockModule() { InterlockedIncrement(&g_liveTargets); }

void DropTargetPolicy::unlockModule() { InterlockedDecrement(&g_liveTargets); }

CDropTarget::CDropTarget(CFrame* frame) : frame(frame) {}

CDropTarget::~CDropTarget() = default;

CDragContainer* CDropTarget::currentDrag() { return g_currentDrag; }

LONG CDropTarget::liveObjects() { return g_liveTargets; }

template <class Call>
void CDropTarget::atMouse(Call call) {
    const CTemporaryContext context(frame->makeFrameContext());
    CPoint where;
    frame->getCurrentLocation(where);  // the cursor, in the frame's coordinates
    call(context.get(), where);
}

STDMETHODIMP CDropTarget::DragEnter(IDataObject* dataObject, DWORD, POINTL, DWORD* effect) {
    if (!dataObject || !frame) {
        if (effect) *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    // A drag that never ended (no leave or drop came) gives way to the new one.
    endCurrentDrag();
    g_currentDrag = new CDragContainer(dataObject);
    atMouse([this](CDrawContext* context, const CPoint& where) { frame->onDragEnter(context, g_currentDrag, where); });
    if (effect) *effect = DROPEFFECT_MOVE;
    return S_OK;
}

STDMETHODIMP CDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (!g_currentDrag || !frame) return S_OK;
    atMouse([this](CDrawContext* context, const CPoint& where) { frame->onDragMove(context, g_currentDrag, where); });
    if (effect) *effect = DROPEFFECT_MOVE;
    return S_OK;
}

STDMETHODIMP CDropTarget::DragLeave() {
    if (!g_currentDrag || !frame) return S_OK;
    atMouse([this](CDrawContext* context, const CPoint& where) { frame->onDragLeave(context, g_currentDrag, where); });
    endCurrentDrag();
    return S_OK;
}

STDMETHODIMP CDropTarget::Drop(IDataObject*, DWORD, POINTL, DWORD* effect) {
    if (!g_currentDrag || !frame) return S_OK;
    bool taken = false;
    atMouse([this, &taken](CDrawContext* context, const CPoint& where) {
        taken = frame->onDrop(context, g_currentDrag, where);
    });
    endCurrentDrag();
    // What the drop did: nothing, unless a view took it.
    if (effect) *effect = taken ? DROPEFFECT_MOVE : DROPEFFECT_NONE;
    return S_OK;
}

}  // namespace VSTGUI
