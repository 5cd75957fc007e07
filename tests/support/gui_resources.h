// What a module holds of the window system, counted by redirecting its imports: GDI objects
// and device contexts it made and has not given back, drop-target registrations and OLE
// initialisations. Works under Wine, whose own resource counters answer nothing.
#pragma once
#include <windows.h>

namespace sonvex_test {

struct GuiResourceCounts {
    long gdiObjects;       // pens, brushes, fonts, regions, bitmaps and memory contexts alive
    long deviceContexts;   // GetDC without ReleaseDC
    long dropTargets;      // RegisterDragDrop without RevokeDragDrop
    long oleInitializations;
    long created;          // GDI objects made, ever
    long bitBlts;          // BitBlt calls, ever
    RECT lastBitBlt;       // where the last one copied to: left, top, right, bottom
};

// Redirects the module's window-system imports to counting versions (any number of modules
// may be attached); returns how many imports were redirected.
int trackGuiResources(HMODULE module);
GuiResourceCounts guiResources();

// Windows of this thread: top-level ones, and all descendants of `parent`.
int countThreadWindows();
int countDescendantWindows(HWND parent);

}  // namespace sonvex_test
