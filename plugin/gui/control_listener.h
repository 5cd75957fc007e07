// What a control tells the object that listens to it.
#pragma once
#include <cstdint>

namespace VSTGUI {

class CDrawContext;
class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void onValueChange(CDrawContext* context, CControl* control) = 0;
    virtual int32_t onModifierClick(CDrawContext* context, CControl* control, int32_t button) {
        (void)context;
        (void)control;
        (void)button;
        return 0;
    }
};

}  // namespace VSTGUI
