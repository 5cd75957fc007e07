#include "plugin/editor/aeffguieditor.h"

#include <windows.h>

#include "plugin/gui/draw_context.h"
#include "plugin/gui/frame.h"
#include "plugin/vst/audioeffect.h"

namespace vst {

namespace {
// The idle pass for long interactions: one per interval at most; a call early by more than
// the tolerance only naps.
constexpr uint32_t kIdleIntervalMs = 100;
constexpr uint32_t kIdleEarlyToleranceMs = 50;
constexpr DWORD kIdleNapMs = 4;
}  // namespace

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
    const VSTGUI::CTemporaryContext context(new VSTGUI::CDrawContext(frame, nullptr, static_cast<HWND>(parentWindow)));
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    VSTGUI::CPoint where(cursor.x - context->offsetScreen.x, cursor.y - context->offsetScreen.y);
    return frame->onWheel(context.get(), where, distance);
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
        Sleep(kIdleNapMs);
        now += kIdleNapMs;
        if (now < nextIdleTicks - kIdleEarlyToleranceMs) return;
    }
    idle();
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
    nextIdleTicks = now + kIdleIntervalMs;
    inIdle = true;
    if (effect) effect->masterIdle();
    inIdle = false;
}

}  // namespace vst
