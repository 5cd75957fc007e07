#include "plugin/gui/draw_context.h"

#include <cstring>

#include "plugin/gui/frame.h"

namespace VSTGUI {

const CColor kBlackCColor = {0, 0, 0, 255};
const CColor kWhiteCColor = {255, 255, 255, 255};

namespace {

struct FontFace {
    const char* name;
    int32_t size;
};
const FontFace kFontFaces[] = {{"Arial", 12}, {"Arial", 18}, {"Arial", 14}, {"Arial", 12},
                               {"Arial", 11}, {"Arial", 10}, {"Arial", 9},  {"Symbol", 13}};
constexpr int32_t kFontFaceCount = sizeof(kFontFaces) / sizeof(kFontFaces[0]);

enum FontStyle : int32_t { kItalicFace = 1 << 1, kUnderlineFace = 1 << 2 };

// The clip rectangle of a context that belongs to no frame.
const CRect kFramelessClip(0, 0, 1000, 1000);

}  // namespace

CDrawContext::CDrawContext(CFrame* frame, HDC context, HWND window) : window(window), frame(frame) {
    if (frame) frame->getViewSize(clipRect);
    else clipRect = kFramelessClip;
    if (!context && window) {
        context = GetDC(window);
        fetchedContext = context;
    }
    if (window) {
        RECT r;
        if (GetWindowRect(window, &r)) offsetScreen = CPoint(r.left, r.top);
    }
    if (context) init(context);
}

CDrawContext::~CDrawContext() { releaseObjects(); }

void CDrawContext::init(HDC context) {
    systemContext = context;
    oldBrush = GetCurrentObject(context, OBJ_BRUSH);
    oldPen = GetCurrentObject(context, OBJ_PEN);
    oldFont = GetCurrentObject(context, OBJ_FONT);
    SetBkMode(context, TRANSPARENT);
    // Values that no setter can be asked for, so that each makes its object now.
    frameColor = fillColor = fontColor = CColor{0, 0, 0, 0};
    lineStyle = kLineOnOffDash;
    frameWidth = 0;
    drawMode = kAntialias;
    fontId = kFontFaceCount + 1;
    setFrameColor(kWhiteCColor);
    setLineStyle(kLineSolid);
    setLineWidth(1);
    setFillColor(kBlackCColor);
    setFontColor(kWhiteCColor);
    setFont(0, 12, 0);
    setDrawMode(kCopyMode);
}

void CDrawContext::releaseObjects() {
    if (systemContext) {
        if (oldBrush) SelectObject(systemContext, oldBrush);
        if (oldPen) SelectObject(systemContext, oldPen);
        if (oldFont) SelectObject(systemContext, oldFont);
    }
    oldBrush = oldPen = oldFont = nullptr;
    if (brush) DeleteObject(brush);
    if (pen) DeleteObject(pen);
    if (font) DeleteObject(font);
    brush = nullptr;
    pen = nullptr;
    font = nullptr;
    if (fetchedContext) ReleaseDC(window, fetchedContext);
    fetchedContext = nullptr;
    systemContext = nullptr;
}

void CDrawContext::updatePen() {
    if (!systemContext) return;
    HPEN created = CreatePen(penStyle, frameWidth, frameColor.colorRef());
    if (!created) return;  // the previous pen stays selected
    SelectObject(systemContext, created);
    if (pen) DeleteObject(pen);
    pen = created;
}

void CDrawContext::setLineStyle(int32_t style) {
    if (style == lineStyle) return;
    lineStyle = style;
    penStyle = style == kLineOnOffDash ? PS_DOT : PS_SOLID;
    updatePen();
}

void CDrawContext::setLineWidth(int32_t width) {
    if (width == frameWidth) return;
    frameWidth = width;
    updatePen();
}

void CDrawContext::setFrameColor(const CColor& color) {
    if (color == frameColor) return;
    frameColor = color;
    updatePen();
}

void CDrawContext::setDrawMode(int32_t mode) {
    if (mode == drawMode) return;
    drawMode = mode;
    if (!systemContext) return;
    int rop = R2_COPYPEN;
    if (mode == kOrMode) rop = R2_MERGEPEN;
    else if (mode == kXorMode) rop = R2_XORPEN;
    SetROP2(systemContext, rop);
}

void CDrawContext::setFillColor(const CColor& color) {
    if (color == fillColor) return;
    fillColor = color;
    if (!systemContext) return;
    SetBkColor(systemContext, color.colorRef());
    LOGBRUSH description = {BS_SOLID, color.colorRef(), 0};
    HBRUSH created = CreateBrushIndirect(&description);
    if (!created) return;
    SelectObject(systemContext, created);
    if (brush) DeleteObject(brush);
    brush = created;
}

void CDrawContext::setFontColor(const CColor& color) {
    if (color == fontColor) return;
    fontColor = color;
    if (systemContext) SetTextColor(systemContext, color.colorRef());
}

void CDrawContext::setFont(int32_t id, int32_t size, int32_t style) {
    if (id < 0 || id >= kFontFaceCount) return;
    if (size <= 0) size = kFontFaces[id].size;
    if (id == fontId && size == fontSize && style == fontStyle) return;
    fontId = id;
    fontSize = size;
    fontStyle = style;
    selectFont();
}

void CDrawContext::selectFont() {
    if (!systemContext) return;
    LOGFONTA description;
    std::memset(&description, 0, sizeof description);
    description.lfHeight = -fontSize;
    description.lfWeight = FW_BOLD;
    description.lfItalic = (fontStyle & kItalicFace) ? TRUE : FALSE;
    description.lfUnderline = (fontStyle & kUnderlineFace) ? TRUE : FALSE;
    description.lfCharSet = ANSI_CHARSET;
    description.lfOutPrecision = OUT_STRING_PRECIS;
    description.lfClipPrecision = CLIP_STROKE_PRECIS;
    description.lfQuality = DEFAULT_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::strcpy(description.lfFaceName, kFontFaces[fontId].name);
    HFONT created = CreateFontIndirectA(&description);
    if (!created) return;
    SelectObject(systemContext, created);
    if (font) DeleteObject(font);
    font = created;
}

void CDrawContext::setClipRect(const CRect& clip) {
    CRect device = clip;
    device.offset(offset.x, offset.y);
    if (device == clipRect) return;
    clipRect = device;
    if (!systemContext) return;
    HRGN region = CreateRectRgn(device.left, device.top, device.right, device.bottom);
    if (!region) return;
    SelectClipRgn(systemContext, region);
    DeleteObject(region);
}

CRect& CDrawContext::getClipRect(CRect& clip) const {
    clip = clipRect;
    clip.offset(-offset.x, -offset.y);
    return clip;
}

void CDrawContext::resetClipRect() {
    CRect whole;
    if (frame) frame->getViewSize(whole);
    else whole = kFramelessClip;
    setClipRect(whole);
}

void CDrawContext::fillRect(const CRect& rect) {
    if (!systemContext || !brush) return;
    RECT r = {rect.left + 1 + offset.x, rect.top + 1 + offset.y, rect.right + offset.x, rect.bottom + offset.y};
    HGDIOBJ previous = SelectObject(systemContext, GetStockObject(NULL_PEN));
    FillRect(systemContext, &r, brush);
    SelectObject(systemContext, previous);
}

void CDrawContext::drawRect(const CRect& rect) {
    if (!systemContext) return;
    const int left = rect.left + offset.x, top = rect.top + offset.y;
    const int right = rect.right - 1 + offset.x, bottom = rect.bottom - 1 + offset.y;
    MoveToEx(systemContext, left, top, nullptr);
    LineTo(systemContext, right, top);
    LineTo(systemContext, right, bottom);
    LineTo(systemContext, left, bottom);
    LineTo(systemContext, left, top);
    penLocation = CPoint(left, top);
}

COffscreenContext::COffscreenContext(CFrame* frame, int32_t width, int32_t height, const CColor& background)
    : CDrawContext(frame, nullptr, nullptr), height(height), width(width), backgroundColor(background) {
    // The clip starts as the whole bitmap, which is what a fresh memory context clips to:
    // no region is needed for it. Negative extents keep their sign at the left or top.
    clipRect = CRect(width < 0 ? width : 0, height < 0 ? height : 0, width > 0 ? width : 0, height > 0 ? height : 0);
    HWND frameWindow = frame ? frame->getSystemWindow() : nullptr;
    HDC windowContext = GetDC(frameWindow);
    HDC memory = windowContext ? CreateCompatibleDC(windowContext) : nullptr;
    if (memory) {
        bitmap = CreateCompatibleBitmap(windowContext, width > 0 ? width : 1, height > 0 ? height : 1);
        if (bitmap) oldBitmap = SelectObject(memory, bitmap);
    }
    if (windowContext) ReleaseDC(frameWindow, windowContext);
    if (memory) init(memory);
    setFillColor(background);
    setFrameColor(background);
    fillRect(CRect(0, 0, width, height));
    drawRect(CRect(0, 0, width, height));
}

COffscreenContext::~COffscreenContext() {
    HDC memory = systemContext;
    releaseObjects();
    if (memory) {
        if (oldBitmap) SelectObject(memory, oldBitmap);
        DeleteDC(memory);
    }
    if (bitmap && destroyBitmap) DeleteObject(bitmap);
}

void COffscreenContext::copyFrom(CDrawContext* destination, const CRect& destinationRect, const CPoint& source) {
    if (!destination || !destination->getSystemContext() || !systemContext) return;
    BitBlt(destination->getSystemContext(), destinationRect.left + destination->offset.x,
           destinationRect.top + destination->offset.y, destinationRect.width(), destinationRect.height(),
           systemContext, source.x, source.y, SRCCOPY);
}

}  // namespace VSTGUI
