// The plug-in window as an OLE drop target: text or files dragged from other programs over the
// window reach the frame's views as drag-enter, drag-move, drag-leave and drop events, with a
// CDragContainer describing what is dragged.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "common/com/implements.h"
#include "plugin/gui/reference_counter.h"

namespace VSTGUI {

class CFrame;

class CDragContainer : public CReferenceCounter {
public:
    // Counts the items: one for text, else the files of a file list; 0 for anything else.
    explicit CDragContainer(IDataObject* dataObject);
    ~CDragContainer() override;

    enum ItemType : int32_t { kFile = 0, kText = 1, kUnknown = -1, kError = -2 };

    int32_t getCount() const { return itemCount; }
    // The next item (the text, or a file name) as a zero-terminated string that stays valid
    // until the next call; null after the last. size is its length in bytes.
    void* next(int32_t& size, int32_t& type);
    void rewind() { iterator = 0; }

private:
    IDataObject* dataObject;  // valid for the duration of the drag; no reference is taken
    int32_t itemCount = 0;
    int32_t iterator = 0;
    char* lastItem = nullptr;
};

// Drop targets count their references plainly (OLE calls them on the window's thread) and are
// counted while they live.
struct DropTargetPolicy {
    static constexpr bool interlocked = false;
    static void lockModule();
    static void unlockModule();
};

class CDropTarget : public com::implements<CDropTarget, DropTargetPolicy, IDropTarget> {
public:
    explicit CDropTarget(CFrame* frame);
    ~CDropTarget() override;

    STDMETHODIMP DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* dataObject, DWORD keyState, POINTL point, DWORD* effect) override;

    // The frame is going away; OLE may still hold this object for a moment.
    void detachFrame() { frame = nullptr; }

    // The drag in progress over any plug-in window of the process, or null.
    static CDragContainer* currentDrag();
    // Drop targets alive in the process.
    static LONG liveObjects();

private:
    // Runs call with a frame context and the cursor's place in the frame.
    template <class Call>
    void atMouse(Call call);

    CFrame* frame;
};

}  // namespace VSTGUI
