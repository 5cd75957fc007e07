// The external effect engine as the plug-in sees it: a COM class known only by its class
// identifier and the interface identifiers below. Every method returns an HRESULT with the
// COM calling convention; vtable positions the plug-in never calls are kept as placeholders
// so that the listed methods sit at their fixed positions.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

namespace brisane {

// {DB9A9DC4-7638-4B0F-95A1-EF8C2FDCDD04}
static const CLSID CLSID_EffectEngine =
    {0xDB9A9DC4, 0x7638, 0x4B0F, {0x95, 0xA1, 0xEF, 0x8C, 0x2F, 0xDC, 0xDD, 0x04}};
static const char kEngineClsidText[] = "{DB9A9DC4-7638-4B0F-95A1-EF8C2FDCDD04}";

// {09BDA38D-43EF-4A17-9A72-57C2F9C03483}
static const IID IID_IEffectEngine =
    {0x09BDA38D, 0x43EF, 0x4A17, {0x9A, 0x72, 0x57, 0xC2, 0xF9, 0xC0, 0x34, 0x83}};
// {222E9B7B-9B23-4841-ADAA-9F69219824A3}
static const IID IID_IEngineParameters =
    {0x222E9B7B, 0x9B23, 0x4841, {0xAD, 0xAA, 0x9F, 0x69, 0x21, 0x98, 0x24, 0xA3}};
// {AC902632-FBEF-41B9-B7E5-9F51641F2730}
static const IID IID_IEngineNotify =
    {0xAC902632, 0xFBEF, 0x41B9, {0xB7, 0xE5, 0x9F, 0x51, 0x64, 0x1F, 0x27, 0x30}};
// {237AC92B-CA06-4992-B908-BD7FB69769A1}
static const IID IID_IEnginePrograms =
    {0x237AC92B, 0xCA06, 0x4992, {0xB9, 0x08, 0xBD, 0x7F, 0xB6, 0x97, 0x69, 0xA1}};
// {2F9B843C-3437-49EA-BB4A-49D54F210CDD}
static const IID IID_IEngineOption =
    {0x2F9B843C, 0x3437, 0x49EA, {0xBB, 0x4A, 0x49, 0xD5, 0x4F, 0x21, 0x0C, 0xDD}};

// Number of parameters every engine program carries.
constexpr int kEngineParameterCount = 69;

// Called by the engine whenever its parameter values change on its side. context is the
// pointer given to Advise; reason and subject say why and what changed (the engine's own
// codes: a program loaded and its index, an edit and the parameter's index), which the
// plug-in does not need, since it reads all values back.
typedef LONG(STDMETHODCALLTYPE* EngineChangeCallback)(LONG reason, void* context, LONG subject);

struct IEffectEngine : public IUnknown {
    // 3: input is a 1-D VT_R4 array of frames x channels interleaved values; the engine keeps
    // ownership of *output (or sets it to null for pass-through).
    virtual HRESULT STDMETHODCALLTYPE Process(SAFEARRAY* input, SAFEARRAY** output) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    // 5: the engine keeps ownership of the GUID array it returns.
    virtual HRESULT STDMETHODCALLTYPE GetPropertyPages(CAUUID* pages) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    // 7: sample rate in whole Hz, channels 0..8.
    virtual HRESULT STDMETHODCALLTYPE SetFormat(int sampleRate, int channels) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;
    // 13: the effect's name; the caller frees it with SysFreeString.
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
};

struct IEngineParameters : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(int* count) = 0;                   // 3
    virtual HRESULT STDMETHODCALLTYPE GetValue(int index, float* value) = 0;      // 4
    // 5: origin is -1 for a change from the host, 0 for a program load.
    virtual HRESULT STDMETHODCALLTYPE SetValue(int index, float value, int origin) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplay(int index, BSTR* text) = 0;      // 6
    virtual HRESULT STDMETHODCALLTYPE GetName(int index, BSTR* text) = 0;         // 7
    virtual HRESULT STDMETHODCALLTYPE GetLabel(int index, BSTR* text) = 0;        // 8
};

struct IEngineNotify : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Advise(EngineChangeCallback callback, void* context) = 0;  // 3
    virtual HRESULT STDMETHODCALLTYPE Unadvise() = 0;                                          // 4
};

struct IEnginePrograms : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(int* count) = 0;  // 3
    // 4: writes a zero-terminated name of at most maxChars characters (buffer holds maxChars+1).
    virtual HRESULT STDMETHODCALLTYPE GetName(int index, wchar_t* buffer, int maxChars) = 0;
    virtual HRESULT STDMETHODCALLTYPE Select(int index) = 0;     // 5
};

struct IEngineOption : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOption(int option) = 0;  // 3
};

}  // namespace brisane

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(brisane::IEffectEngine, 0x09BDA38D, 0x43EF, 0x4A17, 0x9A, 0x72, 0x57, 0xC2, 0xF9, 0xC0, 0x34, 0x83)
__CRT_UUID_DECL(brisane::IEngineParameters, 0x222E9B7B, 0x9B23, 0x4841, 0xAD, 0xAA, 0x9F, 0x69, 0x21, 0x98, 0x24, 0xA3)
__CRT_UUID_DECL(brisane::IEngineNotify, 0xAC902632, 0xFBEF, 0x41B9, 0xB7, 0xE5, 0x9F, 0x51, 0x64, 0x1F, 0x27, 0x30)
__CRT_UUID_DECL(brisane::IEnginePrograms, 0x237AC92B, 0xCA06, 0x4992, 0xB9, 0x08, 0xBD, 0x7F, 0xB6, 0x97, 0x69, 0xA1)
__CRT_UUID_DECL(brisane::IEngineOption, 0x2F9B843C, 0x3437, 0x49EA, 0xBB, 0x4A, 0x49, 0xD5, 0x4F, 0x21, 0x0C, 0xDD)
#endif
