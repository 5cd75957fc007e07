// The example engine's property page: its own COM class, a child window of plain Win32
// controls (a program list, three trackbars and a check box for the engine's main
// parameters) that edits the engine given to SetObjects. Every IPropertyPage method is
// implemented, so that any property-page container can show it, not only Brisane's editor.
#include <windows.h>
#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>

#include <cmath>
#include <string>

#include "common/com/com_ptr.h"
#include "common/com/implements.h"
#include "examples/engine/engine_core.h"
#include "examples/engine/engine_module.h"
#include "plugin/engine/engine_interfaces.h"

namespace example_engine_com {

namespace {

using brisane::IEngineParameters;
using brisane::IEnginePrograms;

const wchar_t kPageTitle[] = L"Example EQ and Drive";
const wchar_t kPageClassName[] = L"ExampleEnginePage";
const wchar_t kPageKey[] = L"CLSID\\{6F0D1C32-5E7B-4C8A-9D41-2B7E93A6C150}";
const wchar_t kPageDescription[] = L"Example effect engine: property page";
// The selector's last entry while the engine's values match no factory program.
const wchar_t kCustomProgram[] = L"(custom)";

constexpr int kPageWidth = 440;
constexpr int kPageHeight = 214;
constexpr int kTrackbarSteps = 1000;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMilliseconds = 250;

// The page's controls; each trackbar row is a label, the trackbar and a value text.
enum ControlId : int { kProgramList = 100, kAutoGainBox = 101, kFirstTrackbar = 110, kFirstValueText = 120 };

struct TrackbarRow {
    int parameter;
    const wchar_t* label;
};
const TrackbarRow kRows[] = {
    {example_engine::kInputGain, L"Input"},
    {example_engine::kDrive, L"Drive"},
    {example_engine::kOutputGain, L"Output"},
};
constexpr int kRowCount = sizeof(kRows) / sizeof(kRows[0]);

// The window class of the page windows, registered while any page window exists.
LONG g_pageWindows = 0;

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

wchar_t* taskMemoryCopy(const wchar_t* text) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

class CEnginePage : public com::implements<CEnginePage, ModulePolicy, IPropertyPage> {
public:
    ~CEnginePage() override {
        destroyWindow();
        releaseObjects();
    }

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
        if (site && m_site) return E_UNEXPECTED;
        m_site = com::ptr<IPropertyPageSite>::share(site);
        return S_OK;
    }

    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL /*modal*/) override {
        if (!rect) return E_POINTER;
        if (m_window) return E_UNEXPECTED;
        if (!registerWindowClass()) return E_FAIL;
        m_window = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClassName, kPageTitle,
                                   WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP, rect->left, rect->top,
                                   rect->right - rect->left, rect->bottom - rect->top, parent, nullptr, g_module, this);
        if (!m_window) {
            unregisterWindowClass();
            return E_FAIL;
        }
        createControls();
        refresh(true);
        SetTimer(m_window, kRefreshTimer, kRefreshMilliseconds, nullptr);
        return S_OK;
    }

    STDMETHODIMP Deactivate() override {
        if (!m_window) return E_UNEXPECTED;
        destroyWindow();
        return S_OK;
    }

    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
        if (!info) return E_POINTER;
        info->cb = sizeof(PROPPAGEINFO);
        info->pszTitle = taskMemoryCopy(kPageTitle);
        info->size.cx = kPageWidth;
        info->size.cy = kPageHeight;
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return info->pszTitle ? S_OK : E_OUTOFMEMORY;
    }

    // The first object is the engine; the page reads and edits it through its parameter and
    // program interfaces. A count of 0 lets go of it.
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override {
        if (count && !objects) return E_POINTER;
        releaseObjects();
        if (count == 0) return S_OK;
        if (!objects[0]) return E_INVALIDARG;
        objects[0]->QueryInterface(brisane::IID_IEngineParameters, m_parameters.putVoid());
        objects[0]->QueryInterface(brisane::IID_IEnginePrograms, m_programs.putVoid());
        if (!m_parameters) {
            releaseObjects();
            return E_NOINTERFACE;
        }
        if (m_window) {
            fillProgramList();
            refresh(true);
        }
        return S_OK;
    }

    STDMETHODIMP Show(UINT command) override {
        if (!m_window) return E_UNEXPECTED;
        ShowWindow(m_window, (int)command);
        return S_OK;
    }

    STDMETHODIMP Move(LPCRECT rect) override {
        if (!rect) return E_POINTER;
        if (!m_window) return E_UNEXPECTED;
        MoveWindow(m_window, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }

    // Every edit reaches the engine at once: there is never anything left to apply.
    STDMETHODIMP IsPageDirty() override { return S_FALSE; }
    STDMETHODIMP Apply() override { return S_OK; }
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }

    STDMETHODIMP TranslateAccelerator(MSG* message) override {
        if (!message) return E_POINTER;
        return m_window && IsDialogMessageW(m_window, message) ? S_OK : S_FALSE;
    }

    // Test access: the page window, when active.
    HWND window() const { return m_window; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* page = reinterpret_cast<CEnginePage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (page) {
            switch (message) {
            case WM_HSCROLL:
                if (lParam) page->trackbarMoved(reinterpret_cast<HWND>(lParam));
                return 0;
            case WM_COMMAND:
                page->command(LOWORD(wParam), HIWORD(wParam));
                return 0;
            case WM_TIMER:
                if (wParam == kRefreshTimer) page->refresh(false);
                return 0;
            case WM_NCDESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                break;
            default: break;
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static bool registerWindowClass() {
        if (InterlockedIncrement(&g_pageWindows) > 1) return true;
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = g_module;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = kPageClassName;
        if (RegisterClassW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
        InterlockedDecrement(&g_pageWindows);
        return false;
    }

    static void unregisterWindowClass() {
        if (InterlockedDecrement(&g_pageWindows) == 0) UnregisterClassW(kPageClassName, g_module);
    }

    HWND addControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height,
                    int id) {
        HWND control = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, m_window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_module, nullptr);
        if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        return control;
    }

    void createControls() {
        addControl(L"STATIC", kPageTitle, SS_LEFT, 12, 10, 300, 18, -1);
        addControl(L"STATIC", L"Program", SS_LEFT, 12, 42, 70, 18, -1);
        addControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 90, 38, 220, 200, kProgramList);
        for (int row = 0; row < kRowCount; ++row) {
            const int y = 80 + 34 * row;
            addControl(L"STATIC", kRows[row].label, SS_LEFT, 12, y, 70, 18, -1);
            HWND trackbar = addControl(TRACKBAR_CLASSW, L"", TBS_HORZ | TBS_NOTICKS | WS_TABSTOP, 84, y - 5, 250, 28,
                                       kFirstTrackbar + row);
            SendMessageW(trackbar, TBM_SETRANGEMIN, FALSE, 0);
            SendMessageW(trackbar, TBM_SETRANGEMAX, FALSE, kTrackbarSteps);
            SendMessageW(trackbar, TBM_SETPAGESIZE, 0, kTrackbarSteps / 20);
            addControl(L"STATIC", L"", SS_LEFT, 340, y, 92, 18, kFirstValueText + row);
        }
        addControl(L"BUTTON", L"Automatic gain", BS_AUTOCHECKBOX | WS_TABSTOP, 90, 184, 200, 20, kAutoGainBox);
        fillProgramList();
    }

    void fillProgramList() {
        HWND list = GetDlgItem(m_window, kProgramList);
        SendMessageW(list, CB_RESETCONTENT, 0, 0);
        m_programCount = 0;
        if (m_programs) m_programs->GetCount(&m_programCount);
        for (int i = 0; i < m_programCount; ++i) {
            wchar_t name[64] = {0};
            m_programs->GetName(i, name, 63);
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
    }

    // The selector names the factory program whose values the engine holds, however they got
    // there (the host loads programs as values), or the custom entry once they match none.
    void showCurrentProgram() {
        HWND list = GetDlgItem(m_window, kProgramList);
        if (!m_programs || m_programCount <= 0 || SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)) return;
        example_engine::ParameterValues values;
        for (int i = 0; i < example_engine::kParameterCount; ++i) values[(size_t)i] = value(i);
        int program = example_engine::matchingFactoryProgram(values);
        const bool custom = program < 0 || program >= m_programCount;
        const bool listed = SendMessageW(list, CB_GETCOUNT, 0, 0) > m_programCount;
        if (custom) {
            program = m_programCount;
            if (!listed) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kCustomProgram));
        } else if (listed) {
            SendMessageW(list, CB_DELETESTRING, (WPARAM)m_programCount, 0);
        }
        if (SendMessageW(list, CB_GETCURSEL, 0, 0) != program) SendMessageW(list, CB_SETCURSEL, (WPARAM)program, 0);
    }

    float value(int parameter) const {
        float v = 0.0f;
        if (m_parameters) m_parameters->GetValue(parameter, &v);
        return v;
    }

    std::wstring valueText(int parameter) const {
        std::wstring text;
        BSTR display = nullptr, label = nullptr;
        if (m_parameters && SUCCEEDED(m_parameters->GetDisplay(parameter, &display)) && display) text = display;
        if (m_parameters && SUCCEEDED(m_parameters->GetLabel(parameter, &label)) && label && SysStringLen(label))
            text += L" " + std::wstring(label);
        SysFreeString(display);
        SysFreeString(label);
        return text;
    }

    // Shows the engine's values; a control the user is holding keeps its position.
    void refresh(bool everything) {
        if (!m_window) return;
        HWND held = GetCapture();
        for (int row = 0; row < kRowCount; ++row) {
            HWND trackbar = GetDlgItem(m_window, kFirstTrackbar + row);
            if (everything || trackbar != held) {
                const LPARAM position = (LPARAM)std::lround(value(kRows[row].parameter) * kTrackbarSteps);
                if (SendMessageW(trackbar, TBM_GETPOS, 0, 0) != position) SendMessageW(trackbar, TBM_SETPOS, TRUE, position);
            }
            setText(kFirstValueText + row, valueText(kRows[row].parameter));
        }
        const WPARAM checked = value(example_engine::kAutoGain) >= 0.5f ? BST_CHECKED : BST_UNCHECKED;
        HWND box = GetDlgItem(m_window, kAutoGainBox);
        if ((WPARAM)SendMessageW(box, BM_GETCHECK, 0, 0) != checked) SendMessageW(box, BM_SETCHECK, checked, 0);
        showCurrentProgram();
    }

    void setText(int id, const std::wstring& text) {
        wchar_t current[128] = {0};
        GetDlgItemTextW(m_window, id, current, 127);
        if (text != current) SetDlgItemTextW(m_window, id, text.c_str());
    }

    void trackbarMoved(HWND trackbar) {
        const int row = GetDlgCtrlID(trackbar) - kFirstTrackbar;
        if (row < 0 || row >= kRowCount || !m_parameters) return;
        const LRESULT position = SendMessageW(trackbar, TBM_GETPOS, 0, 0);
        m_parameters->SetValue(kRows[row].parameter, (float)position / kTrackbarSteps, kOriginPage);
        setText(kFirstValueText + row, valueText(kRows[row].parameter));
    }

    void command(int id, int notification) {
        if (id == kAutoGainBox && notification == BN_CLICKED && m_parameters) {
            const bool on = SendMessageW(GetDlgItem(m_window, kAutoGainBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
            m_parameters->SetValue(example_engine::kAutoGain, on ? 1.0f : 0.0f, kOriginPage);
        } else if (id == kProgramList && notification == CBN_SELCHANGE && m_programs) {
            const LRESULT selected = SendMessageW(GetDlgItem(m_window, kProgramList), CB_GETCURSEL, 0, 0);
            if (selected != CB_ERR && selected < m_programCount) m_programs->Select((int)selected);
            refresh(true);
        }
    }

    void destroyWindow() {
        if (!m_window) return;
        KillTimer(m_window, kRefreshTimer);
        DestroyWindow(m_window);
        m_window = nullptr;
        unregisterWindowClass();
    }

    void releaseObjects() {
        m_parameters.reset();
        m_programs.reset();
    }

    com::ptr<IPropertyPageSite> m_site;
    com::ptr<IEngineParameters> m_parameters;
    com::ptr<IEnginePrograms> m_programs;
    int m_programCount = 0;  // the selector's entries from the engine's program list
    HWND m_window = nullptr;
};

}  // namespace

HRESULT createPageFactory(REFIID riid, void** ppv) { return com::createInstance<CClassFactory<CEnginePage>>(riid, ppv); }

HRESULT registerPage(const wchar_t* modulePath) {
    // The page's window lives on the thread that activates it.
    return registerInprocServer(kPageKey, kPageDescription, modulePath, L"Apartment") == ERROR_SUCCESS ? S_OK
                                                                                                       : SELFREG_E_CLASS;
}

HRESULT unregisterPage() {
    const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, kPageKey);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // namespace example_engine_com
