#include "Endpoint.h"

#include <cwctype>

namespace standin {
namespace detail {

const wchar_t kRenderInterfaceClass[] = L"{E6327CAD-DCEC-4949-AE8A-991E976A79D2}";

std::wstring EndpointState::DeviceInterfacePath() const {
    return L"\\\\?\\SWD#MMDEVAPI#" + m_config.id + L"#" + kRenderInterfaceClass;
}

bool SameFormat(const WAVEFORMATEX& in_a, const WAVEFORMATEX& in_b) {
    return in_a.wFormatTag == in_b.wFormatTag && in_a.nChannels == in_b.nChannels &&
           in_a.nSamplesPerSec == in_b.nSamplesPerSec &&
           in_a.nAvgBytesPerSec == in_b.nAvgBytesPerSec && in_a.nBlockAlign == in_b.nBlockAlign &&
           in_a.wBitsPerSample == in_b.wBitsPerSample;
}

bool SameDeviceId(const std::wstring& in_a, const std::wstring& in_b) {
    if (in_a.size() != in_b.size()) {
        return false;
    }
    for (size_t i = 0; i < in_a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(in_a[i])) !=
            std::towlower(static_cast<wint_t>(in_b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace detail
}  // namespace standin
