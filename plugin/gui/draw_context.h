// Drawing contexts: a Win32 device context with the current colours, pen, brush, font, clip
// rectangle and coordinate offset, and an off-screen context that draws into a memory bitmap.
// Every setter compares with the current value first, so a GDI object is made only when the
// value really changes, and every object a context makes is deleted by that context.
#pragma once
#include <windows.h>

#include <memory>

#include "plugin/gui/gui_types.h"
#include "plugin/gui/reference_counter.h"

namespace VSTGUI {

class CFrame;

class CDrawContext : public CReferenceCounter {
public:
    // With no device context but a window, the context fetches the window's own and releases
    // it again at the end.
    CDrawContext(CFrame* frame, HDC systemContext, HWND window);
    ~CDrawContext() override;

    void setLineStyle(int32_t style);
    int32_t getLineStyle() const { return lineStyle; }
    void setLineWidth(int32_t width);
    int32_t getLineWidth() const { return frameWidth; }
    void setDrawMode(int32_t mode);
    int32_t getDrawMode() const { return drawMode; }
    void setFrameColor(const CColor& color);
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& color);
    CColor getFillColor() const { return fillColor; }
    void setFontColor(const CColor& color);
    CColor getFontColor() const { return fontColor; }
    // Identifiers 0..7 name the built-in faces; size 0 or less takes the face's own size.
    void setFont(int32_t fontId, int32_t size = 0, int32_t style = 0);
    int32_t getFontId() const { return fontId; }

    // The clip rectangle in the context's own coordinates (device coordinates minus offset).
    void setClipRect(const CRect& clip);
    CRect& getClipRect(CRect& clip) const;
    void resetClipRect();

    // Fills (left + 1, top + 1, right, bottom): the top row and left column stay as they were.
    void fillRect(const CRect& rect);
    // Outlines the rectangle's outer pixels with the current pen.
    void drawRect(const CRect& rect);

    CPoint offset;        // added to every coordinate drawn
    CPoint offsetScreen;  // the window's top-left corner in screen coordinates

    HDC getSystemContext() const { return systemContext; }
    HWND getWindow() const { return window; }
    CFrame* getFrame() const { return frame; }

protected:
    // Takes over a device context: remembers what is selected in it and selects this
    // context's pen, brush and font, made afresh.
    void init(HDC context);
    // Puts back what was selected before and deletes every object this context made.
    void releaseObjects();

    HDC systemContext = nullptr;
    HWND window = nullptr;
    CFrame* frame = nullptr;
    CRect clipRect;  // device coordinates

private:
    void updatePen();
    void selectFont();

    int32_t fontSize = -1;
    int32_t fontStyle = 0;
    int32_t fontId = 8;  // none
    CColor fontColor = {0, 0, 0, 0};
    CPoint penLocation;
    int32_t frameWidth = 0;
    CColor frameColor = {0, 0, 0, 0};
    CColor fillColor = {0, 0, 0, 0};
    int32_t lineStyle = kLineOnOffDash;
    int32_t drawMode = kAntialias;


    HBRUSH brush = nullptr;
    HPEN pen = nullptr;
    HFONT font = nullptr;
    HGDIOBJ oldBrush = nullptr;
    HGDIOBJ oldPen = nullptr;
    HGDIOBJ oldFont = nullptr;
    int penStyle = PS_SOLID;
    HDC fetchedContext = nullptr;  // from GetDC, released with the context
};

// Draws into a memory bitmap of the given size that starts filled with the background colour;
// copyFrom puts a part of it on another context in one BitBlt.
class COffscreenContext : public CDrawContext {
public:
    COffscreenContext(CFrame* frame, int32_t width, int32_t height, const CColor& background = kBlackCColor);
    ~COffscreenContext() override;

    // Copies the part of the bitmap at source to destination (in the destination's own
    // coordinates, offset applied).
    void copyFrom(CDrawContext* destination, const CRect& destinationRect, const CPoint& source = CPoint());

    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    HBITMAP getBitmap() const { return bitmap; }

private:
    int32_t height;
    int32_t width;
    bool destroyBitmap = true;
    CColor backgroundColor;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
};

// A drawing context made for one operation (a window message, a drag event, a redraw) and
// forgotten when the operation's scope ends. It may stay empty when the caller brought its own.
using CTemporaryContext = std::unique_ptr<CDrawContext, ForgetReference>;

}  // namespace VSTGUI
