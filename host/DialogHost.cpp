#include "DialogHost.h"

#include <string.h>
#include <wchar.h>

namespace host {
namespace {

const wchar_t kPlaceholderPrefix[] = L"Class=SuperRange;Prop=";

// The range control class is registered while any dialog host exists.
int g_iHosts = 0;

std::wstring WindowText(HWND in_hWnd) {
    wchar_t szText[512];
    const LRESULT iLength = SendMessageW(in_hWnd, WM_GETTEXT, sizeof(szText) / sizeof(szText[0]),
                                         reinterpret_cast<LPARAM>(szText));
    return std::wstring(szText, static_cast<size_t>(iLength));
}

std::wstring ClassName(HWND in_hWnd) {
    wchar_t szName[64];
    const int iLength = GetClassNameW(in_hWnd, szName, sizeof(szName) / sizeof(szName[0]));
    return std::wstring(szName, static_cast<size_t>(iLength));
}

bool SamePlatform(const ZV::Orvel::PlatformKey& in_a, const ZV::Orvel::PlatformKey& in_b) {
    return memcmp(&in_a, &in_b, sizeof(in_a)) == 0;
}

}  // namespace

const wchar_t DialogHost::kRangeControlClass[] = L"SuperRange";

DialogHost::DialogHost(PropertySet& io_properties, HWND in_hParent)
    : m_properties(io_properties), m_hParent(in_hParent) {
    if (g_iHosts++ == 0) {
        WNDCLASSEXW windowClass;
        memset(&windowClass, 0, sizeof(windowClass));
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &DialogHost::RangeControlProcedure;
        windowClass.lpszClassName = kRangeControlClass;
        RegisterClassExW(&windowClass);
    }
}

DialogHost::~DialogHost() {
    Close();
    if (--g_iHosts == 0) {
        UnregisterClassW(kRangeControlClass, nullptr);
    }
}

bool DialogHost::Open(ZV::Orvel::IAudioPlugin& io_plugin, ZV::Orvel::DialogKind in_eDialog) {
    Close();
    io_plugin.AttachPropertySet(&m_properties);
    uint32_t uDialogId = 0;
    const ZV::Orvel::PropertyControlBinding* pTable = nullptr;
    if (!io_plugin.DescribeDialog(in_eDialog, uDialogId, pTable)) {
        return false;
    }
    HINSTANCE hModule = io_plugin.GetResourceModule();
    m_pPlugin = &io_plugin;
    m_eDialog = in_eDialog;
    m_pTable = pTable;
    m_problems.clear();
    HWND hDialog = CreateDialogParamW(hModule, MAKEINTRESOURCEW(uDialogId), m_hParent,
                                      &DialogHost::DialogProcedure, reinterpret_cast<LPARAM>(this));
    if (hDialog == nullptr) {
        m_pPlugin = nullptr;
        return false;
    }
    return true;
}

void DialogHost::Close() {
    if (m_hDialog != nullptr) {
        DestroyWindow(m_hDialog);
    }
    m_pPlugin = nullptr;
}

HWND DialogHost::ControlOf(const std::wstring& in_property) const {
    for (const Binding& binding : m_bindings) {
        if (binding.property == in_property) {
            return binding.hControl;
        }
    }
    return nullptr;
}

bool DialogHost::SetRangeValue(const std::wstring& in_property, int32_t in_iValue) {
    for (const Binding& binding : m_bindings) {
        if (binding.eKind == BindingKind::Range && binding.property == in_property) {
            m_properties.SetInt32(m_properties.CurrentPlatformKey(), in_property, in_iValue);
            return true;
        }
    }
    return false;
}

INT_PTR CALLBACK DialogHost::DialogProcedure(HWND in_hDlg, UINT in_uMsg, WPARAM in_wParam,
                                             LPARAM in_lParam) {
    DialogHost* pHost = nullptr;
    if (in_uMsg == WM_INITDIALOG) {
        pHost = reinterpret_cast<DialogHost*>(in_lParam);
        SetWindowLongPtrW(in_hDlg, GWLP_USERDATA, in_lParam);
        pHost->SetUp(in_hDlg);
    } else {
        pHost = reinterpret_cast<DialogHost*>(GetWindowLongPtrW(in_hDlg, GWLP_USERDATA));
    }
    if (pHost == nullptr || pHost->m_pPlugin == nullptr) {
        return FALSE;
    }
    LRESULT lResult = 0;
    const bool bHandled = pHost->m_pPlugin->HandleWindowMessage(pHost->m_eDialog, in_hDlg, in_uMsg,
                                                                in_wParam, in_lParam, lResult);
    if (in_uMsg == WM_DESTROY) {
        pHost->m_properties.RemoveObserver(pHost->m_iObserver);
        pHost->m_iObserver = 0;
        pHost->m_bindings.clear();
        pHost->m_hDialog = nullptr;
        SetWindowLongPtrW(in_hDlg, GWLP_USERDATA, 0);
        return FALSE;
    }
    if (bHandled) {
        return TRUE;
    }
    if (in_uMsg == WM_COMMAND) {
        return pHost->HandleCommand(in_wParam, in_lParam) ? TRUE : FALSE;
    }
    return in_uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

LRESULT CALLBACK DialogHost::RangeControlProcedure(HWND in_hWnd, UINT in_uMsg, WPARAM in_wParam,
                                                   LPARAM in_lParam) {
    // The range control shows its value as its text.
    return DefWindowProcW(in_hWnd, in_uMsg, in_wParam, in_lParam);
}

void DialogHost::SetUp(HWND in_hDlg) {
    m_hDialog = in_hDlg;
    m_bindings.clear();
    ReplaceRangePlaceholders();
    BindTable();
    for (const Binding& binding : m_bindings) {
        Show(binding);
    }
    m_iObserver = m_properties.AddObserver(
        [this](const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name) {
            OnPropertyChanged(in_platform, in_name);
        });
}

void DialogHost::ReplaceRangePlaceholders() {
    std::vector<HWND> placeholders;
    for (HWND hChild = GetWindow(m_hDialog, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        if (ClassName(hChild) == L"Static" &&
            WindowText(hChild).compare(0, wcslen(kPlaceholderPrefix), kPlaceholderPrefix) == 0) {
            placeholders.push_back(hChild);
        }
    }
    RECT dialogRect;
    GetWindowRect(m_hDialog, &dialogRect);
    for (HWND hPlaceholder : placeholders) {
        const std::wstring text = WindowText(hPlaceholder);
        std::wstring property = text.substr(wcslen(kPlaceholderPrefix));
        property = property.substr(0, property.find(L';'));
        if (property.empty()) {
            m_problems.push_back(L"a range placeholder names no property: " + text);
            continue;
        }
        RECT rect;
        GetWindowRect(hPlaceholder, &rect);
        const int iId = GetDlgCtrlID(hPlaceholder);
        DestroyWindow(hPlaceholder);
        HWND hRange =
            CreateWindowExW(0, kRangeControlClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                            rect.left - dialogRect.left, rect.top - dialogRect.top,
                            rect.right - rect.left, rect.bottom - rect.top, m_hDialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(iId)), nullptr, nullptr);
        if (hRange == nullptr) {
            m_problems.push_back(L"the range control for " + property + L" cannot be created");
            continue;
        }
        m_bindings.push_back(Binding{hRange, property, BindingKind::Range});
    }
}

void DialogHost::BindTable() {
    for (const ZV::Orvel::PropertyControlBinding* pRow = m_pTable;
         pRow != nullptr && pRow->pszPropertyName != nullptr; ++pRow) {
        HWND hControl = GetDlgItem(m_hDialog, static_cast<int>(pRow->uControlId));
        if (hControl == nullptr) {
            m_problems.push_back(L"no control " + std::to_wstring(pRow->uControlId) + L" for " +
                                 pRow->pszPropertyName);
            continue;
        }
        const LONG_PTR style = GetWindowLongPtrW(hControl, GWL_STYLE);
        const bool bCheckBox =
            ClassName(hControl) == L"Button" &&
            ((style & BS_TYPEMASK) == BS_CHECKBOX || (style & BS_TYPEMASK) == BS_AUTOCHECKBOX);
        m_bindings.push_back(Binding{hControl, pRow->pszPropertyName,
                                     bCheckBox ? BindingKind::CheckBox : BindingKind::Text});
    }
}

void DialogHost::Show(const Binding& in_binding) {
    VARIANT value;
    memset(&value, 0, sizeof(value));
    const bool bKnown =
        m_properties.Get(m_properties.CurrentPlatformKey(), in_binding.property, value);
    if (in_binding.eKind == BindingKind::CheckBox) {
        SendMessageW(in_binding.hControl, BM_SETCHECK,
                     bKnown && value.boolVal != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        return;
    }
    wchar_t szText[64] = L"";
    if (bKnown && (value.vt == VT_I4 || in_binding.eKind == BindingKind::Range)) {
        swprintf(szText, 64, L"%d", static_cast<int>(value.lVal));
    } else if (bKnown && value.vt == VT_R4) {
        swprintf(szText, 64, L"%g", static_cast<double>(value.fltVal));
    } else if (bKnown && value.vt == VT_BOOL) {
        swprintf(szText, 64, L"%ls", value.boolVal != 0 ? L"true" : L"false");
    }
    SendMessageW(in_binding.hControl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szText));
}

bool DialogHost::HandleCommand(WPARAM in_wParam, LPARAM in_lParam) {
    if (HIWORD(in_wParam) != BN_CLICKED) {
        return false;
    }
    HWND hControl = reinterpret_cast<HWND>(in_lParam);
    for (const Binding& binding : m_bindings) {
        if (binding.hControl == hControl && binding.eKind == BindingKind::CheckBox) {
            const bool bChecked = SendMessageW(hControl, BM_GETCHECK, 0, 0) == BST_CHECKED;
            m_properties.SetBool(m_properties.CurrentPlatformKey(), binding.property, bChecked);
            return true;
        }
    }
    return false;
}

void DialogHost::OnPropertyChanged(const ZV::Orvel::PlatformKey& in_platform,
                                   const std::wstring& in_name) {
    if (!SamePlatform(in_platform, m_properties.CurrentPlatformKey())) {
        return;
    }
    for (const Binding& binding : m_bindings) {
        if (binding.property == in_name) {
            Show(binding);
        }
    }
}

}  // namespace host
