// What the design-tool tests share: platform keys, a plug-in holder and a stand-in dialog with
// the controls a plug-in writes to.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "IAudioPlugin.h"

namespace tool_tests {

constexpr ZV::Orvel::PlatformKey kWindows = {
    0x6E0CB257, 0xC6C8, 0x4C5C, {0x83, 0x66, 0x74, 0x0D, 0xFC, 0x1D, 0x6A, 0x01}};
constexpr ZV::Orvel::PlatformKey kXboxOne = {
    0x8B3C5A6A, 0x3F2D, 0x4F0E, {0x9C, 0x1B, 0x2A, 0x77, 0x10, 0x58, 0xC4, 0x02}};

struct PluginDeleter {
    void operator()(ZV::Orvel::IAudioPlugin* in_pPlugin) const { in_pPlugin->DestroyPlugin(); }
};
typedef std::unique_ptr<ZV::Orvel::IAudioPlugin, PluginDeleter> PluginPtr;

inline std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> in_bytes) {
    return std::vector<uint8_t>(in_bytes);
}

inline std::wstring TextOf(HWND in_hWnd) {
    wchar_t szText[128];
    const LRESULT iLength =
        SendMessageW(in_hWnd, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(szText));
    return std::wstring(szText, static_cast<size_t>(iLength));
}

}  // namespace tool_tests
