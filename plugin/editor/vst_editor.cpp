#include "plugin/editor/vst_editor.h"

#include "plugin/gui/frame.h"
#include "plugin/vst/audioeffect.h"

namespace brisane {

namespace {

constexpr DWORD kPageContext = CLSCTX_ALL;

}  // namespace

CVSTEditor::CVSTEditor(vst::AudioEffect* plugin, vst::PageOwner* pages) : AEffGUIEditor(plugin), pages(pages) {
    plugin->setEditor(this);
    OleInitialize(nullptr);
}

CVSTEditor::~CVSTEditor() {
    // A host that closes the plug-in with its editor still open gets it closed here.
    if (frame || page) close();
    OleUninitialize();
}

bool CVSTEditor::open(void* ptr) {
    if (frame || page) close();
    parentWindow = ptr;
    inIdle = false;

    CLSID pageClass = GUID_NULL;
    if (!pages->getFirstPageClass(&pageClass)) {
        abandonOpen();
        return false;
    }
    CoCreateInstance(pageClass, nullptr, kPageContext, IID_IPropertyPage, page.putVoid());
    if (!page) {
        abandonOpen();
        return false;
    }

    // The page edits the plug-in's object itself and takes its own reference to it.
    const auto object = com::ptr<IUnknown>::adopt(pages->getPageObject());
    IUnknown* objects[1] = {object.get()};
    page->SetObjects(1, objects);

    PROPPAGEINFO info;
    ZeroMemory(&info, sizeof info);
    info.cb = sizeof info;
    page->GetPageInfo(&info);
    CoTaskMemFree(info.pszTitle);
    CoTaskMemFree(info.pszDocString);
    CoTaskMemFree(info.pszHelpFile);
    const LONG width = info.size.cx, height = info.size.cy;
    rect.top = 0;
    rect.left = 0;
    rect.bottom = (vst::VstInt16)height;
    rect.right = (vst::VstInt16)width;

    frame = new VSTGUI::CFrame(VSTGUI::CRect(0, 0, (int32_t)width, (int32_t)height), ptr, this);
    HWND frameWindow = frame->getSystemWindow();
    if (!frameWindow) {
        abandonOpen();
        return false;
    }
    // Tab in the host's window continues into the page's controls.
    const LONG exStyle = GetWindowLongA(frameWindow, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_CONTROLPARENT)) SetWindowLongA(frameWindow, GWL_EXSTYLE, exStyle | WS_EX_CONTROLPARENT);

    RECT area = {0, 0, width, height};
    if (FAILED(page->Activate(frameWindow, &area, FALSE))) {
        abandonOpen();
        return false;
    }
    return true;
}

void CVSTEditor::abandonOpen() {
    if (page) page->SetObjects(0, nullptr);
    page.reset();
    AEffGUIEditor::close();
}

void CVSTEditor::close() {
    if (page) {
        page->SetObjects(0, nullptr);
        page->Deactivate();
    }
    page.reset();
    AEffGUIEditor::close();
}

void CVSTEditor::onValueChange(VSTGUI::CDrawContext*, VSTGUI::CControl*) {}

int32_t CVSTEditor::onModifierClick(VSTGUI::CDrawContext*, VSTGUI::CControl*, int32_t) { return 0; }

}  // namespace brisane
