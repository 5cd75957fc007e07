#include "tests/support/gui_resources.h"

#include <ole2.h>

#include <set>

#include "tests/support/import_redirect.h"

namespace sonvex_test {

namespace {

std::set<HGDIOBJ>& liveObjects() {
    static std::set<HGDIOBJ> objects;
    return objects;
}
long g_contexts = 0, g_dropTargets = 0, g_oleInitializations = 0, g_created = 0, g_bitBlts = 0;
RECT g_lastBitBlt = {0, 0, 0, 0};

template <class T>
T made(T object) {
    if (object) {
        liveObjects().insert((HGDIOBJ)object);
        ++g_created;
    }
    return object;
}

HPEN(WINAPI* realCreatePen)(int, int, COLORREF);
HBRUSH(WINAPI* realCreateBrushIndirect)(const LOGBRUSH*);
HFONT(WINAPI* realCreateFontIndirectA)(const LOGFONTA*);
HRGN(WINAPI* realCreateRectRgn)(int, int, int, int);
HDC(WINAPI* realCreateCompatibleDC)(HDC);
HBITMAP(WINAPI* realCreateCompatibleBitmap)(HDC, int, int);
BOOL(WINAPI* realDeleteObject)(HGDIOBJ);
BOOL(WINAPI* realDeleteDC)(HDC);
BOOL(WINAPI* realBitBlt)(HDC, int, int, int, int, HDC, int, int, DWORD);
HDC(WINAPI* realGetDC)(HWND);
int(WINAPI* realReleaseDC)(HWND, HDC);
HRESULT(WINAPI* realRegisterDragDrop)(HWND, IDropTarget*);
HRESULT(WINAPI* realRevokeDragDrop)(HWND);
HRESULT(WINAPI* realOleInitialize)(void*);
void(WINAPI* realOleUninitialize)();

HPEN WINAPI countingCreatePen(int style, int width, COLORREF color) { return made(realCreatePen(style, width, color)); }
HBRUSH WINAPI countingCreateBrushIndirect(const LOGBRUSH* brush) { return made(realCreateBrushIndirect(brush)); }
HFONT WINAPI countingCreateFontIndirectA(const LOGFONTA* font) { return made(realCreateFontIndirectA(font)); }
HRGN WINAPI countingCreateRectRgn(int l, int t, int r, int b) { return made(realCreateRectRgn(l, t, r, b)); }
HDC WINAPI countingCreateCompatibleDC(HDC dc) { return made(realCreateCompatibleDC(dc)); }
HBITMAP WINAPI countingCreateCompatibleBitmap(HDC dc, int w, int h) { return made(realCreateCompatibleBitmap(dc, w, h)); }
BOOL WINAPI countingDeleteObject(HGDIOBJ object) {
    liveObjects().erase(object);
    return realDeleteObject(object);
}
BOOL WINAPI countingDeleteDC(HDC dc) {
    liveObjects().erase((HGDIOBJ)dc);
    return realDeleteDC(dc);
}
BOOL WINAPI countingBitBlt(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, DWORD rop) {
    ++g_bitBlts;
    g_lastBitBlt = RECT{x, y, x + w, y + h};
    return realBitBlt(d, x, y, w, h, s, sx, sy, rop);
}
HDC WINAPI countingGetDC(HWND window) {
    HDC dc = realGetDC(window);
    if (dc) ++g_contexts;
    return dc;
}
int WINAPI countingReleaseDC(HWND window, HDC dc) {
    const int released = realReleaseDC(window, dc);
    if (released) --g_contexts;
    return released;
}
HRESULT WINAPI countingRegisterDragDrop(HWND window, IDropTarget* target) {
    const HRESULT hr = realRegisterDragDrop(window, target);
    if (hr == S_OK) ++g_dropTargets;
    return hr;
}
HRESULT WINAPI countingRevokeDragDrop(HWND window) {
    const HRESULT hr = realRevokeDragDrop(window);
    if (hr == S_OK) --g_dropTargets;
    return hr;
}
HRESULT WINAPI countingOleInitialize(void* reserved) {
    const HRESULT hr = realOleInitialize(reserved);
    if (SUCCEEDED(hr)) ++g_oleInitializations;
    return hr;
}
void WINAPI countingOleUninitialize() {
    --g_oleInitializations;
    realOleUninitialize();
}

template <class F>
int redirect(HMODULE module, const char* dll, const char* name, F replacement, F& real) {
    void* original = nullptr;
    if (!redirectImport(module, dll, name, reinterpret_cast<void*>(replacement), &original)) return 0;
    if (!real) real = reinterpret_cast<F>(original);
    return 1;
}

}  // namespace

int trackGuiResources(HMODULE module) {
    int n = 0;
    n += redirect(module, "gdi32.dll", "CreatePen", countingCreatePen, realCreatePen);
    n += redirect(module, "gdi32.dll", "CreateBrushIndirect", countingCreateBrushIndirect, realCreateBrushIndirect);
    n += redirect(module, "gdi32.dll", "CreateFontIndirectA", countingCreateFontIndirectA, realCreateFontIndirectA);
    n += redirect(module, "gdi32.dll", "CreateRectRgn", countingCreateRectRgn, realCreateRectRgn);
    n += redirect(module, "gdi32.dll", "CreateCompatibleDC", countingCreateCompatibleDC, realCreateCompatibleDC);
    n += redirect(module, "gdi32.dll", "CreateCompatibleBitmap", countingCreateCompatibleBitmap, realCreateCompatibleBitmap);
    n += redirect(module, "gdi32.dll", "DeleteObject", countingDeleteObject, realDeleteObject);
    n += redirect(module, "gdi32.dll", "DeleteDC", countingDeleteDC, realDeleteDC);
    n += redirect(module, "gdi32.dll", "BitBlt", countingBitBlt, realBitBlt);
    n += redirect(module, "user32.dll", "GetDC", countingGetDC, realGetDC);
    n += redirect(module, "user32.dll", "ReleaseDC", countingReleaseDC, realReleaseDC);
    n += redirect(module, "ole32.dll", "RegisterDragDrop", countingRegisterDragDrop, realRegisterDragDrop);
    n += redirect(module, "ole32.dll", "RevokeDragDrop", countingRevokeDragDrop, realRevokeDragDrop);
    n += redirect(module, "ole32.dll", "OleInitialize", countingOleInitialize, realOleInitialize);
    n += redirect(module, "ole32.dll", "OleUninitialize", countingOleUninitialize, realOleUninitialize);
    return n;
}

GuiResourceCounts guiResources() {
    return GuiResourceCounts{(long)liveObjects().size(), g_contexts, g_dropTargets, g_oleInitializations, g_created,
                             g_bitBlts, g_lastBitBlt};
}

namespace {
BOOL CALLBACK countWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}
}  // namespace

int countThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

int countDescendantWindows(HWND parent) {
    int count = 0;
    EnumChildWindows(parent, countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

}  // namespace sonvex_test
