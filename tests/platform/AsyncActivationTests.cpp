// The asynchronous activation route of Universal Windows apps: the default render id from the
// Windows Runtime, ActivateAudioInterfaceAsync with a counted, agile completion handler, and the
// scripted completion modes; and the HSTRING functions it relies on.

#include <gtest/gtest.h>

#include <windows.h>

#include <mmdeviceapi.h>
#include <roapi.h>
#include <spatialaudioclient.h>
#include <windows.media.devices.h>
#include <winstring.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "SpatialTestSupport.h"
#include "StandinFixture.h"
#include "standin/Renderer.h"

namespace {

using ABI::Windows::Media::Devices::AudioDeviceRole_Default;
using ABI::Windows::Media::Devices::IMediaDeviceStatics;
using testing_support::WaitUntil;

// A completion handler of the shape the platform requires: on the heap, counted, agile. It keeps
// what the completion reported; done is published last (release) and read with acquire.
class RecordingHandler final : public IActivateAudioInterfaceCompletionHandler,
                               public IAgileObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == __uuidof(IUnknown) ||
            riid == __uuidof(IActivateAudioInterfaceCompletionHandler)) {
            *ppv = static_cast<IActivateAudioInterfaceCompletionHandler*>(this);
        } else if (riid == __uuidof(IAgileObject)) {
            *ppv = static_cast<IAgileObject*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_uRefs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG uRefs = --m_uRefs;
        if (uRefs == 0) {
            delete this;
        }
        return uRefs;
    }

    HRESULT STDMETHODCALLTYPE
    ActivateCompleted(IActivateAudioInterfaceAsyncOperation* pOperation) override {
        m_dwThread = GetCurrentThreadId();
        IUnknown* pInterface = nullptr;
        m_hrCall = pOperation->GetActivateResult(&m_hrActivation, &pInterface);
        if (pInterface != nullptr) {
            pInterface->QueryInterface(__uuidof(ISpatialAudioClient),
                                       reinterpret_cast<void**>(&m_pClient));
            pInterface->Release();
        }
        m_iCalls.fetch_add(1);
        m_bDone.store(true, std::memory_order_release);
        return S_OK;
    }

    bool Done() const { return m_bDone.load(std::memory_order_acquire); }
    ULONG References() const { return m_uRefs.load(); }
    void ReleaseClient() {
        if (m_pClient != nullptr) {
            m_pClient->Release();
            m_pClient = nullptr;
        }
    }

    // Written by the completion before done.
    DWORD m_dwThread = 0;
    HRESULT m_hrCall = E_PENDING_FOR_TEST;
    HRESULT m_hrActivation = E_PENDING_FOR_TEST;
    ISpatialAudioClient* m_pClient = nullptr;
    std::atomic<int> m_iCalls{0};

private:
    static constexpr HRESULT E_PENDING_FOR_TEST = static_cast<HRESULT>(0x8000000A);
    ~RecordingHandler() { ReleaseClient(); }
    std::atomic<ULONG> m_uRefs{1};
    std::atomic<bool> m_bDone{false};
};

// Holds a handler reference; the handler outlives the platform's own reference to it.
struct HandlerRef {
    RecordingHandler* p = new RecordingHandler();
    ~HandlerRef() {
        p->ReleaseClient();
        p->Release();
    }
};

class AsyncActivationTest : public testing_support::StandinTest {
protected:
    // The default render id as the Windows Runtime names it.
    std::wstring DefaultRenderId(HRESULT* out_phr = nullptr) {
        HSTRING hClass = nullptr;
        const std::wstring className = RuntimeClass_Windows_Media_Devices_MediaDevice;
        EXPECT_EQ(S_OK, WindowsCreateString(className.c_str(),
                                            static_cast<UINT32>(className.size()), &hClass));
        ComPtr<IMediaDeviceStatics> statics;
        EXPECT_EQ(S_OK, RoGetActivationFactory(hClass, __uuidof(IMediaDeviceStatics),
                                               statics.ReleaseAndGetVoidAddressOf()));
        WindowsDeleteString(hClass);
        HSTRING hId = nullptr;
        const HRESULT hr = statics->GetDefaultAudioRenderId(AudioDeviceRole_Default, &hId);
        if (out_phr != nullptr) {
            *out_phr = hr;
        }
        UINT32 uLength = 0;
        const wchar_t* pszId = WindowsGetStringRawBuffer(hId, &uLength);
        std::wstring id(pszId, uLength);
        WindowsDeleteString(hId);
        return id;
    }

    // Starts an activation the way the mixer does: with a client record in task memory that is
    // freed as soon as the call returns.
    HRESULT Activate(const std::wstring& in_id, RecordingHandler* in_pHandler) {
        auto* pRecord = static_cast<SpatialAudioClientActivationParams*>(
            CoTaskMemAlloc(sizeof(SpatialAudioClientActivationParams)));
        std::memset(pRecord, 0, sizeof(*pRecord));
        pRecord->majorVersion = 2016;
        pRecord->minorVersion1 = 2;
        pRecord->minorVersion2 = 6;
        pRecord->minorVersion3 = 1;
        PROPVARIANT variant;
        PropVariantInit(&variant);
        variant.vt = VT_BLOB;
        variant.blob.cbSize = sizeof(*pRecord);
        variant.blob.pBlobData = reinterpret_cast<BYTE*>(pRecord);
        IActivateAudioInterfaceAsyncOperation* pOperation = nullptr;
        const HRESULT hr = ActivateAudioInterfaceAsync(in_id.c_str(), __uuidof(ISpatialAudioClient),
                                                       &variant, in_pHandler, &pOperation);
        PropVariantClear(&variant);
        if (pOperation != nullptr) {
            pOperation->Release();
        }
        return hr;
    }
};

TEST_F(AsyncActivationTest, DefaultRenderIdActivatesTheClientOnAnotherThread) {
    const std::wstring id = DefaultRenderId();
    EXPECT_NE(std::wstring::npos, id.find(standin::DefaultEndpoint().id));
    HandlerRef handler;
    ASSERT_EQ(S_OK, Activate(id, handler.p));
    ASSERT_TRUE(WaitUntil([&]() { return handler.p->Done(); }));
    ASSERT_TRUE(standin::WaitForCompletions());

    EXPECT_NE(GetCurrentThreadId(), handler.p->m_dwThread);
    const std::vector<DWORD> threads = standin::CompletionThreads();
    EXPECT_NE(threads.end(), std::find(threads.begin(), threads.end(), handler.p->m_dwThread));
    EXPECT_EQ(S_OK, handler.p->m_hrCall);
    EXPECT_EQ(S_OK, handler.p->m_hrActivation);
    ASSERT_NE(nullptr, handler.p->m_pClient);
    UINT32 uCount = 0;
    EXPECT_EQ(S_OK, handler.p->m_pClient->GetMaxDynamicObjectCount(&uCount));
    EXPECT_EQ(16u, uCount);
    EXPECT_EQ(1u, handler.p->References()) << "the platform let its reference go";
    EXPECT_EQ(1, handler.p->m_iCalls.load());

    const std::vector<standin::ClientActivation> records = standin::ClientActivations();
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(records[0].asynchronous);
    EXPECT_EQ(48u, records[0].blobSize);
    EXPECT_EQ(2016, records[0].params.majorVersion);
    EXPECT_EQ(1, records[0].params.minorVersion3);
}

TEST_F(AsyncActivationTest, TheRenderInterfaceClassActivatesButAnEndpointIdDoesNot) {
    HandlerRef byClass;
    ASSERT_EQ(S_OK, Activate(L"{E6327CAD-DCEC-4949-AE8A-991E976A79D2}", byClass.p));
    HandlerRef byEndpointId;
    ASSERT_EQ(S_OK, Activate(standin::DefaultEndpoint().id, byEndpointId.p));
    ASSERT_TRUE(standin::WaitForCompletions());
    ASSERT_TRUE(byClass.p->Done() && byEndpointId.p->Done());
    EXPECT_EQ(S_OK, byClass.p->m_hrActivation);
    EXPECT_NE(nullptr, byClass.p->m_pClient);
    EXPECT_EQ(S_OK, byEndpointId.p->m_hrCall);
    EXPECT_EQ(E_NOTFOUND, byEndpointId.p->m_hrActivation);
    EXPECT_EQ(nullptr, byEndpointId.p->m_pClient);

    // Without a default endpoint there is no id to ask for and nothing to activate.
    standin::RemoveDefaultEndpoint();
    HRESULT hr = S_OK;
    EXPECT_TRUE(DefaultRenderId(&hr).empty());
    EXPECT_EQ(E_NOTFOUND, hr);
    HandlerRef none;
    ASSERT_EQ(S_OK, Activate(L"{E6327CAD-DCEC-4949-AE8A-991E976A79D2}", none.p));
    ASSERT_TRUE(standin::WaitForCompletions());
    EXPECT_EQ(E_NOTFOUND, none.p->m_hrActivation);
}

TEST_F(AsyncActivationTest, HeldCompletionsWaitAndDroppedOnesNeverCome) {
    const std::wstring id = DefaultRenderId();
    standin::SetCompletion(standin::Completion::Hold);
    HandlerRef held;
    IActivateAudioInterfaceAsyncOperation* pOperation = nullptr;
    ASSERT_EQ(S_OK, ActivateAudioInterfaceAsync(id.c_str(), __uuidof(ISpatialAudioClient), nullptr,
                                                held.p, &pOperation));
    HRESULT hrActivation = S_OK;
    IUnknown* pInterface = nullptr;
    EXPECT_EQ(E_ILLEGAL_METHOD_CALL, pOperation->GetActivateResult(&hrActivation, &pInterface))
        << "no result before the completion";
    EXPECT_EQ(2u, held.p->References()) << "the platform holds the handler until completion";
    EXPECT_FALSE(held.p->Done());

    standin::SetCompletion(standin::Completion::Deliver);
    ASSERT_TRUE(standin::WaitForCompletions());
    EXPECT_TRUE(held.p->Done());
    EXPECT_EQ(1u, held.p->References());
    EXPECT_EQ(S_OK, pOperation->GetActivateResult(&hrActivation, &pInterface));
    EXPECT_EQ(S_OK, hrActivation);
    ASSERT_NE(nullptr, pInterface);
    pInterface->Release();
    pOperation->Release();

    standin::SetCompletion(standin::Completion::Drop);
    HandlerRef dropped;
    ASSERT_EQ(S_OK, Activate(id, dropped.p));
    EXPECT_EQ(1u, dropped.p->References()) << "a dropped completion releases the handler";
    ASSERT_TRUE(standin::WaitForCompletions());
    EXPECT_EQ(0, dropped.p->m_iCalls.load());
}

TEST_F(AsyncActivationTest, ScriptedResultsAndFaultsReachTheHandler) {
    const std::wstring id = DefaultRenderId();
    standin::SetCompletion(standin::Completion::Hold);
    standin::SetActivationResult(E_ACCESSDENIED);
    HandlerRef refused;
    ASSERT_EQ(S_OK, Activate(id, refused.p));
    standin::SetActivationResult(S_OK);
    HandlerRef failed;
    ASSERT_EQ(S_OK, Activate(id, failed.p));
    standin::FailCall("ActivateAudioInterfaceAsync", 1, E_OUTOFMEMORY);
    HandlerRef notStarted;
    EXPECT_EQ(E_OUTOFMEMORY, Activate(id, notStarted.p));
    // Completions run in order: the second one's GetActivateResult is the one that fails.
    standin::FailCall("IActivateAudioInterfaceAsyncOperation::GetActivateResult", 2, E_FAIL);
    standin::SetCompletion(standin::Completion::Deliver);
    ASSERT_TRUE(standin::WaitForCompletions());

    EXPECT_EQ(S_OK, refused.p->m_hrCall);
    EXPECT_EQ(E_ACCESSDENIED, refused.p->m_hrActivation);
    EXPECT_EQ(nullptr, refused.p->m_pClient);
    EXPECT_EQ(E_FAIL, failed.p->m_hrCall);
    EXPECT_EQ(nullptr, failed.p->m_pClient);
    EXPECT_EQ(0, notStarted.p->m_iCalls.load());
    EXPECT_EQ(1u, notStarted.p->References());
    const std::vector<standin::ClientActivation> records = standin::ClientActivations();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(E_ACCESSDENIED, records[0].result);
    EXPECT_EQ(S_OK, records[1].result);
}

TEST_F(AsyncActivationTest, MediaDeviceStaticsAnswerTheRenderIdOnly) {
    HSTRING hClass = nullptr;
    ASSERT_EQ(S_OK, WindowsCreateString(L"Windows.Media.Devices.MediaDevice", 33, &hClass));
    ComPtr<IMediaDeviceStatics> statics;
    ASSERT_EQ(S_OK, RoGetActivationFactory(hClass, __uuidof(IMediaDeviceStatics),
                                           statics.ReleaseAndGetVoidAddressOf()));
    ComPtr<IUnknown> agile;
    EXPECT_EQ(S_OK,
              statics->QueryInterface(__uuidof(IAgileObject), agile.ReleaseAndGetVoidAddressOf()));
    HSTRING hSelector = reinterpret_cast<HSTRING>(0x1);
    EXPECT_EQ(E_NOTIMPL, statics->GetAudioRenderSelector(&hSelector));
    EXPECT_EQ(nullptr, hSelector);
    WindowsDeleteString(hClass);

    ASSERT_EQ(S_OK, WindowsCreateString(L"Windows.Media.Devices.Other", 27, &hClass));
    ComPtr<IUnknown> other;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, RoGetActivationFactory(hClass, __uuidof(IMediaDeviceStatics),
                                                          other.ReleaseAndGetVoidAddressOf()));
    WindowsDeleteString(hClass);
}

TEST_F(AsyncActivationTest, StringsAreCountedAndTheEmptyStringIsNull) {
    HSTRING hText = nullptr;
    ASSERT_EQ(S_OK, WindowsCreateString(L"abc\0def", 7, &hText));
    EXPECT_EQ(1u, standin::Live().hstrings);
    UINT32 uLength = 0;
    const wchar_t* pszText = WindowsGetStringRawBuffer(hText, &uLength);
    EXPECT_EQ(7u, uLength);
    EXPECT_EQ(0, std::wmemcmp(L"abc\0def", pszText, 7));
    EXPECT_EQ(L'\0', pszText[7]) << "the buffer is terminated";
    EXPECT_EQ(S_OK, WindowsDeleteString(hText));
    EXPECT_EQ(0u, standin::Live().hstrings);

    HSTRING hEmpty = reinterpret_cast<HSTRING>(0x1);
    EXPECT_EQ(S_OK, WindowsCreateString(L"", 0, &hEmpty));
    EXPECT_EQ(nullptr, hEmpty);
    EXPECT_EQ(std::wstring(), WindowsGetStringRawBuffer(nullptr, &uLength));
    EXPECT_EQ(0u, uLength);
    EXPECT_EQ(S_OK, WindowsDeleteString(nullptr));
    EXPECT_EQ(E_POINTER, WindowsCreateString(nullptr, 3, &hEmpty));
    EXPECT_EQ(E_INVALIDARG, WindowsCreateString(L"x", 1, nullptr));
}

}  // namespace
