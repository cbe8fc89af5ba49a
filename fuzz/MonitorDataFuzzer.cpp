// The mixer's design-tool object receiving monitoring records of any length and content, with its
// dialog open or closed, with or without a property set, and with "MaxObjects" set to any value
// or not set at all. Each record is handed over in a heap buffer of exactly its length. After every
// record: a record of fewer than 12 bytes (or none) changes nothing; a whole one shows its three
// counters in the open dialog and lowers "MaxObjects" of the platform being edited to the
// available objects when they are fewer and above 0, and touches nothing else.

#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <string>
#include <vector>

#include "AssertHook.h"
#include "FuzzCheck.h"
#include "PropertySet.h"
#include "SpatialMixer.h"

ZvAssertHook g_pfnZvAssertHook = nullptr;

namespace {

constexpr int kCounterIds[3] = {21060, 21061, 21062};
constexpr ZV::Orvel::PlatformKey kPlatforms[2] = {
    {0x6E0CB257, 0xC6C8, 0x4C5C, {0x83, 0x66, 0x74, 0x0D, 0xFC, 0x1D, 0x6A, 0x01}},
    {0x8B3C5A6A, 0x3F2D, 0x4F0E, {0x9C, 0x1B, 0x2A, 0x77, 0x10, 0x58, 0xC4, 0x02}},
};

// A window with the three counter controls, made once for the whole run.
HWND Dialog() {
    static HWND s_hDialog = [] {
        HWND hDialog = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                       nullptr, nullptr, nullptr);
        for (int iId : kCounterIds) {
            CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, hDialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(iId)), nullptr, nullptr);
        }
        return hDialog;
    }();
    return s_hDialog;
}

std::wstring TextOf(int in_iId) {
    wchar_t szText[128];
    const LRESULT iLength = SendMessageW(GetDlgItem(Dialog(), in_iId), WM_GETTEXT, 128,
                                         reinterpret_cast<LPARAM>(szText));
    return std::wstring(szText, static_cast<size_t>(iLength));
}

void SetText(int in_iId, const wchar_t* in_pszText) {
    SendMessageW(GetDlgItem(Dialog(), in_iId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(in_pszText));
}

// "MaxObjects" of a platform: set (with its value) or not.
struct MaxObjects {
    bool bSet = false;
    int32_t iValue = 0;
};

MaxObjects Read(const host::PropertySet& in_properties, int in_iPlatform) {
    MaxObjects result;
    VARIANT value;
    if (in_properties.Get(kPlatforms[in_iPlatform], L"MaxObjects", value)) {
        FUZZ_CHECK(value.vt == VT_I4);
        result.bSet = true;
        result.iValue = value.lVal;
    }
    return result;
}

int32_t Int32At(const uint8_t* in_pBytes) {
    return static_cast<int32_t>(uint32_t{in_pBytes[0]} | uint32_t{in_pBytes[1]} << 8 |
                                uint32_t{in_pBytes[2]} << 16 | uint32_t{in_pBytes[3]} << 24);
}

// The plug-in object, destroyed as the design tool destroys it.
struct PluginDeleter {
    void operator()(SpatialMixer* in_pPlugin) const { in_pPlugin->DestroyPlugin(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in_pData, size_t in_uSize) {
    FuzzedDataProvider input(in_pData, in_uSize);
    for (int iId : kCounterIds) {
        SetText(iId, L"");
    }
    host::PropertySet properties;
    int iCurrent = 0;
    properties.SetCurrentPlatform(kPlatforms[iCurrent]);
    std::unique_ptr<SpatialMixer, PluginDeleter> mixer(new SpatialMixer());
    bool bAttached = false;
    bool bOpen = false;

    for (int iCall = 0; iCall < 64 && input.remaining_bytes() > 0; ++iCall) {
        switch (input.ConsumeIntegralInRange<int>(0, 7)) {
            case 0: {
                const int iPlatform = input.ConsumeIntegralInRange<int>(0, 1);
                if (input.ConsumeIntegralInRange<int>(0, 3) == 0) {
                    properties.ClearProperty(kPlatforms[iPlatform], L"MaxObjects");
                } else {
                    properties.SetInt32(kPlatforms[iPlatform], L"MaxObjects",
                                        input.ConsumeIntegral<int32_t>());
                }
                break;
            }
            case 1:
                iCurrent = input.ConsumeIntegralInRange<int>(0, 1);
                properties.SetCurrentPlatform(kPlatforms[iCurrent]);
                break;
            case 2:
                bAttached = input.ConsumeBool();
                mixer->AttachPropertySet(bAttached ? &properties : nullptr);
                break;
            case 3: {
                bOpen = input.ConsumeBool();
                LRESULT lResult = 99;
                FUZZ_CHECK(!mixer->HandleWindowMessage(ZV::Orvel::SettingsDialog, Dialog(),
                                                       bOpen ? WM_INITDIALOG : WM_DESTROY, 0, 0,
                                                       lResult));
                FUZZ_CHECK(lResult == 0);
                break;
            }
            default: {
                // A record: usually twelve bytes, often another length, sometimes none at all.
                size_t uLength = 12;
                if (input.ConsumeBool()) {
                    uLength = input.ConsumeIntegralInRange<size_t>(0, 24);
                }
                const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(uLength);
                const bool bNull = input.ConsumeIntegralInRange<int>(0, 15) == 0;
                std::unique_ptr<uint8_t[]> record(new uint8_t[bytes.size() + 1]);
                if (!bytes.empty()) {
                    memcpy(record.get(), bytes.data(), bytes.size());
                }
                const uint32_t uDeclared = input.ConsumeIntegralInRange<int>(0, 7) == 0 && bNull
                                               ? input.ConsumeIntegral<uint32_t>()
                                               : static_cast<uint32_t>(bytes.size());

                const std::wstring aBefore[3] = {TextOf(kCounterIds[0]), TextOf(kCounterIds[1]),
                                                 TextOf(kCounterIds[2])};
                const MaxObjects before[2] = {Read(properties, 0), Read(properties, 1)};
                const uint32_t uWrites = properties.WriteCount();
                mixer->ReceiveMonitorData(bNull ? nullptr : record.get(), uDeclared,
                                          input.ConsumeBool());

                const bool bWhole = !bNull && bytes.size() >= 12;
                for (int i = 0; i < 3; ++i) {
                    std::wstring expected = aBefore[i];
                    if (bWhole && bOpen) {
                        wchar_t szText[16];
                        swprintf(szText, 16, L"%d", Int32At(bytes.data() + 4 * i));
                        expected = szText;
                    }
                    FUZZ_CHECK(TextOf(kCounterIds[i]) == expected);
                }
                const int32_t iAvailable = bWhole ? Int32At(bytes.data() + 8) : 0;
                for (int iPlatform = 0; iPlatform < 2; ++iPlatform) {
                    MaxObjects expected = before[iPlatform];
                    if (bWhole && bAttached && iPlatform == iCurrent && iAvailable > 0 &&
                        expected.bSet && expected.iValue > iAvailable) {
                        expected.iValue = iAvailable;
                    }
                    const MaxObjects after = Read(properties, iPlatform);
                    FUZZ_CHECK(after.bSet == expected.bSet);
                    FUZZ_CHECK(after.iValue == expected.iValue);
                }
                // Only a lowering is written.
                const bool bLowered = Read(properties, iCurrent).iValue != before[iCurrent].iValue;
                FUZZ_CHECK(properties.WriteCount() == uWrites + (bLowered ? 1u : 0u));
                break;
            }
        }
    }
    if (bOpen) {
        LRESULT lResult = 0;
        mixer->HandleWindowMessage(ZV::Orvel::SettingsDialog, Dialog(), WM_DESTROY, 0, 0, lResult);
    }
    return 0;
}
