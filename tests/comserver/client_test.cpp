// Sonvex2 through the COM runtime after registration: creation by CLSID and ProgID, automation
// and class information from the registered type library.
#include <ocidl.h>

#include "tests/comserver/test_support.h"

using namespace sonvex_test;

namespace {

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureCom(); }
};

TEST_F(ClientTest, ProgIdsNameTheClasses) {
    struct Case {
        const wchar_t* progId;
        const CLSID* clsid;
    } cases[] = {{L"Sonvex.AudioResampler.1", &CLSID_CAudioResampler},
                 {L"Sonvex.AudioResampler", &CLSID_CAudioResampler},
                 {L"Sonvex.FourierTransform.2", &CLSID_CFourierTransform},
                 {L"Sonvex.FourierTransform", &CLSID_CFourierTransform}};
    for (const Case& c : cases) {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(c.progId, &clsid), S_OK) << c.progId;
        EXPECT_TRUE(IsEqualCLSID(clsid, *c.clsid)) << c.progId;
        Ptr<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()), S_OK)
            << c.progId;
    }
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_CFourierTransform, &progId), S_OK);
    EXPECT_STREQ(progId, L"Sonvex.FourierTransform.2");
    CoTaskMemFree(progId);
}

TEST_F(ClientTest, ResamplerWorksThroughTheRuntime) {
    Ptr<IAudioResampler> rs;
    ASSERT_EQ(CoCreateInstance(CLSID_CAudioResampler, nullptr, CLSCTX_INPROC_SERVER, IID_IAudioResampler, rs.putVoid()),
              S_OK);
    ASSERT_EQ(rs->Initialize(44100, 44100, 1, 1, 5), S_OK);
    SAFEARRAY* in = MakeFloatArray({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(rs->AddBlock(in), S_OK);
    SafeArrayDestroy(in);
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(rs->GetProcessedBlock(&out), S_OK);
    Block block = TakeBlock(out);
    ASSERT_EQ(block.values.size(), 8u + 3 - 5);
    EXPECT_EQ(block.values[0], 1.0f);
    EXPECT_EQ(block.values[5], 6.0f);
    Ptr<IDispatch> dispatch;
    EXPECT_EQ(rs->QueryInterface(IID_IDispatch, dispatch.putVoid()), E_NOINTERFACE);
}

TEST_F(ClientTest, FourierTransformByLateBinding) {
    Ptr<IDispatch> ft;
    ASSERT_EQ(CoCreateInstance(CLSID_CFourierTransform, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, ft.putVoid()),
              S_OK);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"InitFFT"), const_cast<LPOLESTR>(L"ForwardFFT")};
    DISPID ids[2] = {};
    ASSERT_EQ(ft->GetIDsOfNames(IID_NULL, names, 1, 0, &ids[0]), S_OK);
    ASSERT_EQ(ft->GetIDsOfNames(IID_NULL, names + 1, 1, 0, &ids[1]), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = SysAllocString(L"4");
    DISPPARAMS params{&arg, nullptr, 1, 0};
    ASSERT_EQ(ft->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    VariantClear(&arg);
    float samples[6] = {1, 1, 1, 1, 9, 9};
    V_VT(&arg) = VT_BYREF | VT_R4;
    V_R4REF(&arg) = samples;
    ASSERT_EQ(ft->Invoke(ids[1], IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_FLOAT_EQ(samples[0], 2.0f) << "4 ones scaled by 1/sqrt(4)";
    EXPECT_EQ(samples[2], 0.0f);
    EXPECT_EQ(samples[4], 0.0f);
}

TEST_F(ClientTest, RegisteredTypeLibraryAndClassInfo) {
    // The library carries LCID 0x0409 and is registered under it.
    Ptr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Sonvex, 1, 0, 0x0409, lib.put()), S_OK);
    Ptr<ITypeInfo> fromLib;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_CAudioResampler, fromLib.put()), S_OK);
    Ptr<IProvideClassInfo> provider;
    ASSERT_EQ(CoCreateInstance(CLSID_CAudioResampler, nullptr, CLSCTX_INPROC_SERVER, IID_IProvideClassInfo,
                               provider.putVoid()),
              S_OK);
    Ptr<ITypeInfo> info;
    ASSERT_EQ(provider->GetClassInfo(info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_CAudioResampler));
    info->ReleaseTypeAttr(attr);
}

}  // namespace
