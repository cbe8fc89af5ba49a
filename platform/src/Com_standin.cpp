// The COM run-time: apartments, class creation, GUIDs, task memory and the free-threaded marshaler.

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <random>
#include <vector>

#include "CallScope.h"
#include "ClassRegistry.h"
#include "ComRefCount.h"
#include "LiveCounters.h"
#include "TaskMemory.h"

using standin::detail::CallScope;
using standin::detail::Counters;

namespace standin {
namespace detail {
namespace {

struct ClassEntry {
    CLSID clsid;
    ClassFactoryFn pfnCreate;
};

struct ClassTable {
    std::mutex mutex;
    std::vector<ClassEntry> entries;
};

ClassTable& Classes() {
    static ClassTable* s_pTable = new ClassTable();  // never destroyed: used at exit
    return *s_pTable;
}

// Threads of the process currently in the multithreaded apartment.
std::atomic<int> g_iMtaThreads{0};

struct Apartment {
    int iInitCount = 0;
    DWORD dwMode = 0;
};
thread_local Apartment t_apartment;

constexpr CLSID kFreeMarshalerClsid = {
    0x0000033A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The free-threaded marshaler. Created for an outer object, it is aggregated: the IUnknown handed
// out is its own (non-delegating) one, and its IMarshal delegates IUnknown to the outer object.
class FreeThreadedMarshaler final : public IMarshal {
public:
    explicit FreeThreadedMarshaler(IUnknown* in_pOuter) : m_inner(this), m_pOuter(in_pOuter) {
        if (m_pOuter == nullptr) {
            m_pOuter = &m_inner;
        }
    }

    IUnknown* Inner() { return &m_inner; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return m_pOuter->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_pOuter->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_pOuter->Release(); }

    HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD, void*, DWORD,
                                                CLSID* pCid) override {
        CallScope scope("IMarshal::GetUnmarshalClass");
        if (scope.Failed())
            return scope.Fault();
        if (pCid == nullptr)
            return E_POINTER;
        *pCid = kFreeMarshalerClsid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD, void*, DWORD,
                                                DWORD* pSize) override {
        CallScope scope("IMarshal::GetMarshalSizeMax");
        if (scope.Failed())
            return scope.Fault();
        if (pSize == nullptr)
            return E_POINTER;
        *pSize = 56;  // an in-process pointer and its bookkeeping
        return S_OK;
    }
    // Marshalling between processes or apartments does not exist in the stand-in: the calls
    // answer so, without pretending to succeed.
    HRESULT STDMETHODCALLTYPE MarshalInterface(IStream*, REFIID, void*, DWORD, void*,
                                               DWORD) override {
        CallScope scope("IMarshal::MarshalInterface");
        return scope.Failed() ? scope.Fault() : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream*, REFIID, void** ppv) override {
        CallScope scope("IMarshal::UnmarshalInterface");
        if (ppv != nullptr)
            *ppv = nullptr;
        return scope.Failed() ? scope.Fault() : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream*) override {
        CallScope scope("IMarshal::ReleaseMarshalData");
        return scope.Failed() ? scope.Fault() : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override {
        CallScope scope("IMarshal::DisconnectObject");
        return scope.Failed() ? scope.Fault() : S_OK;
    }

private:
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(FreeThreadedMarshaler* in_pOwner) : m_pOwner(in_pOwner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            if (ppv == nullptr)
                return E_POINTER;
            if (riid == __uuidof(IUnknown)) {
                *ppv = static_cast<IUnknown*>(this);
            } else if (riid == __uuidof(IMarshal)) {
                *ppv = static_cast<IMarshal*>(m_pOwner);
            } else {
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override {
            const ULONG uCount = m_refs.Release();
            if (uCount == 0) {
                delete m_pOwner;
            }
            return uCount;
        }

    private:
        FreeThreadedMarshaler* m_pOwner;
        ComRefCount m_refs;
    };

    InnerUnknown m_inner;
    IUnknown* m_pOuter;
};

}  // namespace

void RegisterComClass(REFCLSID in_clsid, ClassFactoryFn in_pfnCreate) {
    ClassTable& table = Classes();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (ClassEntry& entry : table.entries) {
        if (entry.clsid == in_clsid) {
            entry.pfnCreate = in_pfnCreate;
            return;
        }
    }
    table.entries.push_back(ClassEntry{in_clsid, in_pfnCreate});
}

void* AllocateTaskMemory(size_t in_uBytes) {
    void* pMemory = malloc(in_uBytes == 0 ? 1 : in_uBytes);
    if (pMemory != nullptr) {
        Counters().taskMemBlocks.fetch_add(1);
    }
    return pMemory;
}

bool ComUsableOnThisThread() {
    return t_apartment.iInitCount > 0 || g_iMtaThreads.load() > 0;
}

}  // namespace detail
}  // namespace standin

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    STANDIN_CALL_HRESULT("CoInitializeEx");
    using standin::detail::t_apartment;
    if (pvReserved != nullptr) {
        return E_INVALIDARG;
    }
    const DWORD dwMode = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.iInitCount > 0) {
        if (t_apartment.dwMode != dwMode) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_apartment.iInitCount;
        return S_FALSE;
    }
    t_apartment.iInitCount = 1;
    t_apartment.dwMode = dwMode;
    if (dwMode == COINIT_MULTITHREADED) {
        standin::detail::g_iMtaThreads.fetch_add(1);
    }
    return S_OK;
}

void WINAPI CoUninitialize(void) {
    CallScope scope("CoUninitialize");
    using standin::detail::t_apartment;
    if (t_apartment.iInitCount == 0) {
        return;
    }
    if (--t_apartment.iInitCount == 0 && t_apartment.dwMode == COINIT_MULTITHREADED) {
        standin::detail::g_iMtaThreads.fetch_sub(1);
    }
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid,
                                LPVOID* ppv) {
    STANDIN_CALL_HRESULT("CoCreateInstance");
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!standin::detail::ComUsableOnThisThread()) {
        return CO_E_NOTINITIALIZED;
    }
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    standin::detail::ClassFactoryFn pfnCreate = nullptr;
    {
        standin::detail::ClassTable& table = standin::detail::Classes();
        std::lock_guard<std::mutex> lock(table.mutex);
        for (const standin::detail::ClassEntry& entry : table.entries) {
            if (entry.clsid == rclsid) {
                pfnCreate = entry.pfnCreate;
            }
        }
    }
    if (pfnCreate == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    return pfnCreate(riid, ppv);
}

HRESULT WINAPI CoCreateGuid(GUID* pguid) {
    STANDIN_CALL_HRESULT("CoCreateGuid");
    if (pguid == nullptr) {
        return E_INVALIDARG;
    }
    static std::mutex s_mutex;
    static std::mt19937_64 s_generator{std::random_device{}()};
    uint64_t auHalves[2];
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        auHalves[0] = s_generator();
        auHalves[1] = s_generator();
    }
    memcpy(pguid, auHalves, sizeof(GUID));
    pguid->Data3 = static_cast<uint16_t>((pguid->Data3 & 0x0FFF) | 0x4000);   // version 4
    pguid->Data4[0] = static_cast<uint8_t>((pguid->Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
    return S_OK;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
    CallScope scope("CoTaskMemAlloc");
    if (scope.Failed()) {
        return nullptr;
    }
    return standin::detail::AllocateTaskMemory(cb);
}

void WINAPI CoTaskMemFree(LPVOID pv) {
    CallScope scope("CoTaskMemFree");
    if (pv != nullptr) {
        Counters().taskMemBlocks.fetch_sub(1);
        free(pv);
    }
}

HRESULT WINAPI CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal) {
    STANDIN_CALL_HRESULT("CoCreateFreeThreadedMarshaler");
    if (ppunkMarshal == nullptr) {
        return E_INVALIDARG;
    }
    auto* pMarshaler = new standin::detail::FreeThreadedMarshaler(punkOuter);
    *ppunkMarshal = pMarshaler->Inner();
    return S_OK;
}

HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar) {
    STANDIN_CALL_HRESULT("PropVariantClear");
    if (pvar == nullptr) {
        return S_OK;
    }
    if (pvar->vt == VT_BLOB && pvar->blob.pBlobData != nullptr) {
        CoTaskMemFree(pvar->blob.pBlobData);
    }
    PropVariantInit(pvar);
    return S_OK;
}

void WINAPI VariantInit(VARIANT* pvarg) {
    CallScope scope("VariantInit");
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANT* pvarg) {
    STANDIN_CALL_HRESULT("VariantClear");
    if (pvarg == nullptr) {
        return E_INVALIDARG;
    }
    // The variant types the stand-in knows own nothing.
    memset(pvarg, 0, sizeof(VARIANT));
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

}  // extern "C"
