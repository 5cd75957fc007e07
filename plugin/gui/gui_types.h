// Geometry, colours and the messages shared by the views, the drawing contexts and the frame.
#pragma once
#include <cstdint>

#include "plugin/vst/vst_types.h"

namespace VSTGUI {

using vst::VstKeyCode;

struct CPoint {
    int32_t x = 0, y = 0;

    CPoint() = default;
    CPoint(int32_t x, int32_t y) : x(x), y(y) {}
    CPoint& offset(int32_t dx, int32_t dy) {
        x += dx;
        y += dy;
        return *this;
    }
    bool operator==(const CPoint& other) const { return x == other.x && y == other.y; }
    bool operator!=(const CPoint& other) const { return !(*this == other); }
};

// Left, top, right, bottom. A point on an edge is inside: clicks on a view's last row and
// column still reach it.
struct CRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    CRect() = default;
    CRect(int32_t left, int32_t top, int32_t right, int32_t bottom)
        : left(left), top(top), right(right), bottom(bottom) {}

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    CRect& offset(int32_t dx, int32_t dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(int32_t x, int32_t y) { return offset(x - left, y - top); }
    bool pointInside(const CPoint& p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
    // Touching edges count as overlap.
    bool rectOverlap(const CRect& other) const {
        return !(right < other.left || left > other.right || bottom < other.top || top > other.bottom);
    }
    // The intersection with `other`, kept as a rectangle that never turns inside out.
    CRect& bound(const CRect& other) {
        if (left < other.left) left = other.left;
        if (top < other.top) top = other.top;
        if (right > other.right) right = other.right;
        if (bottom > other.bottom) bottom = other.bottom;
        if (right < left) right = left;
        if (bottom < top) bottom = top;
        return *this;
    }
    bool operator==(const CRect& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
    bool operator!=(const CRect& other) const { return !(*this == other); }
};

struct CColor {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;

    bool operator==(const CColor& other) const {
        return red == other.red && green == other.green && blue == other.blue && alpha == other.alpha;
    }
    bool operator!=(const CColor& other) const { return !(*this == other); }
    // The Win32 colour value; alpha has no place in it.
    uint32_t colorRef() const { return (uint32_t)red | (uint32_t)green << 8 | (uint32_t)blue << 16; }
};

extern const CColor kBlackCColor;
extern const CColor kWhiteCColor;

// Messages between views are compared by address: a container answers only this array, never
// an equal text at another address.
extern const char kMsgCheckIfViewContainer[];

// Button and modifier state of a mouse event.
enum CButtonState : int32_t {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
};
constexpr int32_t kReadButtonState = -1;  // read the current state from the system

enum CMouseWheelAxis : int32_t { kMouseWheelAxisX = 0, kMouseWheelAxisY = 1 };

enum CLineStyle : int32_t { kLineSolid = 0, kLineOnOffDash = 1 };
enum CDrawMode : int32_t { kCopyMode = 0, kOrMode = 1, kXorMode = 2, kAntialias = 3 };

// Cursor kinds of the frame's cursor change.
enum CCursorType : int32_t {
    kCursorDefault = 0,
    kCursorWait,
    kCursorHSize,
    kCursorVSize,
    kCursorSizeAll,
    kCursorNESWSize,
    kCursorNWSESize,
    kCursorCopy,
    kCursorNotAllowed,
    kCursorHand,
};

// Virtual key of the Tab key in a VstKeyCode, and the Shift bit of its modifier.
constexpr unsigned char kVirtualKeyTab = 2;
constexpr unsigned char kModifierShift = 1 << 0;

}  // namespace VSTGUI
