#include "FormatEnumerator.h"

#include "CallScope.h"

namespace standin {
namespace detail {

HRESULT FormatEnumerator::QueryInterface(REFIID riid, void** ppv) {
    return AnswerQueryInterface(
        riid, ppv,
        {{__uuidof(IUnknown), static_cast<IUnknown*>(this)},
         {__uuidof(IAudioFormatEnumerator), static_cast<IAudioFormatEnumerator*>(this)}});
}

HRESULT FormatEnumerator::GetCount(UINT32* count) {
    STANDIN_CALL_HRESULT("IAudioFormatEnumerator::GetCount");
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = static_cast<UINT32>(m_formats.size());
    return S_OK;
}

HRESULT FormatEnumerator::GetFormat(UINT32 index, WAVEFORMATEX** format) {
    STANDIN_CALL_HRESULT("IAudioFormatEnumerator::GetFormat");
    if (format == nullptr) {
        return E_POINTER;
    }
    *format = nullptr;
    if (index >= m_formats.size()) {
        return E_INVALIDARG;
    }
    *format = &m_formats[index].format;
    return S_OK;
}

}  // namespace detail
}  // namespace standin
