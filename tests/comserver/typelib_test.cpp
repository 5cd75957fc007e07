// The type library embedded in Sonvex2.dll, read back with LoadTypeLib and compared item by item.
#include <string>

#include "tests/comserver/test_support.h"

using namespace sonvex_test;

namespace {

std::wstring Str(BSTR b) {
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    SysFreeString(b);
    return s;
}

struct Documentation {
    std::wstring name, help;
    bool hasHelpFile = false;
};
Documentation Describe(ITypeLib* lib, INT index) {
    BSTR name = nullptr, help = nullptr, file = nullptr;
    Documentation d;
    if (SUCCEEDED(lib->GetDocumentation(index, &name, &help, nullptr, &file))) {
        d.name = Str(name);
        d.help = Str(help);
        d.hasHelpFile = file && SysStringLen(file) > 0;
        SysFreeString(file);
    }
    return d;
}

struct Method {
    const wchar_t* name;
    MEMBERID id;
    std::vector<const wchar_t*> params;
    std::vector<VARTYPE> types;        // VT_PTR entries point to the type in pointee
    std::vector<USHORT> flags;         // PARAMFLAG_FIN / PARAMFLAG_FOUT
};

class TypeLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCom();
        ASSERT_EQ(LoadTypeLibEx(SONVEX2_PATH, REGKIND_NONE, m_lib.put()), S_OK);
    }

    void CheckMethods(ITypeInfo* info, const std::vector<Method>& methods, int firstSlot) {
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        const WORD count = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        ASSERT_EQ(count, methods.size());
        for (UINT i = 0; i < methods.size(); ++i) {
            const Method& m = methods[i];
            FUNCDESC* f = nullptr;
            ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
            EXPECT_EQ(f->memid, m.id) << i;
            EXPECT_EQ(f->oVft, (SHORT)((firstSlot + (int)i) * (int)sizeof(void*))) << i;
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT) << i;
            EXPECT_EQ(f->invkind, INVOKE_FUNC);
            ASSERT_EQ((size_t)f->cParams, m.params.size()) << i;
            BSTR names[8] = {};
            UINT got = 0;
            ASSERT_EQ(info->GetNames(f->memid, names, 8, &got), S_OK);
            ASSERT_EQ(got, 1 + m.params.size());
            EXPECT_EQ(Str(names[0]), m.name);
            for (size_t p = 0; p < m.params.size(); ++p) {
                EXPECT_EQ(Str(names[p + 1]), m.params[p]) << m.name;
                const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
                VARTYPE vt = t.vt;
                if (vt == VT_PTR) vt = VT_BYREF | t.lptdesc->vt;
                if (vt == VT_SAFEARRAY) vt = VT_ARRAY | t.lptdesc->vt;
                if (vt == (VT_BYREF | VT_SAFEARRAY)) vt = VT_BYREF | VT_ARRAY | t.lptdesc->lptdesc->vt;
                EXPECT_EQ(vt, m.types[p]) << m.name << " " << p;
                EXPECT_EQ(f->lprgelemdescParam[p].paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT), m.flags[p])
                    << m.name << " " << p;
            }
            BSTR help = nullptr;
            ASSERT_EQ(info->GetDocumentation(f->memid, nullptr, &help, nullptr, nullptr), S_OK);
            EXPECT_EQ(Str(help), std::wstring(L"method ") + m.name);
            info->ReleaseFuncDesc(f);
        }
    }

    Ptr<ITypeLib> m_lib;
};

TEST_F(TypeLibTest, LibraryAttributes) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(m_lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_Sonvex));
    EXPECT_EQ(attr->lcid, 0x0409u);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    m_lib->ReleaseTLibAttr(attr);
    Documentation d = Describe(m_lib.get(), -1);
    EXPECT_EQ(d.name, L"Sonvex");
    EXPECT_EQ(d.help, L"Sonvex 2.0 Type Library");
    EXPECT_FALSE(d.hasHelpFile);
}

TEST_F(TypeLibTest, TypeDescriptionsInOrder) {
    struct Expected {
        TYPEKIND kind;
        const wchar_t* name;
        const GUID* guid;
        WORD major, minor;
        const wchar_t* help;
    } expected[] = {
        {TKIND_COCLASS, L"CAudioResampler", &CLSID_CAudioResampler, 1, 0, L"AudioResampler Class"},
        {TKIND_INTERFACE, L"IAudioResampler", &IID_IAudioResampler, 0, 0, L"IAudioResampler Interface"},
        {TKIND_COCLASS, L"CFourierTransform", &CLSID_CFourierTransform, 2, 0, L"FourierTransform Class"},
        {TKIND_DISPATCH, L"IFourierTransform", &IID_IFourierTransform, 0, 0, L"IFourierTransform Interface"},
    };
    ASSERT_EQ(m_lib->GetTypeInfoCount(), 4u);
    for (UINT i = 0; i < 4; ++i) {
        const Expected& e = expected[i];
        Ptr<ITypeInfo> info;
        ASSERT_EQ(m_lib->GetTypeInfo(i, info.put()), S_OK);
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
        EXPECT_EQ(attr->typekind, e.kind) << i;
        EXPECT_TRUE(IsEqualGUID(attr->guid, *e.guid)) << i;
        EXPECT_EQ(attr->wMajorVerNum, e.major) << i;
        EXPECT_EQ(attr->wMinorVerNum, e.minor) << i;
        const WORD flags = attr->wTypeFlags;
        info->ReleaseTypeAttr(attr);
        Documentation d = Describe(m_lib.get(), (INT)i);
        EXPECT_EQ(d.name, e.name);
        EXPECT_EQ(d.help, e.help);
        if (e.kind == TKIND_COCLASS) {
            EXPECT_TRUE(flags & TYPEFLAG_FCANCREATE) << i;
            INT implFlags = 0;
            ASSERT_EQ(info->GetImplTypeFlags(0, &implFlags), S_OK);
            EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);
        } else if (i == 1) {
            EXPECT_FALSE(flags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE)) << flags;
        } else {
            EXPECT_TRUE(flags & TYPEFLAG_FDUAL);
            EXPECT_TRUE(flags & TYPEFLAG_FDISPATCHABLE);
            // The vtable side of the dual interface is the one marked for automation.
            HREFTYPE ref = 0;
            Ptr<ITypeInfo> vtable;
            ASSERT_EQ(info->GetRefTypeOfImplType(-1, &ref), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(ref, vtable.put()), S_OK);
            ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
            EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
            EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) << attr->wTypeFlags;
            EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL) << attr->wTypeFlags;
            vtable->ReleaseTypeAttr(attr);
        }
    }
}

TEST_F(TypeLibTest, AudioResamplerMethods) {
    Ptr<ITypeInfo> info;
    ASSERT_EQ(m_lib->GetTypeInfoOfGuid(IID_IAudioResampler, info.put()), S_OK);
    // Derives from IUnknown.
    HREFTYPE ref = 0;
    Ptr<ITypeInfo> base;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(info->GetRefTypeInfo(ref, base.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IUnknown));
    base->ReleaseTypeAttr(attr);
    const USHORT in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT;
    CheckMethods(info.get(),
                 {{L"Initialize", 0x60010000,
                   {L"nOrigRate", L"nNewRate", L"nOrigChannels", L"nNewChannels", L"nKernelLength"},
                   {VT_I4, VT_I4, VT_I2, VT_I2, VT_I2}, {in, in, in, in, in}},
                  {L"AddBlock", 0x60010001, {L"psaInput"}, {VT_ARRAY | VT_R4}, {in}},
                  {L"GetProcessedBlock", 0x60010002, {L"ppsaOutput"}, {VT_BYREF | VT_ARRAY | VT_R4}, {out}},
                  {L"Reset", 0x60010003, {}, {}, {}}},
                 3);
}

TEST_F(TypeLibTest, FourierTransformMethods) {
    Ptr<ITypeInfo> dispatch, info;
    ASSERT_EQ(m_lib->GetTypeInfoOfGuid(IID_IFourierTransform, dispatch.put()), S_OK);
    // The vtable side of the dual interface.
    HREFTYPE ref = 0;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &ref), S_OK);
    ASSERT_EQ(dispatch->GetRefTypeInfo(ref, info.put()), S_OK);
    Ptr<ITypeInfo> base;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(info->GetRefTypeInfo(ref, base.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IDispatch));
    base->ReleaseTypeAttr(attr);
    const USHORT in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT;
    const VARTYPE pf = VT_BYREF | VT_R4;
    CheckMethods(info.get(),
                 {{L"CalcWindow", 1, {L"niWindow", L"pfWindow", L"nLength", L"fKaiserAlpha"}, {VT_I2, pf, VT_I4, VT_R4},
                   {in, in, in, in}},
                  {L"PointWiseMult", 2, {L"pfVector1", L"pfVector2", L"pfResult", L"nLength"}, {pf, pf, pf, VT_I4},
                   {in, in, out, in}},
                  {L"GetMagnitudeVector", 3, {L"pfComplex", L"pfMagnitudes", L"nBins"}, {pf, pf, VT_I4}, {in, out, in}},
                  {L"GetPhaseVector", 4, {L"pfComplex", L"pfPhases", L"nBins"}, {pf, pf, VT_I4}, {in, out, in}},
                  {L"InitFFT", 5, {L"nLength"}, {VT_I4}, {in}},
                  {L"FreeFFT", 6, {}, {}, {}},
                  {L"ForwardFFT", 7, {L"pfSamples"}, {pf}, {in}},
                  {L"InverseFFT", 8, {L"pfSamples"}, {pf}, {in}}},
                 7);
}

}  // namespace
