// The recording test engine: a COM in-process server registered under the effect engine's
// class identifier. It records every call it receives, in order and with its arguments, and
// behaves as its control block says. Tests load the same DLL that COM loads and reach the
// control block through the exported RecordingEngineControl.
#pragma once
#include <windows.h>

namespace recording {

enum Method : int {
    kQueryInterface,  // index: which engine interface (InterfaceId)
    kProcess,         // index: element count of the input (-1 for a null array)
    kGetPropertyPages,
    kSetFormat,  // index: sample rate, arg: channels
    kGetName,
    kParamsGetCount,
    kGetValue,  // index
    kSetValue,  // index, value, arg: origin
    kGetDisplay,
    kGetParamName,
    kGetLabel,
    kAdvise,
    kUnadvise,
    kProgramsGetCount,
    kProgramsGetName,  // index, arg: maxChars
    kSelect,           // index
    kSetOption,        // index: option
    // The recording property page (the first page the engine lists).
    kPageCreated,
    kPageSetObjects,   // index: object count
    kPageGetPageInfo,
    kPageActivate,     // index: width, arg: height of the rectangle, value: the modal flag
    kPageDeactivate,
    kPageOther,        // any other IPropertyPage method
};

enum InterfaceId : int { kEffectEngine, kParameters, kNotify, kPrograms, kOption };

enum ProcessMode : int {
    kProcessNull,    // *output = null (pass-through)
    kProcessEcho,    // a copy of the input
    kProcessShort,   // resultLength values 1000, 1001, ...
    kProcessLong,    // input count + resultLength values 1000, 1001, ...
    kProcessFilter,  // a cascade of filterStages biquads per channel over the interleaved block
    kProcessDoubles, // an array of doubles (not something the plug-in can read as floats)
};

struct Call {
    int method;
    int index;
    int arg;
    float value;
};

constexpr int kMaxCalls = 16384;
constexpr int kEngineValues = 128;
constexpr int kMaxRecordedInput = 4096;

struct Control {
    // Configuration, read by the engine at every call.
    int programCount;
    wchar_t programNames[16][40];  // GetName copies at most maxChars characters of these
    float programValues[16][kEngineValues];
    int parameterCount;             // what IEngineParameters::GetCount answers
    wchar_t parameterName[64];      // GetName, GetLabel and GetDisplay answer these texts
    wchar_t parameterLabel[64];
    wchar_t parameterDisplay[64];
    wchar_t engineName[96];
    bool nullTexts;                 // the three parameter texts and the name answer null
    int processMode;
    int resultLength;
    int filterStages;
    int propertyPageCount;
    bool offer[5];                  // indexed by InterfaceId; the main interface is always offered
    bool failCreate;                // CreateInstance answers E_FAIL
    bool recordCalls;

    // State.
    float current[kEngineValues];   // the engine's parameter values
    int selected;
    void* callback;                 // EngineChangeCallback from Advise
    void* context;
    LONG liveObjects;
    LONG references;                // over every interface of every live engine object
    LONG serverLocks;
    int lastInputCount;
    int lastInputDims;
    int lastInputType;
    int lastInputLowerBound;
    float lastInput[kMaxRecordedInput];
    LONGLONG processTicks;          // QueryPerformanceCounter ticks spent inside Process
    LONGLONG processCalls;

    // The recording property page: its configuration and what it saw.
    int pageWidth;
    int pageHeight;
    bool pageFailActivate;   // Activate answers E_FAIL and makes no window
    LONG pageLiveObjects;
    LONG pageReferences;
    INT_PTR pageParent;      // the window given to the last Activate
    RECT pageActivateRect;
    INT_PTR pageWindow;      // the page's own window while active
    void* pageObject;        // the object given to the last SetObjects(1)

    int callCount;
    int droppedCalls;
    Call calls[kMaxCalls];
};

// {1A2B3C4D-0000-0000-0102-030405060708}: the page class the engine lists first.
static const CLSID CLSID_RecordingPage = {0x1A2B3C4D, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};

typedef Control*(WINAPI* ControlProc)();

}  // namespace recording
