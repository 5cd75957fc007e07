// Entry points, class objects, lock counting, interface sets and aggregation of Sonvex2.dll,
// reached through its exports.
#include <ocidl.h>

#include "tests/comserver/test_support.h"

using namespace sonvex_test;

namespace {

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCom();
        ASSERT_TRUE(server().ready()) << "Sonvex2.dll not loaded from " << "SONVEX2_PATH";
        // Every test leaves nothing alive behind it.
        ASSERT_EQ(server().canUnloadNow(), S_OK);
    }
    void TearDown() override { EXPECT_EQ(server().canUnloadNow(), S_OK) << "a reference or lock leaked"; }
    static Server& server() { return Server::get(); }
    Ptr<IAudioResampler> m_resampler;
};

// An outer object that aggregates a Sonvex2 object and counts its own references.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        // Everything else is the inner object's.
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
    STDMETHODIMP_(ULONG) Release() override { return --count; }
    ULONG count = 1;
    IUnknown* inner = nullptr;  // non-delegating unknown of the aggregated object
};

TEST_F(ModuleTest, ClassObjectReferencesAndLockServerHoldTheModule) {
    Ptr<IClassFactory> first, second;
    ASSERT_EQ(server().getClassObject(CLSID_CAudioResampler, IID_IClassFactory, first.putVoid()), S_OK);
    EXPECT_EQ(server().canUnloadNow(), S_FALSE);
    ASSERT_EQ(server().getClassObject(CLSID_CAudioResampler, IID_IClassFactory, second.putVoid()), S_OK);
    EXPECT_EQ(first.get(), second.get()) << "the class object is cached";
    first.reset();
    EXPECT_EQ(server().canUnloadNow(), S_FALSE) << "the second reference still holds the module";
    second.reset();
    EXPECT_EQ(server().canUnloadNow(), S_OK);

    Ptr<IClassFactory> factory;
    ASSERT_EQ(server().getClassObject(CLSID_CFourierTransform, IID_IClassFactory, factory.putVoid()), S_OK);
    IClassFactory* raw = factory.get();
    factory.reset();  // the table's own reference keeps the object; the module is free again
    EXPECT_EQ(server().canUnloadNow(), S_OK);
    ASSERT_EQ(server().getClassObject(CLSID_CFourierTransform, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(factory.get(), raw);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(server().canUnloadNow(), S_FALSE) << "LockServer(TRUE) holds the module";
    ASSERT_EQ(server().getClassObject(CLSID_CFourierTransform, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(server().canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, LiveObjectsHoldTheModuleUntilTheirLastRelease) {
    Ptr<IAudioResampler> resampler;
    Ptr<IFourierTransform> transform;
    ASSERT_EQ(server().create(CLSID_CAudioResampler, &resampler), S_OK);
    ASSERT_EQ(server().create(CLSID_CFourierTransform, &transform), S_OK);
    EXPECT_EQ(server().canUnloadNow(), S_FALSE);
    resampler.reset();
    EXPECT_EQ(server().canUnloadNow(), S_FALSE);
    transform->AddRef();
    EXPECT_EQ(transform->Release(), 1u);
    transform.reset();
    EXPECT_EQ(server().canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, ClassObjectsAndResamplerCountAcrossThreads) {
    // Threads racing for class objects all get the one cached object, and interlocked counts
    // come back to where they started.
    struct Shared {
        Server* server;
        IAudioResampler* resampler;
        IUnknown* factories[8];
    } shared{&server(), nullptr, {}};
    ASSERT_EQ(server().create(CLSID_CAudioResampler, &m_resampler), S_OK);
    shared.resampler = m_resampler.get();
    struct Worker {
        Shared* shared;
        int index;
        static DWORD WINAPI run(void* p) {
            Worker* w = static_cast<Worker*>(p);
            const CLSID& clsid = (w->index % 2) ? CLSID_CFourierTransform : CLSID_CAudioResampler;
            w->shared->server->getClassObject(clsid, IID_IUnknown, reinterpret_cast<void**>(&w->shared->factories[w->index]));
            for (int i = 0; i < 20000; ++i) {
                w->shared->resampler->AddRef();
                w->shared->resampler->Release();
            }
            return 0;
        }
    };
    Worker workers[8];
    HANDLE threads[8];
    for (int i = 0; i < 8; ++i) {
        workers[i] = {&shared, i};
        threads[i] = CreateThread(nullptr, 0, &Worker::run, &workers[i], 0, nullptr);
        ASSERT_NE(threads[i], nullptr);
    }
    WaitForMultipleObjects(8, threads, TRUE, INFINITE);
    for (HANDLE h : threads) CloseHandle(h);
    for (int i = 0; i < 8; ++i) {
        ASSERT_NE(shared.factories[i], nullptr);
        EXPECT_EQ(shared.factories[i], shared.factories[i % 2]) << i;
    }
    for (IUnknown* f : shared.factories) f->Release();
    m_resampler->AddRef();
    EXPECT_EQ(m_resampler->Release(), 1u);
    m_resampler.reset();
}

TEST_F(ModuleTest, EntryPointAndFactoryErrors) {
    EXPECT_EQ(server().getClassObject(CLSID_CAudioResampler, IID_IClassFactory, nullptr), E_POINTER);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(server().getClassObject(IID_IAudioResampler, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(server().getClassObject(CLSID_CAudioResampler, IID_IDispatch, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);

    Ptr<IClassFactory> factory;
    ASSERT_EQ(server().getClassObject(CLSID_CAudioResampler, IID_IClassFactory, factory.putVoid()), S_OK);
    Ptr<IUnknown> unknown;
    ASSERT_EQ(server().getClassObject(CLSID_CAudioResampler, IID_IUnknown, unknown.putVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(factory.get()), unknown.get());
    unknown.reset();
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IAudioResampler, nullptr), E_POINTER);
    Outer outer;
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IAudioResampler, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    // An interface the object lacks: E_NOINTERFACE and the new object is gone again.
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    factory.reset();
    EXPECT_EQ(server().canUnloadNow(), S_OK);
    EXPECT_EQ(outer.count, 1u);
}

TEST_F(ModuleTest, InterfaceSetsAndIdentity) {
    Ptr<IFourierTransform> transform;
    ASSERT_EQ(server().create(CLSID_CFourierTransform, &transform), S_OK);
    Ptr<IUnknown> unknown1, unknown2;
    Ptr<IDispatch> dispatch;
    Ptr<IProvideClassInfo> classInfo;
    ASSERT_EQ(transform->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    EXPECT_EQ(static_cast<IDispatch*>(transform.get()), dispatch.get()) << "IDispatch is the dual interface itself";
    ASSERT_EQ(transform->QueryInterface(IID_IProvideClassInfo, classInfo.putVoid()), S_OK);
    ASSERT_EQ(transform->QueryInterface(IID_IUnknown, unknown1.putVoid()), S_OK);
    ASSERT_EQ(classInfo->QueryInterface(IID_IUnknown, unknown2.putVoid()), S_OK);
    EXPECT_EQ(unknown1.get(), unknown2.get());
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(transform->QueryInterface(IID_IAudioResampler, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(transform->QueryInterface(IID_IPersist, &p), E_NOINTERFACE);
    EXPECT_EQ(transform->QueryInterface(IID_IDispatch, nullptr), E_POINTER);

    Ptr<IAudioResampler> resampler;
    ASSERT_EQ(server().create(CLSID_CAudioResampler, &resampler), S_OK);
    Ptr<IProvideClassInfo> resamplerInfo;
    EXPECT_EQ(resampler->QueryInterface(IID_IProvideClassInfo, resamplerInfo.putVoid()), S_OK);
    EXPECT_EQ(resampler->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE) << "the resampler has no automation";
    EXPECT_EQ(resampler->QueryInterface(IID_IFourierTransform, &p), E_NOINTERFACE);
    unknown1.reset();
    ASSERT_EQ(resamplerInfo->QueryInterface(IID_IUnknown, unknown1.putVoid()), S_OK);
    ASSERT_EQ(resampler->QueryInterface(IID_IUnknown, unknown2.putVoid()), S_OK);
    EXPECT_EQ(unknown1.get(), unknown2.get());
}

template <class I>
void CheckAggregation(Server& server, REFCLSID clsid, REFIID iid) {
    Outer outer;
    Ptr<IClassFactory> factory;
    ASSERT_EQ(server.getClassObject(clsid, IID_IClassFactory, factory.putVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    factory.reset();
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_EQ(outer.count, 1u) << "creating the inner object does not count on the outer";

    I* inner = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(iid, reinterpret_cast<void**>(&inner)), S_OK);
    EXPECT_EQ(outer.count, 2u) << "the inner interface's reference is the outer object's";
    inner->AddRef();
    EXPECT_EQ(outer.count, 3u);
    inner->Release();
    EXPECT_EQ(outer.count, 2u);

    IUnknown* viaInner = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInner)), S_OK);
    EXPECT_EQ(viaInner, static_cast<IUnknown*>(&outer)) << "QueryInterface on the inner part delegates";
    viaInner->Release();
    IProvideClassInfo* info = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&info)), S_OK);
    EXPECT_EQ(outer.count, 3u);
    info->Release();
    inner->Release();
    EXPECT_EQ(outer.count, 1u);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "the aggregated object is alive";

    IUnknown* self = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)), S_OK);
    EXPECT_EQ(self, outer.inner) << "the non-delegating unknown answers IUnknown with itself";
    EXPECT_EQ(self->Release(), 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ModuleTest, AggregatedObjectsDelegateToTheOuterUnknown) {
    CheckAggregation<IAudioResampler>(server(), CLSID_CAudioResampler, IID_IAudioResampler);
    CheckAggregation<IFourierTransform>(server(), CLSID_CFourierTransform, IID_IFourierTransform);
}

TEST_F(ModuleTest, AggregatedObjectsWork) {
    // The contained part runs the class's own methods.
    Outer outer;
    Ptr<IClassFactory> factory;
    ASSERT_EQ(server().getClassObject(CLSID_CFourierTransform, IID_IClassFactory, factory.putVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    factory.reset();
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"InverseFFT");
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 8);
    dispatch->Release();
    EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST_F(ModuleTest, ProvideClassInfoGivesTheCoclass) {
    struct Case {
        const CLSID* clsid;
        const IID* iid;
    } cases[] = {{&CLSID_CAudioResampler, &IID_IAudioResampler}, {&CLSID_CFourierTransform, &IID_IFourierTransform}};
    for (const Case& c : cases) {
        Ptr<IUnknown> object;
        ASSERT_EQ(server().create(*c.clsid, &object), S_OK);
        Ptr<IProvideClassInfo> provider;
        ASSERT_EQ(object->QueryInterface(IID_IProvideClassInfo, provider.putVoid()), S_OK);
        EXPECT_EQ(provider->GetClassInfo(nullptr), E_POINTER);
        for (int round = 0; round < 2; ++round) {  // the first loads, the second comes from the cache
            Ptr<ITypeInfo> info;
            ASSERT_EQ(provider->GetClassInfo(info.put()), S_OK);
            ASSERT_TRUE(info);
            TYPEATTR* attr = nullptr;
            ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
            EXPECT_EQ(attr->typekind, TKIND_COCLASS);
            EXPECT_TRUE(IsEqualGUID(attr->guid, *c.clsid));
            EXPECT_EQ(attr->cImplTypes, 1);
            info->ReleaseTypeAttr(attr);
            HREFTYPE ref = 0;
            Ptr<ITypeInfo> implemented;
            ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
            ASSERT_EQ(info->GetRefTypeInfo(ref, implemented.put()), S_OK);
            ASSERT_EQ(implemented->GetTypeAttr(&attr), S_OK);
            EXPECT_TRUE(IsEqualGUID(attr->guid, *c.iid));
            implemented->ReleaseTypeAttr(attr);
        }
    }
}

}  // namespace
