#include "common/com/com_ptr.h"
#include "common/com/implements.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <stdexcept>

namespace {

LONG g_live = 0;

struct CountedPolicy {
    static constexpr bool interlocked = false;
    static void lockModule() { ++g_live; }
    static void unlockModule() { --g_live; }
};

enum class Construction { works, throws, failsLater };

class Sample : public com::implements<Sample, CountedPolicy, IPersist, IOleWindow> {
public:
    explicit Sample(Construction how = Construction::works) : m_How(how) {
        if (how == Construction::throws) throw std::runtime_error("no");
    }
    HRESULT finalConstruct() { return m_How == Construction::failsLater ? E_ABORT : S_OK; }
    STDMETHODIMP GetClassID(CLSID* id) override { return id ? (*id = CLSID_NULL, S_OK) : E_POINTER; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    Construction m_How;
};

// An outer object that counts what its inner part hands it.
struct Outer : IUnknown {
    LONG references = 1;
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return (ULONG)++references; }
    STDMETHODIMP_(ULONG) Release() override { return (ULONG)--references; }
};

TEST(ComObjects, EveryFailedCreationDeletesTheObject) {
    com::ptr<IPersist> persist;
    ASSERT_EQ(com::createInstance<Sample>(IID_IPersist, persist.putVoid()), S_OK);
    EXPECT_EQ(g_live, 1);
    com::ptr<IOleWindow> window;
    EXPECT_EQ(persist->QueryInterface(IID_IOleWindow, window.putVoid()), S_OK);
    window.reset();
    persist.reset();
    EXPECT_EQ(g_live, 0);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(com::createInstance<Sample>(IID_IDropTarget, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(com::createInstance<Sample>(IID_IPersist, &out, Construction::throws), E_OUTOFMEMORY);
    EXPECT_EQ(com::createInstance<Sample>(IID_IPersist, &out, Construction::failsLater), E_ABORT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(com::createInstance<Sample>(IID_IPersist, nullptr), E_POINTER);
    EXPECT_EQ(g_live, 0);
}

TEST(ComObjects, TheInnerPartOfAnAggregateCountsOnTheOuterObject) {
    Outer outer;
    com::ptr<IUnknown> inner;
    ASSERT_EQ(com::createAggregatable<Sample>(&outer, IID_IUnknown, inner.putVoid()), S_OK);
    EXPECT_EQ(outer.references, 1);
    IPersist* persist = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.references, 2);
    EXPECT_NE(static_cast<IUnknown*>(persist), inner.get());
    persist->Release();
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(g_live, 1);
    inner.reset();
    EXPECT_EQ(g_live, 0);
    // Without an outer object the plain form is made.
    ASSERT_EQ(com::createAggregatable<Sample>(nullptr, IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(persist->Release(), 0u);
    EXPECT_EQ(g_live, 0);
}

}  // namespace
