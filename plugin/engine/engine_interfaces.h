// The external effect engine as the plug-in sees it: a COM class known only by its class
// identifier and the interfaces of engine_interfaces.idl, whose generated header this wraps
// with the names the plug-in's code uses.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include "engine_interfaces_h.h"

namespace brisane {

using ::EngineChangeCallback;
using ::IEffectEngine;
using ::IEngineNotify;
using ::IEngineOption;
using ::IEngineParameters;
using ::IEnginePrograms;

using ::CLSID_EffectEngine;
using ::IID_IEffectEngine;
using ::IID_IEngineNotify;
using ::IID_IEngineOption;
using ::IID_IEngineParameters;
using ::IID_IEnginePrograms;

// The plug-in converts the class identifier from this text form.
static const char kEngineClsidText[] = "{DB9A9DC4-7638-4B0F-95A1-EF8C2FDCDD04}";

// Number of parameters every engine program carries.
constexpr int kEngineParameterCount = ENGINE_PARAMETER_COUNT;

}  // namespace brisane
