// CVSTEditor: Brisane's editor. It has no drawn interface of its own: it shows the effect
// engine's own COM property page inside the plug-in window, a CFrame made a child of the
// window the host hands to effEditOpen, and binds the page to the engine.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include "common/com/com_ptr.h"
#include "plugin/editor/aeffguieditor.h"
#include "plugin/gui/control_listener.h"
#include "plugin/vst/editor_interfaces.h"

namespace brisane {

class CVSTEditor : public vst::AEffGUIEditor, public VSTGUI::CControlListener {
public:
    // Records itself as the plug-in's editor, which sets the plug-in's editor flag. pages is
    // the same plug-in as the owner of the page's object.
    CVSTEditor(vst::AudioEffect* plugin, vst::PageOwner* pages);
    ~CVSTEditor() override;

    // False, leaving no frame, page or window behind, when the engine lists no page now, the
    // page cannot be made or it cannot be activated. Opening an open editor first closes it.
    bool open(void* parentWindow) override;
    // Nothing to do when the editor is not open.
    void close() override;

    void onValueChange(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;
    int32_t onModifierClick(VSTGUI::CDrawContext* context, VSTGUI::CControl* control, int32_t button) override;

    IPropertyPage* getPage() const { return page.get(); }

private:
    // Undoes an open that could not be finished.
    void abandonOpen();

    com::ptr<IPropertyPage> page;  // the active page, while open
    vst::PageOwner* pages;
};

}  // namespace brisane
