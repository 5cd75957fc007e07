// IDispatch of CFourierTransform: names, argument checks and coercion, output pointers, results.
#include <cmath>
#include <initializer_list>

#include "tests/comserver/test_support.h"

using namespace sonvex_test;

namespace {

VARIANT Long(LONG v) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_I4;
    V_I4(&x) = v;
    return x;
}
VARIANT Short(SHORT v) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_I2;
    V_I2(&x) = v;
    return x;
}
VARIANT Float(float v) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_R4;
    V_R4(&x) = v;
    return x;
}
VARIANT Floats(float* p) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_BYREF | VT_R4;
    V_R4REF(&x) = p;
    return x;
}
VARIANT VariantRef(VARIANT* p) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&x) = p;
    return x;
}

// Arguments in parameter order; rgvarg holds them last first. Owns the VARIANTs.
class Args {
public:
    Args(std::initializer_list<VARIANT> args) : m_args(args.begin(), args.end()) {
        std::reverse(m_args.begin(), m_args.end());
        m_params.cArgs = (UINT)m_args.size();
        m_params.rgvarg = m_args.empty() ? nullptr : m_args.data();
    }
    ~Args() {
        for (VARIANT& v : m_args) VariantClear(&v);
    }
    void named(DISPID* ids, UINT count) {
        m_params.rgdispidNamedArgs = ids;
        m_params.cNamedArgs = count;
    }
    DISPPARAMS* get() { return &m_params; }

private:
    std::vector<VARIANT> m_args;
    DISPPARAMS m_params{};
};

VARIANT Text(const wchar_t* s) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_BSTR;
    V_BSTR(&x) = SysAllocString(s);
    return x;
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCom();
        ASSERT_TRUE(Server::get().ready());
        ASSERT_EQ(Server::get().create(CLSID_CFourierTransform, &m_transform), S_OK);
        ASSERT_EQ(m_transform->QueryInterface(IID_IDispatch, m_dispatch.putVoid()), S_OK);
    }
    HRESULT invoke(DISPID id, Args& args, UINT* argErr = nullptr, VARIANT* result = nullptr) {
        return m_dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, args.get(), result, nullptr, argErr);
    }
    Ptr<IFourierTransform> m_transform;
    Ptr<IDispatch> m_dispatch;
};

TEST_F(DispatchTest, NamesMapToFixedIdsWithoutRegardToCase) {
    const wchar_t* names[] = {L"CalcWindow", L"POINTWISEMULT", L"getmagnitudevector", L"GetPhaseVector",
                              L"InitFFT",    L"freefft",       L"forwardfft",         L"InverseFft"};
    for (int i = 0; i < 8; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        DISPID id = -1;
        EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK) << i;
        EXPECT_EQ(id, i + 1);
    }
    // Parameter names have no ids: the second name fails after the first was written.
    LPOLESTR pair[] = {const_cast<LPOLESTR>(L"ForwardFFT"), const_cast<LPOLESTR>(L"pfSamples")};
    DISPID ids[2] = {-1, 12345};
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, pair, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 7);
    EXPECT_EQ(ids[1], 12345) << "entries from the failing name on are not written";
    LPOLESTR unknown = const_cast<LPOLESTR>(L"ForwardFFTs");
    EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchTest, CallShapeErrorsComeInTheirOrder) {
    EXPECT_EQ(m_dispatch->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_BADVARTYPE);
    Args five{Long(1), Long(2), Long(3), Long(4), Long(5)};
    EXPECT_EQ(invoke(9, five), DISP_E_BADPARAMCOUNT) << "too many arguments is checked before the DISPID";
    DISPID bogus = 3;
    five.named(&bogus, 1);
    EXPECT_EQ(invoke(5, five), DISP_E_BADPARAMCOUNT);
    Args none{};
    EXPECT_EQ(invoke(9, none), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(0, none), DISP_E_MEMBERNOTFOUND);
    Args one{Long(1)};
    EXPECT_EQ(invoke(6, one), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(1, one), DISP_E_BADPARAMCOUNT);
    DISPID named = 0;
    one.named(&named, 1);
    EXPECT_EQ(invoke(5, one), DISP_E_NONAMEDARGS);
    DISPID put = DISPID_PROPERTYPUT;
    one.named(&put, 1);
    EXPECT_EQ(invoke(5, one), S_OK) << "a single DISPID_PROPERTYPUT is accepted";
}

TEST_F(DispatchTest, ScalarsAreCoercedAndMismatchesNamed) {
    UINT argErr = 99;
    Args digits{Text(L"8")};
    VARIANT result;
    VariantInit(&result);
    V_VT(&result) = VT_I4;
    V_I4(&result) = 77;
    ASSERT_EQ(invoke(5, digits, &argErr, &result), S_OK);
    EXPECT_EQ(V_VT(&result), VT_EMPTY) << "no method yields a value";
    EXPECT_EQ(argErr, 99u);
    // The string reached InitFFT as 8: a forward transform now writes exactly N+2 = 10 floats.
    float samples[12];
    for (int i = 0; i < 12; ++i) samples[i] = (float)(i + 1);
    Args forward{Floats(samples)};
    ASSERT_EQ(invoke(7, forward), S_OK);
    EXPECT_FLOAT_EQ(samples[0], 36.0f / std::sqrt(8.0f)) << "the DC bin of 1..8 scaled by 1/sqrt(8)";
    EXPECT_EQ(samples[1], 0.0f);
    EXPECT_EQ(samples[10], 11.0f);
    EXPECT_EQ(samples[11], 12.0f);

    Args letters{Text(L"abc")};
    EXPECT_EQ(invoke(5, letters, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);

    // CalcWindow(niWindow, pfWindow, nLength, fKaiserAlpha) with its scalars given as other types.
    float viaDispatch[4] = {9, 9, 9, 9}, direct[4] = {9, 9, 9, 9};
    VARIANT length;
    VariantInit(&length);
    V_VT(&length) = VT_R8;
    V_R8(&length) = 4.0;
    Args window{Text(L"2"), Floats(viaDispatch), length, Long(3)};
    ASSERT_EQ(invoke(1, window, &argErr), S_OK);
    ASSERT_EQ(m_transform->CalcWindow(2, direct, 4, 3.0f), S_OK);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viaDispatch[i], direct[i]) << i;
    EXPECT_FLOAT_EQ(direct[2], 1.0f);

    // Pointers never come from a conversion: a float by value is a mismatch at its own index.
    Args byValue{Short(2), Float(0.5f), Long(4), Float(0)};
    argErr = 99;
    EXPECT_EQ(invoke(1, byValue, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    Args badLength{Short(2), Floats(viaDispatch), Text(L"four"), Float(0)};
    EXPECT_EQ(invoke(1, badLength, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
}

TEST_F(DispatchTest, FailedVariantCopyIsReturnedAsItCame) {
    VARIANT broken;
    VariantInit(&broken);
    V_VT(&broken) = (VARTYPE)0x7F;  // no such type: VariantCopy refuses it
    UINT argErr = 99;
    Args args{broken};
    HRESULT hr = invoke(5, args, &argErr);
    EXPECT_EQ(hr, DISP_E_BADVARTYPE);
    EXPECT_EQ(argErr, 99u) << "not reported as a type mismatch";
    V_VT(&args.get()->rgvarg[0]) = VT_EMPTY;
}

TEST_F(DispatchTest, OutputPointersTakeArraysOrOneVariant) {
    float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, out[5] = {0, 0, 0, 0, -1};
    UINT argErr = 99;
    Args arrays{Floats(a), Floats(b), Floats(out), Long(4)};
    ASSERT_EQ(invoke(2, arrays, &argErr), S_OK);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(out[3], 32.0f);
    EXPECT_EQ(out[4], -1.0f);

    // A VARIANT holds one float: with more to write the call is refused and nothing is written.
    VARIANT single;
    VariantInit(&single);
    V_VT(&single) = VT_I4;
    V_I4(&single) = 42;
    Args tooMany{Floats(a), Floats(b), VariantRef(&single), Long(4)};
    EXPECT_EQ(invoke(2, tooMany, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(V_VT(&single), VT_I4);
    EXPECT_EQ(V_I4(&single), 42);
    Args one{Floats(a), Floats(b), VariantRef(&single), Long(1)};
    ASSERT_EQ(invoke(2, one, &argErr), S_OK);
    EXPECT_EQ(V_VT(&single), VT_R4);
    EXPECT_EQ(V_R4(&single), 5.0f);

    float complexValues[6] = {3, 4, 0, 0, -1, 0};
    Args magnitudesTooMany{Floats(complexValues), VariantRef(&single), Long(3)};
    EXPECT_EQ(invoke(3, magnitudesTooMany, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    Args magnitudeOne{Floats(complexValues), VariantRef(&single), Long(1)};
    ASSERT_EQ(invoke(3, magnitudeOne, &argErr), S_OK);
    EXPECT_FLOAT_EQ(V_R4(&single), 5.0f);

    // Any other form of output is refused.
    argErr = 99;
    Args scalarOut{Floats(complexValues), Float(0), Long(1)};
    EXPECT_EQ(invoke(4, scalarOut, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    VARIANT longRef;
    LONG target = 0;
    VariantInit(&longRef);
    V_VT(&longRef) = VT_BYREF | VT_I4;
    V_I4REF(&longRef) = &target;
    Args wrongRef{Floats(complexValues), longRef, Long(1)};
    EXPECT_EQ(invoke(4, wrongRef, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    V_VT(&wrongRef.get()->rgvarg[1]) = VT_EMPTY;

    float phases[3] = {9, 9, 9};
    Args phaseArrays{Floats(complexValues), Floats(phases), Long(3)};
    ASSERT_EQ(invoke(4, phaseArrays, &argErr), S_OK);
    EXPECT_NEAR(phases[0], std::atan2(4.0f, 3.0f), 1e-6f);
    EXPECT_EQ(phases[1], 0.0f);
    EXPECT_FLOAT_EQ(phases[2], 3.1415927f);
}

TEST_F(DispatchTest, TypeInformationComesFromTheModule) {
    UINT count = 7;
    EXPECT_EQ(m_dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ASSERT_EQ(m_dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ptr<ITypeInfo> info;
    EXPECT_EQ(m_dispatch->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
    EXPECT_EQ(m_dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);
    ASSERT_EQ(m_dispatch->GetTypeInfo(0, 0x0409, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IFourierTransform));
    info->ReleaseTypeAttr(attr);
    // The names of the type information resolve to the same ids as GetIDsOfNames.
    LPOLESTR name = const_cast<LPOLESTR>(L"GetPhaseVector");
    MEMBERID id = 0;
    ASSERT_EQ(info->GetIDsOfNames(&name, 1, &id), S_OK);
    EXPECT_EQ(id, 4);
}

}  // namespace
