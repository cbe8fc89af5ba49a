// What every stand-in COM object of the renderer shares: the counted reference (visible in the
// live counters), QueryInterface over a fixed list of interfaces, and the loud failure of methods
// the stand-in does not implement.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "CallScope.h"
#include "ComRefCount.h"

namespace standin {
namespace detail {

// Implements AddRef and Release of the primary interface over a ComRefCount; the object deletes
// itself when the count reaches 0. AddRef and Release never appear in the call log: they cannot
// fail. The destruction is the stand-in's own work (a stream, for one, records its history), so it
// runs marked as inside the platform: a client's allocation count never sees it.
template <typename Primary>
class ComObject : public Primary {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG uCount = m_refs.Release();
        if (uCount == 0) {
            InternalScope scope;
            delete this;
        }
        return uCount;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    ComRefCount m_refs;
};

struct InterfaceEntry {
    const IID& iid;
    IUnknown* pInterface;
};

// QueryInterface over the interfaces an object answers: logs "IUnknown::QueryInterface" (faults
// injectable), adds a reference on success and answers E_NOINTERFACE with a null pointer
// otherwise.
HRESULT AnswerQueryInterface(REFIID in_riid, void** out_ppv,
                             std::initializer_list<InterfaceEntry> in_entries);

// A method the stand-in does not implement: writes an assertion-like line to stderr, so that a
// test run shows which call a client made, and gives E_NOTIMPL.
HRESULT NotImplemented(const char* in_pszMethod);

}  // namespace detail
}  // namespace standin
