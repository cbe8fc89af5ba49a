#include "ComObject.h"

#include <cstdio>

#include "CallScope.h"

namespace standin {
namespace detail {

HRESULT AnswerQueryInterface(REFIID in_riid, void** out_ppv,
                             std::initializer_list<InterfaceEntry> in_entries) {
    CallScope scope("IUnknown::QueryInterface");
    if (out_ppv == nullptr) {
        return E_POINTER;
    }
    if (scope.Failed()) {
        *out_ppv = nullptr;
        return scope.Fault();
    }
    for (const InterfaceEntry& entry : in_entries) {
        if (entry.iid == in_riid) {
            entry.pInterface->AddRef();
            *out_ppv = entry.pInterface;
            return S_OK;
        }
    }
    *out_ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT NotImplemented(const char* in_pszMethod) {
    std::fprintf(stderr, "standin: assertion failed: %s is not implemented by the stand-in\n",
                 in_pszMethod);
    std::fflush(stderr);
    return E_NOTIMPL;
}

}  // namespace detail
}  // namespace standin
