// The example engine through COM, as the plug-in reaches it: registration, creation by class
// identifier, the five interfaces, programs, the change callback, Process and unloading.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <ocidl.h>
#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "examples/engine/engine_core.h"
#include "plugin/engine/engine_interfaces.h"

using namespace brisane;

namespace {

typedef HRESULT(STDAPICALLTYPE* ServerProc)();
typedef HRESULT(STDAPICALLTYPE* GetClassObjectProc)(REFCLSID, REFIID, void**);

HMODULE g_engine = nullptr;

ServerProc serverProc(const char* name) { return (ServerProc)(void*)GetProcAddress(g_engine, name); }

std::wstring enginePath() {
    // The build passes a Unix path; Wine sees it on drive Z:.
    std::string p = ENGINE_DLL;
    std::wstring w = L"Z:";
    for (char c : p) w += c == '/' ? L'\\' : (wchar_t)c;
    return w;
}

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        g_engine = LoadLibraryW(enginePath().c_str());
        ASSERT_NE(nullptr, g_engine) << "cannot load the engine";
        ASSERT_EQ(S_OK, serverProc("DllRegisterServer")());
    }
    void TearDown() override {
        if (g_engine) {
            EXPECT_EQ(S_OK, serverProc("DllUnregisterServer")());
            CoFreeUnusedLibraries();
            FreeLibrary(g_engine);
        }
        CoUninitialize();
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

template <class I>
I* query(IUnknown* unknown, REFIID iid) {
    void* p = nullptr;
    return SUCCEEDED(unknown->QueryInterface(iid, &p)) ? static_cast<I*>(p) : nullptr;
}

std::wstring takeBstr(BSTR s) {
    std::wstring w = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
    SysFreeString(s);
    return w;
}

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// One engine with all five interfaces; every reference is given back at the end and the
// count of the last release must be zero.
struct Engine {
    IEffectEngine* engine = nullptr;
    IEngineParameters* params = nullptr;
    IEngineNotify* notify = nullptr;
    IEnginePrograms* programs = nullptr;
    IEngineOption* option = nullptr;

    Engine() {
        HRESULT hr = CoCreateInstance(CLSID_EffectEngine, nullptr, CLSCTX_ALL, IID_IEffectEngine, (void**)&engine);
        EXPECT_EQ(S_OK, hr);
        if (!engine) return;
        params = query<IEngineParameters>(engine, IID_IEngineParameters);
        notify = query<IEngineNotify>(engine, IID_IEngineNotify);
        programs = query<IEnginePrograms>(engine, IID_IEnginePrograms);
        option = query<IEngineOption>(engine, IID_IEngineOption);
    }
    // Releases everything; returns the count left by the last release.
    ULONG release() {
        ULONG last = 0;
        for (IUnknown* p : {(IUnknown*)option, (IUnknown*)programs, (IUnknown*)notify, (IUnknown*)params})
            if (p) p->Release();
        if (engine) last = engine->Release();
        engine = nullptr;
        params = nullptr;
        notify = nullptr;
        programs = nullptr;
        option = nullptr;
        return last;
    }
    ~Engine() {
        if (engine) release();
    }
};

SAFEARRAY* floatArray(const std::vector<float>& values) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_R4, 0, (ULONG)values.size());
    float* data = nullptr;
    SafeArrayAccessData(a, (void**)&data);
    if (!values.empty()) std::memcpy(data, values.data(), values.size() * sizeof(float));
    SafeArrayUnaccessData(a);
    return a;
}

std::vector<float> readArray(SAFEARRAY* a) {
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(a, 1, &lower);
    SafeArrayGetUBound(a, 1, &upper);
    std::vector<float> v((size_t)(upper - lower + 1));
    float* data = nullptr;
    SafeArrayAccessData(a, (void**)&data);
    if (!v.empty()) std::memcpy(v.data(), data, v.size() * sizeof(float));
    SafeArrayUnaccessData(a);
    return v;
}

std::vector<float> testSignal(size_t n) {
    std::vector<float> v(n);
    for (size_t k = 0; k < n; ++k) v[k] = 0.4f * (float)std::sin(0.05 * (double)k) + 0.01f * (float)(k % 7);
    return v;
}

TEST(EngineServer, RegistersItsClassForBothThreadingModels) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{DB9A9DC4-7638-4B0F-95A1-EF8C2FDCDD04}\\InprocServer32",
                                           0, KEY_READ, &key));
    wchar_t value[MAX_PATH + 1] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, nullptr, nullptr, nullptr, (BYTE*)value, &size));
    wchar_t loaded[MAX_PATH + 1] = {};
    GetModuleFileNameW(g_engine, loaded, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiW(loaded, value));
    wchar_t model[32] = {};
    size = sizeof model - sizeof(wchar_t);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"ThreadingModel", nullptr, nullptr, (BYTE*)model, &size));
    EXPECT_STREQ(L"Both", model);
    RegCloseKey(key);
}

TEST(EngineServer, UnregisteredClassCannotBeCreatedAndRegistersAgain) {
    ASSERT_EQ(S_OK, serverProc("DllUnregisterServer")());
    EXPECT_EQ(S_OK, serverProc("DllUnregisterServer")());  // twice is harmless
    IUnknown* p = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_EffectEngine, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&p));
    EXPECT_EQ(nullptr, p);
    ASSERT_EQ(S_OK, serverProc("DllRegisterServer")());
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_EffectEngine, nullptr, CLSCTX_ALL, IID_IUnknown, (void**)&p));
    EXPECT_EQ(0u, p->Release());
}

TEST(EngineServer, ClassFactoryRefusesStrangersAndAggregationAndHoldsTheModule) {
    auto getClassObject = (GetClassObjectProc)(void*)GetProcAddress(g_engine, "DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);
    void* p = (void*)1;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IEffectEngine, IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_EffectEngine, IID_IClassFactory, nullptr));

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, getClassObject(CLSID_EffectEngine, IID_IClassFactory, (void**)&factory));
    EXPECT_EQ(S_FALSE, serverProc("DllCanUnloadNow")());
    IUnknown* outer = factory;  // any non-null outer object asks for aggregation
    p = (void*)1;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &p));
    IEngineOption* option = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IEngineOption, (void**)&option));
    EXPECT_EQ(S_OK, option->SetOption(-1));
    EXPECT_EQ(0u, option->Release());

    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(S_FALSE, serverProc("DllCanUnloadNow")());  // the lock still holds it
    ASSERT_EQ(S_OK, getClassObject(CLSID_EffectEngine, IID_IClassFactory, (void**)&factory));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(S_OK, serverProc("DllCanUnloadNow")());
}

TEST(EngineObject, OneObjectAnswersAllFiveInterfacesAndCountsBackToZero) {
    Engine e;
    ASSERT_NE(nullptr, e.engine);
    ASSERT_NE(nullptr, e.params);
    ASSERT_NE(nullptr, e.notify);
    ASSERT_NE(nullptr, e.programs);
    ASSERT_NE(nullptr, e.option);
    IUnknown* a = query<IUnknown>(e.engine, IID_IUnknown);
    IUnknown* b = query<IUnknown>(e.programs, IID_IUnknown);
    EXPECT_EQ(a, b);  // one identity
    a->Release();
    b->Release();
    IEngineNotify* again = query<IEngineNotify>(e.params, IID_IEngineNotify);
    EXPECT_EQ(e.notify, again);
    again->Release();
    void* p = (void*)1;
    EXPECT_EQ(E_NOINTERFACE, e.engine->QueryInterface(IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_FALSE, serverProc("DllCanUnloadNow")());
    EXPECT_EQ(0u, e.release());
    EXPECT_EQ(S_OK, serverProc("DllCanUnloadNow")());
}

TEST(EngineObject, NamesItselfAndListsItsPropertyPage) {
    Engine e;
    ASSERT_NE(nullptr, e.engine);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, e.engine->GetName(&name));
    EXPECT_EQ(L"Example EQ and Drive", takeBstr(name));
    CAUUID pages = {7, nullptr};
    ASSERT_EQ(S_OK, e.engine->GetPropertyPages(&pages));
    ASSERT_EQ(1u, pages.cElems);
    ASSERT_NE(nullptr, pages.pElems);
    EXPECT_EQ(E_POINTER, e.engine->GetPropertyPages(nullptr));
    EXPECT_EQ(E_POINTER, e.engine->GetName(nullptr));
    EXPECT_EQ(S_OK, e.option->SetOption(-1));
}

// The engine's page, as any property-page container would drive it: moving its controls edits
// the engine and reports each edit through the advised callback.
struct EditLog {
    std::vector<std::pair<LONG, LONG>> calls;  // (reason, index)
};
LONG STDMETHODCALLTYPE recordEdit(LONG reason, void* context, LONG index) {
    static_cast<EditLog*>(context)->calls.emplace_back(reason, index);
    return 0;
}

TEST(EnginePage, EditsTheEngineItIsGivenAndReportsEachEdit) {
    Engine e;
    ASSERT_NE(nullptr, e.engine);
    CAUUID pages = {0, nullptr};
    ASSERT_EQ(S_OK, e.engine->GetPropertyPages(&pages));
    ASSERT_EQ(1u, pages.cElems);
    IPropertyPage* page = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(pages.pElems[0], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, (void**)&page));

    PROPPAGEINFO info = {sizeof info, nullptr, {0, 0}, nullptr, nullptr, 0};
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_EQ(std::wstring(L"Example EQ and Drive"), info.pszTitle ? info.pszTitle : L"");
    CoTaskMemFree(info.pszTitle);
    EXPECT_GT(info.size.cx, 200);
    EXPECT_GT(info.size.cy, 100);
    EXPECT_EQ(E_UNEXPECTED, page->Deactivate());

    IUnknown* objects[1] = {e.engine};
    ASSERT_EQ(S_OK, page->SetObjects(1, objects));
    HWND parent = CreateWindowExW(0, L"STATIC", L"page host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 300,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    RECT area = {0, 0, info.size.cx, info.size.cy};
    ASSERT_EQ(S_OK, page->Activate(parent, &area, FALSE));
    EXPECT_EQ(E_UNEXPECTED, page->Activate(parent, &area, FALSE));
    HWND pageWindow = GetWindow(parent, GW_CHILD);
    ASSERT_NE(nullptr, pageWindow);
    HWND inputTrackbar = FindWindowExW(pageWindow, nullptr, L"msctls_trackbar32", nullptr);
    HWND autoGain = FindWindowExW(pageWindow, nullptr, L"Button", nullptr);
    HWND programList = FindWindowExW(pageWindow, nullptr, L"ComboBox", nullptr);
    ASSERT_TRUE(inputTrackbar && autoGain && programList);
    // The selector names the program whose values the engine holds: the first, as created.
    const LRESULT factoryCount = (LRESULT)example_engine::factoryPrograms().size();
    const auto refreshPage = [&] { SendMessageW(pageWindow, WM_TIMER, 1, 0); };
    EXPECT_EQ(factoryCount, SendMessageW(programList, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(0, SendMessageW(programList, CB_GETCURSEL, 0, 0));

    EditLog log;
    ASSERT_EQ(S_OK, e.notify->Advise(recordEdit, &log));
    SendMessageW(inputTrackbar, TBM_SETPOS, TRUE, 1000);
    SendMessageW(pageWindow, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), (LPARAM)inputTrackbar);
    float value = 0;
    ASSERT_EQ(S_OK, e.params->GetValue(example_engine::kInputGain, &value));
    EXPECT_EQ(1.0f, value);
    ASSERT_EQ(1u, log.calls.size());
    EXPECT_EQ(3, log.calls[0].first);
    EXPECT_EQ(example_engine::kInputGain, log.calls[0].second);
    // A moved control leaves every factory program: a custom entry appears and is shown.
    refreshPage();
    EXPECT_EQ(factoryCount + 1, SendMessageW(programList, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(factoryCount, SendMessageW(programList, CB_GETCURSEL, 0, 0));
    SendMessageW(autoGain, BM_CLICK, 0, 0);
    ASSERT_EQ(S_OK, e.params->GetValue(example_engine::kAutoGain, &value));
    EXPECT_EQ(1.0f, value);
    // A program chosen in the list is loaded by the engine.
    SendMessageW(programList, CB_SETCURSEL, 1, 0);
    SendMessageW(pageWindow, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(programList), CBN_SELCHANGE), (LPARAM)programList);
    ASSERT_EQ(S_OK, e.params->GetValue(example_engine::kDrive, &value));
    EXPECT_EQ(example_engine::factoryPrograms()[1].values[example_engine::kDrive], value);
    EXPECT_EQ(1, SendMessageW(programList, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(factoryCount, SendMessageW(programList, CB_GETCOUNT, 0, 0));
    // Changes from the plug-in's side are not echoed back.
    log.calls.clear();
    ASSERT_EQ(S_OK, e.params->SetValue(example_engine::kOutputGain, 0.25f, -1));
    EXPECT_TRUE(log.calls.empty());
    ASSERT_EQ(S_OK, e.notify->Unadvise());
    // A program the plug-in loads arrives as values, and is recognised by them.
    const auto& third = example_engine::factoryPrograms()[3].values;
    for (int j = 0; j < example_engine::kParameterCount; ++j) e.params->SetValue(j, third[(size_t)j], 0);
    refreshPage();
    EXPECT_EQ(3, SendMessageW(programList, CB_GETCURSEL, 0, 0));

    EXPECT_EQ(S_FALSE, page->IsPageDirty());
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(S_OK, page->Show(SW_SHOW));
    RECT moved = {5, 5, 5 + info.size.cx, 5 + info.size.cy};
    EXPECT_EQ(S_OK, page->Move(&moved));
    ASSERT_EQ(S_OK, page->Deactivate());
    EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD));
    EXPECT_EQ(S_OK, page->SetObjects(0, nullptr));
    EXPECT_EQ(0u, page->Release());
    DestroyWindow(parent);
}

TEST(EngineObject, ParametersHaveNamesLabelsTextsAndRoundTrip) {
    Engine e;
    ASSERT_NE(nullptr, e.params);
    int count = 0;
    ASSERT_EQ(S_OK, e.params->GetCount(&count));
    EXPECT_EQ(69, count);
    for (int i = 0; i < count; ++i) {
        BSTR s = nullptr;
        ASSERT_EQ(S_OK, e.params->GetName(i, &s));
        EXPECT_EQ(wide(example_engine::parameterName(i)), takeBstr(s));
        ASSERT_EQ(S_OK, e.params->GetLabel(i, &s));
        EXPECT_EQ(wide(example_engine::parameterLabel(i)), takeBstr(s));
        float v = -1;
        ASSERT_EQ(S_OK, e.params->GetValue(i, &v));
        ASSERT_EQ(S_OK, e.params->GetDisplay(i, &s));
        EXPECT_EQ(wide(example_engine::parameterDisplay(i, v)), takeBstr(s));
    }
    BSTR s = nullptr;
    ASSERT_EQ(S_OK, e.params->GetName(0, &s));
    EXPECT_EQ(L"Output", takeBstr(s));

    EXPECT_EQ(S_OK, e.params->SetValue(0, 0.75f, -1));
    float v = 0;
    ASSERT_EQ(S_OK, e.params->GetValue(0, &v));
    EXPECT_EQ(0.75f, v);
    ASSERT_EQ(S_OK, e.params->GetDisplay(0, &s));
    EXPECT_EQ(L"+12.0", takeBstr(s));
    EXPECT_EQ(S_OK, e.params->SetValue(68, 0.123456f, 0));
    ASSERT_EQ(S_OK, e.params->GetValue(68, &v));
    EXPECT_EQ(0.123456f, v);

    // Bad indices and pointers write nothing.
    v = 42.0f;
    EXPECT_EQ(E_INVALIDARG, e.params->GetValue(69, &v));
    EXPECT_EQ(E_INVALIDARG, e.params->GetValue(-1, &v));
    EXPECT_EQ(42.0f, v);
    EXPECT_EQ(E_INVALIDARG, e.params->SetValue(69, 0.5f, -1));
    EXPECT_EQ(E_INVALIDARG, e.params->SetValue(3, std::nanf(""), -1));
    EXPECT_EQ(E_POINTER, e.params->GetValue(0, nullptr));
    EXPECT_EQ(E_POINTER, e.params->GetCount(nullptr));
    EXPECT_EQ(E_POINTER, e.params->GetDisplay(0, nullptr));
    s = (BSTR)1;
    EXPECT_EQ(E_INVALIDARG, e.params->GetName(100, &s));
    EXPECT_EQ(E_INVALIDARG, e.params->GetLabel(-5, &s));
}

TEST(EngineObject, ProgramsAreNamedAndSelectMakesThemCurrent) {
    Engine e;
    ASSERT_NE(nullptr, e.programs);
    const auto& factory = example_engine::factoryPrograms();
    int count = 0;
    ASSERT_EQ(S_OK, e.programs->GetCount(&count));
    ASSERT_GE(count, 3);
    EXPECT_EQ((int)factory.size(), count);
    for (int i = 0; i < count; ++i) {
        wchar_t buffer[25] = {};
        ASSERT_EQ(S_OK, e.programs->GetName(i, buffer, 24));
        EXPECT_EQ(wide(factory[(size_t)i].name), buffer);
    }
    // The name is cut at maxChars and nothing beyond its terminating zero is written.
    wchar_t cut[8];
    for (auto& c : cut) c = L'#';
    ASSERT_EQ(S_OK, e.programs->GetName(2, cut, 4));
    EXPECT_EQ(wide(factory[2].name).substr(0, 4), cut);
    EXPECT_EQ(L'#', cut[5]);
    EXPECT_EQ(E_INVALIDARG, e.programs->GetName(count, cut, 24));
    EXPECT_EQ(E_POINTER, e.programs->GetName(0, nullptr, 24));

    for (int p : {2, 1, 4}) {
        ASSERT_EQ(S_OK, e.programs->Select(p));
        for (int j = 0; j < 69; ++j) {
            float v = -1;
            ASSERT_EQ(S_OK, e.params->GetValue(j, &v));
            ASSERT_EQ(factory[(size_t)p].values[(size_t)j], v) << "program " << p << " value " << j;
        }
    }
    EXPECT_EQ(E_INVALIDARG, e.programs->Select(count));
    EXPECT_EQ(E_INVALIDARG, e.programs->Select(-1));
    float v = 0;
    e.params->GetValue(example_engine::kInputGain, &v);
    EXPECT_EQ(factory[4].values[example_engine::kInputGain], v);  // refused selections change nothing
}

struct CallbackLog {
    IEngineParameters* params = nullptr;
    int calls = 0;
    LONG lastReason = 0, lastArgument = -1;
    void* lastContext = nullptr;
    float outputGainSeen = -1;
};

LONG STDMETHODCALLTYPE onChange(LONG a, void* context, LONG b) {
    auto* log = static_cast<CallbackLog*>(context);
    ++log->calls;
    log->lastReason = a;
    log->lastArgument = b;
    log->lastContext = context;
    // The engine must not hold anything that stops a reader inside the callback.
    log->params->GetValue(example_engine::kOutputGain, &log->outputGainSeen);
    return 0;
}

TEST(EngineObject, ChangeCallbackReportsProgramLoadsUntilUnadvised) {
    Engine e;
    ASSERT_NE(nullptr, e.notify);
    CallbackLog log;
    log.params = e.params;
    ASSERT_EQ(S_OK, e.notify->Advise(onChange, &log));
    e.params->SetValue(0, 0.9f, -1);
    EXPECT_EQ(0, log.calls);  // the host's own changes are not echoed
    ASSERT_EQ(S_OK, e.programs->Select(1));
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(&log, log.lastContext);
    EXPECT_EQ(1, log.lastArgument);
    EXPECT_EQ(example_engine::factoryPrograms()[1].values[example_engine::kOutputGain], log.outputGainSeen);
    ASSERT_EQ(S_OK, e.notify->Unadvise());
    e.programs->Select(2);
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(0u, e.release());
}

TEST(EngineObject, AutoGainReportsItsMovesFromProcess) {
    Engine e;
    ASSERT_NE(nullptr, e.engine);
    CallbackLog log;
    log.params = e.params;
    e.notify->Advise(onChange, &log);
    ASSERT_EQ(S_OK, e.engine->SetFormat(44100, 2));
    e.params->SetValue(example_engine::kInputGain, example_engine::valueFromGainDb(12), -1);
    e.params->SetValue(example_engine::kAutoGain, 1.0f, -1);
    SAFEARRAY* in = floatArray(testSignal(1024));
    for (int block = 0; block < 100; ++block) {
        SAFEARRAY* out = nullptr;
        ASSERT_EQ(S_OK, e.engine->Process(in, &out));
    }
    SafeArrayDestroy(in);
    EXPECT_GT(log.calls, 3);
    EXPECT_EQ(2, log.lastReason);
    EXPECT_EQ(example_engine::kOutputGain, log.lastArgument);
    float v = 0;
    e.params->GetValue(example_engine::kOutputGain, &v);
    EXPECT_EQ(v, log.outputGainSeen);
    EXPECT_LT(example_engine::gainDbFromValue(v), -8.0);
    e.notify->Unadvise();
}

TEST(EngineObject, ProcessReturnsAnArrayItKeepsAndChecksItsInput) {
    Engine e;
    ASSERT_NE(nullptr, e.engine);
    ASSERT_EQ(S_OK, e.engine->SetFormat(48000, 2));
    std::vector<float> signal = testSignal(1024);
    SAFEARRAY* in = floatArray(signal);
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(S_OK, e.engine->Process(in, &out));
    ASSERT_NE(nullptr, out);
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(out, &vt);
    EXPECT_EQ(VT_R4, vt);
    EXPECT_EQ(1u, SafeArrayGetDim(out));
    EXPECT_EQ(signal, readArray(out));  // neutral program: unchanged

    // -6 dB on the output through the parameter interface.
    e.params->SetValue(example_engine::kOutputGain, example_engine::valueFromGainDb(-6), -1);
    SAFEARRAY* out2 = nullptr;
    ASSERT_EQ(S_OK, e.engine->Process(in, &out2));
    std::vector<float> quieter = readArray(out2);
    ASSERT_EQ(signal.size(), quieter.size());
    double g = std::pow(10.0, -6.0 / 20);
    for (size_t k = 0; k < signal.size(); ++k) ASSERT_NEAR(g * signal[k], quieter[k], 1e-6);

    // A different block size gets a fitting array; an empty block an empty one.
    SAFEARRAY* small = floatArray(std::vector<float>(6, 0.25f));
    ASSERT_EQ(S_OK, e.engine->Process(small, &out));
    EXPECT_EQ(6u, readArray(out).size());
    SafeArrayDestroy(small);
    SAFEARRAY* empty = SafeArrayCreateVector(VT_R4, 0, 0);
    ASSERT_EQ(S_OK, e.engine->Process(empty, &out));
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(0u, readArray(out).size());
    SafeArrayDestroy(empty);

    // Refused input leaves a null result.
    SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 4);
    out = (SAFEARRAY*)1;
    EXPECT_EQ(E_INVALIDARG, e.engine->Process(doubles, &out));
    EXPECT_EQ(nullptr, out);
    SafeArrayDestroy(doubles);
    out = (SAFEARRAY*)1;
    EXPECT_EQ(E_POINTER, e.engine->Process(nullptr, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, e.engine->Process(in, nullptr));
    SafeArrayDestroy(in);
    EXPECT_EQ(0u, e.release());  // the kept array goes with the object
}

TEST(EngineObject, RefusedFormatKeepsTheOldOne) {
    Engine e;
    ASSERT_NE(nullptr, e.engine);
    ASSERT_EQ(S_OK, e.engine->SetFormat(44100, 4));
    EXPECT_EQ(E_INVALIDARG, e.engine->SetFormat(0, 2));
    EXPECT_EQ(E_INVALIDARG, e.engine->SetFormat(44100, 9));
    EXPECT_EQ(S_OK, e.engine->SetFormat(44100, 0));
    EXPECT_EQ(S_OK, e.engine->SetFormat(96000, 8));
    // Eight channels, one frame with a partial frame after it: all of it comes back.
    e.params->SetValue(example_engine::kOutputGain, 1.0f, -1);  // +24 dB
    std::vector<float> signal(11, 0.01f);
    SAFEARRAY* in = floatArray(signal);
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(S_OK, e.engine->Process(in, &out));
    std::vector<float> result = readArray(out);
    ASSERT_EQ(11u, result.size());
    EXPECT_NEAR(0.01 * std::pow(10.0, 24.0 / 20), result[7], 1e-6);
    EXPECT_EQ(0.01f, result[8]);
    SafeArrayDestroy(in);
}

}  // namespace
