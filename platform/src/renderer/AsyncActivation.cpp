// The asynchronous activation route of Universal Windows apps: ActivateAudioInterfaceAsync, its
// operation object, and the completion thread that calls the client's handler.
//
// The activation itself is made when the call arrives (so its record is in order with the
// others); its completion is delivered later on the completion thread, held until released, or
// dropped, as the test scripted. The platform keeps a reference to the handler from the call until
// the completion has run (or was dropped).
//
// Threads: the client calls ActivateAudioInterfaceAsync and GetActivateResult from any thread;
// the completion thread delivers; the test thread scripts and waits. The queue's fields are
// guarded by its mutex; the operation's completed flag is an atomic stored with release ordering
// after its result and interface are set (they are constant from construction) and loaded with
// acquire ordering by GetActivateResult. No lock is held while the handler runs or while a
// client object is released.

#include <windows.h>

#include <mmdeviceapi.h>
#include <spatialaudioclient.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CallScope.h"
#include "ComObject.h"
#include "LiveCounters.h"
#include "RendererCore.h"
#include "SpatialClient.h"
#include "standin/Renderer.h"

namespace standin {
namespace detail {
namespace {

class ActivationOperation final : public ComObject<IActivateAudioInterfaceAsyncOperation> {
public:
    // Takes over in_pInterface's reference and adds one to the handler.
    ActivationOperation(IActivateAudioInterfaceCompletionHandler* in_pHandler, HRESULT in_hrResult,
                        IUnknown* in_pInterface)
        : m_pHandler(in_pHandler), m_hrResult(in_hrResult), m_pInterface(in_pInterface) {
        m_pHandler->AddRef();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return AnswerQueryInterface(riid, ppv,
                                    {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
                                     {__uuidof(IActivateAudioInterfaceAsyncOperation),
                                      static_cast<IActivateAudioInterfaceAsyncOperation*>(this)},
                                     {__uuidof(IAgileObject), static_cast<IUnknown*>(this)}});
    }

    HRESULT STDMETHODCALLTYPE GetActivateResult(HRESULT* activateResult,
                                                IUnknown** activatedInterface) override {
        STANDIN_CALL_HRESULT("IActivateAudioInterfaceAsyncOperation::GetActivateResult");
        if (activateResult == nullptr || activatedInterface == nullptr) {
            return E_POINTER;
        }
        *activatedInterface = nullptr;
        if (!m_bCompleted.load(std::memory_order_acquire)) {
            return E_ILLEGAL_METHOD_CALL;
        }
        *activateResult = m_hrResult;
        if (m_pInterface != nullptr) {
            m_pInterface->AddRef();
            *activatedInterface = m_pInterface;
        }
        return S_OK;
    }

    // The platform's side; called by the one thread that owns the operation's completion.
    void MarkCompleted() { m_bCompleted.store(true, std::memory_order_release); }
    IActivateAudioInterfaceCompletionHandler* TakeHandler() {
        IActivateAudioInterfaceCompletionHandler* pHandler = m_pHandler;
        m_pHandler = nullptr;
        return pHandler;
    }

private:
    ~ActivationOperation() override {
        if (m_pInterface != nullptr) {
            m_pInterface->Release();
        }
    }

    IActivateAudioInterfaceCompletionHandler* m_pHandler;
    const HRESULT m_hrResult;
    IUnknown* const m_pInterface;
    std::atomic<bool> m_bCompleted{false};
};

class CompletionQueue {
public:
    static CompletionQueue& Instance() {
        static CompletionQueue* s_pQueue = new CompletionQueue();  // never destroyed: used at exit
        return *s_pQueue;
    }

    // The scripted result for the next activation and what happens to its completion.
    void Script(Completion* out_pMode, HRESULT* out_phrResult) {
        std::lock_guard<std::mutex> lock(m_mutex);
        *out_pMode = m_eMode;
        *out_phrResult = m_hrActivation;
    }

    // Takes over the operation's creation reference.
    void Submit(ActivationOperation* in_pOperation, Completion in_eMode) {
        if (in_eMode == Completion::Drop) {
            Drop(in_pOperation);
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (in_eMode == Completion::Hold) {
            m_held.push_back(in_pOperation);
        } else {
            QueueLocked(in_pOperation);
        }
    }

    void SetMode(Completion in_eMode) {
        std::vector<ActivationOperation*> dropped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_eMode = in_eMode;
            if (in_eMode == Completion::Deliver) {
                for (ActivationOperation* pOperation : m_held) {
                    QueueLocked(pOperation);
                }
                m_held.clear();
            } else if (in_eMode == Completion::Drop) {
                dropped.swap(m_held);
            }
        }
        for (ActivationOperation* pOperation : dropped) {
            Drop(pOperation);
        }
    }

    void SetActivationResult(HRESULT in_hr) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hrActivation = in_hr;
    }

    bool WaitIdle(std::chrono::milliseconds in_timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_idle.wait_for(lock, in_timeout, [this]() { return m_uDelivering == 0; });
    }

    std::vector<DWORD> Threads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

    // Back to Deliver and S_OK; held completions are dropped (their handlers are released, never
    // called), so that no client code runs for a test that has ended.
    void Reset() {
        std::vector<ActivationOperation*> dropped;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_eMode = Completion::Deliver;
            m_hrActivation = S_OK;
            m_threads.clear();
            dropped.swap(m_held);
        }
        for (ActivationOperation* pOperation : dropped) {
            Drop(pOperation);
        }
    }

private:
    CompletionQueue() = default;

    static void Drop(ActivationOperation* in_pOperation) {
        in_pOperation->TakeHandler()->Release();
        in_pOperation->Release();
    }

    void QueueLocked(ActivationOperation* in_pOperation) {
        m_ready.push_back(in_pOperation);
        ++m_uDelivering;
        Counters().runningCallbacks.fetch_add(1);
        if (!m_bThreadStarted) {
            m_bThreadStarted = true;
            std::thread(&CompletionQueue::DeliverLoop, this).detach();
        }
        m_work.notify_one();
    }

    // The completion thread: delivers one completion at a time, in the order they were queued.
    void DeliverLoop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [this]() { return !m_ready.empty(); });
            ActivationOperation* pOperation = m_ready.front();
            m_ready.pop_front();
            m_threads.push_back(GetCurrentThreadId());
            lock.unlock();

            pOperation->MarkCompleted();
            IActivateAudioInterfaceCompletionHandler* pHandler = pOperation->TakeHandler();
            pHandler->ActivateCompleted(pOperation);
            pHandler->Release();
            pOperation->Release();

            lock.lock();
            --m_uDelivering;
            Counters().runningCallbacks.fetch_sub(1);
            m_idle.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_idle;
    Completion m_eMode = Completion::Deliver;
    HRESULT m_hrActivation = S_OK;
    std::deque<ActivationOperation*> m_ready;
    std::vector<ActivationOperation*> m_held;
    size_t m_uDelivering = 0;  // queued or running deliveries
    bool m_bThreadStarted = false;
    std::vector<DWORD> m_threads;
};

void ResetCompletionsHook() {
    CompletionQueue::Instance().Reset();
}

struct ResetRegistration {
    ResetRegistration() { AddResetHook(&ResetCompletionsHook); }
};
const ResetRegistration g_resetRegistration;

// Which endpoint a device-interface path names: the default-render interface class, or the
// device-interface path of the current default endpoint. An IMMDevice id is not such a path.
std::shared_ptr<EndpointState> ResolveDevicePath(const std::wstring& in_path) {
    std::shared_ptr<EndpointState> endpoint;
    {
        std::lock_guard<std::mutex> lock(RendererCore::Instance().Mutex());
        endpoint = RendererCore::Instance().DefaultEndpointLocked();
    }
    if (endpoint && (SameDeviceId(in_path, kRenderInterfaceClass) ||
                     SameDeviceId(in_path, endpoint->DeviceInterfacePath()))) {
        return endpoint;
    }
    return nullptr;
}

}  // namespace
}  // namespace detail

void SetCompletion(Completion in_mode) {
    detail::CompletionQueue::Instance().SetMode(in_mode);
}

void SetActivationResult(HRESULT in_hr) {
    detail::CompletionQueue::Instance().SetActivationResult(in_hr);
}

bool WaitForCompletions(std::chrono::milliseconds in_timeout) {
    return detail::CompletionQueue::Instance().WaitIdle(in_timeout);
}

std::vector<DWORD> CompletionThreads() {
    return detail::CompletionQueue::Instance().Threads();
}

}  // namespace standin

extern "C" {

HRESULT WINAPI
ActivateAudioInterfaceAsync(LPCWSTR deviceInterfacePath, REFIID riid, PROPVARIANT* activationParams,
                            IActivateAudioInterfaceCompletionHandler* completionHandler,
                            IActivateAudioInterfaceAsyncOperation** activationOperation) {
    using namespace standin::detail;
    STANDIN_CALL_HRESULT("ActivateAudioInterfaceAsync");
    if (activationOperation == nullptr) {
        return E_POINTER;
    }
    *activationOperation = nullptr;
    if (deviceInterfacePath == nullptr || completionHandler == nullptr) {
        return E_INVALIDARG;
    }
    standin::Completion eMode;
    HRESULT hrScripted;
    CompletionQueue::Instance().Script(&eMode, &hrScripted);

    HRESULT hrResult;
    IUnknown* pInterface = nullptr;
    if (riid != __uuidof(ISpatialAudioClient)) {
        NotImplemented(
            "ActivateAudioInterfaceAsync of an interface other than ISpatialAudioClient");
        hrResult = E_NOINTERFACE;
    } else if (std::shared_ptr<EndpointState> endpoint = ResolveDevicePath(deviceInterfacePath)) {
        hrResult = ActivateSpatialClient(endpoint, activationParams, true, hrScripted, &pInterface);
    } else {
        hrResult = E_NOTFOUND;  // no such render device (or no default endpoint at all)
    }

    auto* pOperation = new ActivationOperation(completionHandler, hrResult, pInterface);
    pOperation->AddRef();  // the caller's reference; the creation's stays with the platform
    *activationOperation = pOperation;
    CompletionQueue::Instance().Submit(pOperation, eMode);
    return S_OK;
}

}  // extern "C"
