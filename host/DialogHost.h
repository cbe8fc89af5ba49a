// Hosts a design-tool plug-in's dialog as the design tool does: loads the dialog resource that
// DescribeDialog names from the module that GetResourceModule gives, replaces each static whose
// text is "Class=SuperRange;Prop=<name>" with a range control bound to that property, binds each
// row of the plug-in's property-control table to its control, and hands the dialog's messages
// (WM_INITDIALOG, WM_DESTROY and the rest) to the plug-in's HandleWindowMessage before its own
// handling.
//
// Bound controls edit the property set's current platform: a check box shows and writes a
// boolean property, a range control an integer one, any other control shows the value as text.
// They follow every change of their property. User-interface thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "IAudioPlugin.h"
#include "PropertySet.h"

namespace host {

class DialogHost {
public:
    // The window class of the range control that replaces SuperRange placeholders.
    static const wchar_t kRangeControlClass[];

    DialogHost(PropertySet& io_properties, HWND in_hParent);
    ~DialogHost();
    DialogHost(const DialogHost&) = delete;
    DialogHost& operator=(const DialogHost&) = delete;

    // False when the plug-in describes no dialog or the dialog cannot be created. Attaches the
    // property set first, as the design tool does before any property access.
    bool Open(ZV::Orvel::IAudioPlugin& io_plugin,
              ZV::Orvel::DialogKind in_eDialog = ZV::Orvel::SettingsDialog);
    // Destroys the dialog (the plug-in receives WM_DESTROY).
    void Close();

    HWND Dialog() const { return m_hDialog; }
    // The control bound to in_property, or null.
    HWND ControlOf(const std::wstring& in_property) const;
    // Table rows whose control the dialog lacks, and placeholders without a property name.
    const std::vector<std::wstring>& Problems() const { return m_problems; }

    // As if the user set the range control of in_property to in_iValue.
    bool SetRangeValue(const std::wstring& in_property, int32_t in_iValue);

private:
    enum class BindingKind { CheckBox, Range, Text };
    struct Binding {
        HWND hControl;
        std::wstring property;
        BindingKind eKind;
    };

    static INT_PTR CALLBACK DialogProcedure(HWND in_hDlg, UINT in_uMsg, WPARAM in_wParam,
                                            LPARAM in_lParam);
    static LRESULT CALLBACK RangeControlProcedure(HWND in_hWnd, UINT in_uMsg, WPARAM in_wParam,
                                                  LPARAM in_lParam);

    void SetUp(HWND in_hDlg);
    void ReplaceRangePlaceholders();
    void BindTable();
    void Show(const Binding& in_binding);
    bool HandleCommand(WPARAM in_wParam, LPARAM in_lParam);
    void OnPropertyChanged(const ZV::Orvel::PlatformKey& in_platform, const std::wstring& in_name);

    PropertySet& m_properties;
    HWND m_hParent;
    ZV::Orvel::IAudioPlugin* m_pPlugin = nullptr;
    ZV::Orvel::DialogKind m_eDialog = ZV::Orvel::SettingsDialog;
    const ZV::Orvel::PropertyControlBinding* m_pTable = nullptr;
    HWND m_hDialog = nullptr;
    std::vector<Binding> m_bindings;
    std::vector<std::wstring> m_problems;
    int m_iObserver = 0;
};

}  // namespace host
