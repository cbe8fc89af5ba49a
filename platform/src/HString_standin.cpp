// Windows Runtime strings: immutable, counted UTF-16 text behind an opaque handle. The empty
// string is the null handle. Every live string is registered, so that deleting or reading a string
// that is not live (a double delete, a stray pointer) stops the program with a message instead of
// corrupting the heap silently as it would on Windows.

#include <winstring.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include "CallScope.h"
#include "HStringInternal.h"
#include "LiveCounters.h"

struct HSTRING__ {
    UINT32 uLength;
    WCHAR szText[1];  // uLength characters and a terminating null
};

namespace standin {
namespace detail {
namespace {

struct StringRegistry {
    std::mutex mutex;
    std::unordered_set<HSTRING> live;
};

StringRegistry& Strings() {
    static StringRegistry* s_pRegistry = new StringRegistry();  // never destroyed: used at exit
    return *s_pRegistry;
}

HSTRING NewString(const WCHAR* in_pszText, UINT32 in_uLength) {
    const size_t uBytes = offsetof(HSTRING__, szText) + (size_t{in_uLength} + 1) * sizeof(WCHAR);
    auto* pString = static_cast<HSTRING__*>(std::malloc(uBytes));
    if (pString == nullptr) {
        return nullptr;
    }
    pString->uLength = in_uLength;
    std::memcpy(pString->szText, in_pszText, size_t{in_uLength} * sizeof(WCHAR));
    pString->szText[in_uLength] = L'\0';
    {
        StringRegistry& registry = Strings();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.live.insert(pString);
    }
    Counters().hstrings.fetch_add(1);
    return pString;
}

void RequireLive(HSTRING in_hString, const char* in_pszCall) {
    StringRegistry& registry = Strings();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (registry.live.count(in_hString) == 0) {
        std::fprintf(stderr, "standin: %s on an HSTRING that is not live (%p)\n", in_pszCall,
                     static_cast<void*>(in_hString));
        std::abort();
    }
}

}  // namespace

HRESULT CreateHString(const std::wstring& in_text, HSTRING* out_phString) {
    *out_phString = nullptr;
    if (in_text.empty()) {
        return S_OK;
    }
    *out_phString = NewString(in_text.data(), static_cast<UINT32>(in_text.size()));
    return *out_phString != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::wstring HStringText(HSTRING in_hString) {
    if (in_hString == nullptr) {
        return std::wstring();
    }
    RequireLive(in_hString, "reading an HSTRING");
    return std::wstring(in_hString->szText, in_hString->uLength);
}

}  // namespace detail
}  // namespace standin

extern "C" {

HRESULT WINAPI WindowsCreateString(PCWSTR sourceString, UINT32 length, HSTRING* string) {
    STANDIN_CALL_HRESULT("WindowsCreateString");
    if (string == nullptr) {
        return E_INVALIDARG;
    }
    *string = nullptr;
    if (length == 0) {
        return S_OK;
    }
    if (sourceString == nullptr) {
        return E_POINTER;
    }
    *string = standin::detail::NewString(sourceString, length);
    return *string != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI WindowsDeleteString(HSTRING string) {
    STANDIN_CALL_HRESULT("WindowsDeleteString");
    if (string == nullptr) {
        return S_OK;
    }
    {
        standin::detail::StringRegistry& registry = standin::detail::Strings();
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (registry.live.erase(string) == 0) {
            std::fprintf(stderr,
                         "standin: WindowsDeleteString on an HSTRING that is not live (%p)\n",
                         static_cast<void*>(string));
            std::abort();
        }
    }
    standin::detail::Counters().hstrings.fetch_sub(1);
    std::free(string);
    return S_OK;
}

// Cannot fail (as documented): an injected fault is logged but has no effect.
PCWSTR WINAPI WindowsGetStringRawBuffer(HSTRING string, UINT32* length) {
    standin::detail::CallScope scope("WindowsGetStringRawBuffer");
    if (string == nullptr) {
        if (length != nullptr) {
            *length = 0;
        }
        return L"";
    }
    standin::detail::RequireLive(string, "WindowsGetStringRawBuffer");
    if (length != nullptr) {
        *length = string->uLength;
    }
    return string->szText;
}

}  // extern "C"
