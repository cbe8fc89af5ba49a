// IAudioFormatEnumerator: the object formats an endpoint offers, copied when the enumerator is
// made. Its methods only read constant data, so any thread may call them.
#pragma once

#include <windows.h>

#include <spatialaudioclient.h>

#include <vector>

#include "ComObject.h"

namespace standin {
namespace detail {

class FormatEnumerator final : public ComObject<IAudioFormatEnumerator> {
public:
    explicit FormatEnumerator(const std::vector<WAVEFORMATEX>& in_formats)
        : m_formats(in_formats.begin(), in_formats.end()) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE GetCount(UINT32* count) override;
    HRESULT STDMETHODCALLTYPE GetFormat(UINT32 index, WAVEFORMATEX** format) override;

private:
    // WAVEFORMATEX is packed (18 bytes): each format gets an aligned place of its own, so that a
    // client may read its 32-bit fields in place, as it may from the platform's.
    struct AlignedFormat {
        AlignedFormat(const WAVEFORMATEX& in_format) : format(in_format) {}
        alignas(8) WAVEFORMATEX format;
    };
    ~FormatEnumerator() override = default;
    std::vector<AlignedFormat> m_formats;
};

}  // namespace detail
}  // namespace standin
