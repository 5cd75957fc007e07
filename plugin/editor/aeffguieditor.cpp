#include "plugin/editor/aeffguieditor.h"

#include <windows.h>

#include "plugin/gui/draw_context.h"
#include "plugin/gui/frame.h"
#include "plugin/vst/audioeffect.h"

namespace vst {

VstInt32 AEffGUIEditor::knobMode = 0;

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect)
    : AEffEditor(effect), rect{0, 0, 0, 0}, nextIdleTicks(0), inIdle(false), frame(nullptr) {
    nextIdleTicks = GetTickCount();
}

AEffGUIEditor::~AEffGUIEditor() {
    if (frame) frame->forget();
    frame = nullptr;
}

bool AEffGUIEditor::getRect(ERect** out) {
    if (!out) return false;
    *out = &rect;
    return true;
}

bool AEffGUIEditor::open(void* ptr) {
    AEffEditor::open(ptr);
    inIdle = false;
    return true;
}

void AEffGUIEditor::close() {
    if (frame) frame->forget();
    frame = nullptr;
    AEffEditor::close();
}

void AEffGUIEditor::idle() {
    if (!inIdle && frame) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) { return frame ? frame->onKeyDown(keyCode) == 1 : false; }

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) { return frame ? frame->onKeyUp(keyCode) == 1 : false; }

bool AEffGUIEditor::onWheel(float distance) {
    if (!frame) return false;
    VSTGUI::CDrawContext* context = new VSTGUI::CDrawContext(frame, nullptr, static_cast<HWND>(parentWindow));
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    VSTGUI::CPoint where(cursor.x - context->offsetScreen.x, cursor.y - context->offsetScreen.y);
    const bool result = frame->onWheel(context, where, distance);
    context->forget();
    return result;
}

bool AEffGUIEditor::setKnobMode(VstInt32 value) {
    knobMode = value;
    return true;
}

void AEffGUIEditor::onParameterChange(VstInt32, float) {}

void AEffGUIEditor::beginEdit(VstInt32 index) {
    if (effect) effect->beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
    if (effect) effect->endEdit(index);
}

void AEffGUIEditor::pumpIdle() {
    uint32_t now = GetTickCount();
    if (now < nextIdleTicks) {
        Sleep(4);
        now += 4;
        if (now < nextIdleTicks - 50) return;
    }
    idle();
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
    nextIdleTicks = now + 100;
    inIdle = true;
    if (effect) effect->masterIdle();
    inIdle = false;
}

}  // namespace vst
