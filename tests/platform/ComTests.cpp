// COM apartments, class creation, GUIDs, task memory and the free-threaded marshaler.

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <thread>

#include "StandinFixture.h"

namespace {

using testing_support::StandinTest;

class ComTest : public StandinTest {};

TEST_F(ComTest, InitialisingAgainCountsAndAChangedModeIsRefused) {
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    CoUninitialize();
}

TEST_F(ComTest, CreatingAClassNeedsComAndARegisteredClass) {
    const CLSID unknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    IUnknown* pUnknown = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(unknownClass, nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                               reinterpret_cast<void**>(&pUnknown)));
    EXPECT_EQ(nullptr, pUnknown);

    // With no thread of the process in an apartment, COM cannot be used.
    CoUninitialize();
    HRESULT hrOther = S_OK;
    std::thread([&]() {
        hrOther = CoCreateInstance(unknownClass, nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                                   reinterpret_cast<void**>(&pUnknown));
    }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, hrOther);
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));

    // A thread that never initialised COM uses the process's multithreaded apartment.
    std::thread([&]() {
        hrOther = CoCreateInstance(unknownClass, nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                                   reinterpret_cast<void**>(&pUnknown));
    }).join();
    EXPECT_EQ(REGDB_E_CLASSNOTREG, hrOther);
}

TEST_F(ComTest, GuidsAreRandomVersionFour) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        GUID guid;
        ASSERT_EQ(S_OK, CoCreateGuid(&guid));
        EXPECT_EQ(0x4000, guid.Data3 & 0xF000);
        EXPECT_EQ(0x80, guid.Data4[0] & 0xC0);
        seen.insert(std::string(reinterpret_cast<const char*>(&guid), sizeof(guid)));
    }
    EXPECT_EQ(100u, seen.size());
}

TEST_F(ComTest, TaskMemoryIsCountedAndAPropVariantBlobIsFreedWithIt) {
    void* pBlock = CoTaskMemAlloc(48);
    ASSERT_NE(nullptr, pBlock);
    EXPECT_EQ(1u, standin::Live().taskMemBlocks);
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_BLOB;
    variant.blob.cbSize = 48;
    variant.blob.pBlobData = static_cast<BYTE*>(pBlock);
    EXPECT_EQ(S_OK, PropVariantClear(&variant));
    EXPECT_EQ(VT_EMPTY, variant.vt);
    EXPECT_EQ(0u, standin::Live().taskMemBlocks);
    CoTaskMemFree(nullptr);
}

// An outer object that aggregates the free-threaded marshaler, as agile COM objects do.
class Outer final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == __uuidof(IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == __uuidof(IMarshal)) {
            return m_pMarshalerInner->QueryInterface(riid, ppv);
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_uRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_uRefs; }

    IUnknown* m_pMarshalerInner = nullptr;
    ULONG m_uRefs = 1;
};

TEST_F(ComTest, FreeThreadedMarshalerDelegatesToItsOuterObject) {
    Outer outer;
    ASSERT_EQ(S_OK, CoCreateFreeThreadedMarshaler(&outer, &outer.m_pMarshalerInner));
    IMarshal* pMarshal = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(__uuidof(IMarshal), reinterpret_cast<void**>(&pMarshal)));
    EXPECT_EQ(2u, outer.m_uRefs) << "the marshaler's IMarshal counts on the outer object";
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK,
              pMarshal->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&pIdentity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), pIdentity);
    pIdentity->Release();

    CLSID unmarshalClass = {};
    EXPECT_EQ(S_OK, pMarshal->GetUnmarshalClass(__uuidof(IUnknown), &outer, 0, nullptr, 0,
                                                &unmarshalClass));
    EXPECT_EQ(0x0000033Au, unmarshalClass.Data1);
    pMarshal->Release();
    EXPECT_EQ(1u, outer.m_uRefs);
    EXPECT_EQ(0u, outer.m_pMarshalerInner->Release());
}

TEST_F(ComTest, VariantsStartAndEndEmpty) {
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(VT_EMPTY, value.vt);
    value.vt = VT_R4;
    value.fltVal = 0.5f;
    EXPECT_EQ(S_OK, VariantClear(&value));
    EXPECT_EQ(VT_EMPTY, value.vt);
}

}  // namespace
