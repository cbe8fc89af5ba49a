// The stand-in's reader of resource scripts (the .rc language of the Windows resource compiler),
// as CreateDialogParamW uses it and as tests inspect it.
//
// It reads the subset that dialog resources need: #define, #ifdef, #ifndef, #else, #endif,
// #include of system headers (ignored: the reader knows the window, dialog, button and static
// style names and IDC_STATIC itself), LANGUAGE, and DIALOGEX resources with STYLE, EXSTYLE,
// CAPTION and FONT and the controls CONTROL, LTEXT, RTEXT, CTEXT, GROUPBOX, PUSHBUTTON,
// DEFPUSHBUTTON, CHECKBOX and AUTOCHECKBOX. Numbers may be decimal or hexadecimal with an L or U
// suffix; style expressions combine names and numbers with |, NOT and parentheses. Anything else
// is an error with its line number: the reader never guesses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct DialogControlTemplate {
    std::wstring className;  // "Button", "Static", or the CONTROL statement's class
    std::wstring text;
    int id = 0;  // -1 for IDC_STATIC
    int x = 0;   // dialog units
    int y = 0;
    int cx = 0;
    int cy = 0;
    DWORD style = 0;  // with the statement's defaults and WS_CHILD | WS_VISIBLE
    DWORD exStyle = 0;
};

struct DialogTemplate {
    bool bNumericName = true;
    uint32_t uId = 0;   // when bNumericName
    std::wstring name;  // otherwise
    int x = 0;          // dialog units
    int y = 0;
    int cx = 0;
    int cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::wstring caption;
    int iFontPointSize = 0;  // 0: no FONT statement
    std::wstring fontFace;
    std::vector<DialogControlTemplate> controls;
};

struct ResourceScript {
    std::vector<DialogTemplate> dialogs;
};

// True and out_rScript filled, or false with out_rError naming the line and what was wrong.
bool ParseResourceScript(const std::string& in_text, ResourceScript& out_rScript,
                         std::string& out_rError);

}  // namespace standin
