// The stand-in's .rc reader: the subset dialog resources need, the resource compiler's default
// styles, and an error with its line for everything else.

#include <gtest/gtest.h>

#include <windows.h>

#include "standin/ResourceScript.h"

namespace {

standin::ResourceScript Parse(const std::string& in_text) {
    standin::ResourceScript script;
    std::string error;
    EXPECT_TRUE(standin::ParseResourceScript(in_text, script, error)) << error;
    return script;
}

std::string ErrorOf(const std::string& in_text) {
    standin::ResourceScript script;
    std::string error;
    EXPECT_FALSE(standin::ParseResourceScript(in_text, script, error));
    EXPECT_TRUE(script.dialogs.empty());
    return error;
}

TEST(ResourceScriptTest, ReadsDialogsWithDefinesConditionalsAndComments) {
    const standin::ResourceScript script = Parse(R"(// Resources
#include <winresrc.h>
#define IDD_FIRST 104
#define IDC_CHECK 21046
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#ifdef NOT_DEFINED_ANYWHERE
this line is skipped
#else
#define IDC_TEXT 21060
#endif
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
/* a comment
   across lines */
IDD_FIRST DIALOGEX 0, 0, 320, 163
STYLE DS_SHELLFONT | WS_CHILD | WS_CLIPCHILDREN
CAPTION "Settings ""quoted"""
FONT 8, "MS Shell Dlg", 0, 0, 0x1
BEGIN
    CONTROL "Bypass", IDC_CHECK, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 20, 12, 163, 10
    LTEXT   "", IDC_TEXT, 105, 65, 23, 13, WS_BORDER   // bordered
    GROUPBOX "Frame", IDC_STATIC, 8, 8, 101, 16
END
Named DIALOGEX 1, 2, 3, 4
{
    AUTOCHECKBOX "Auto", 7, 1, 2, 3, 4, NOT WS_TABSTOP
}
)");
    ASSERT_EQ(2u, script.dialogs.size());
    const standin::DialogTemplate& first = script.dialogs[0];
    EXPECT_TRUE(first.bNumericName);
    EXPECT_EQ(104u, first.uId);
    EXPECT_EQ(320, first.cx);
    EXPECT_EQ(163, first.cy);
    EXPECT_EQ(static_cast<DWORD>(DS_SETFONT | DS_FIXEDSYS | WS_CHILD | WS_CLIPCHILDREN),
              first.style);
    EXPECT_EQ(L"Settings \"quoted\"", first.caption);
    EXPECT_EQ(8, first.iFontPointSize);
    EXPECT_EQ(L"MS Shell Dlg", first.fontFace);
    ASSERT_EQ(3u, first.controls.size());

    const standin::DialogControlTemplate& check = first.controls[0];
    EXPECT_EQ(L"Button", check.className);
    EXPECT_EQ(L"Bypass", check.text);
    EXPECT_EQ(21046, check.id);
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP),
              check.style);
    EXPECT_EQ(20, check.x);
    EXPECT_EQ(12, check.y);
    EXPECT_EQ(163, check.cx);
    EXPECT_EQ(10, check.cy);

    const standin::DialogControlTemplate& text = first.controls[1];
    EXPECT_EQ(L"Static", text.className);
    EXPECT_EQ(21060, text.id);
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP | WS_BORDER),
              text.style);

    const standin::DialogControlTemplate& frame = first.controls[2];
    EXPECT_EQ(L"Button", frame.className);
    EXPECT_EQ(-1, frame.id);
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | BS_GROUPBOX), frame.style);

    const standin::DialogTemplate& second = script.dialogs[1];
    EXPECT_FALSE(second.bNumericName);
    EXPECT_EQ(L"Named", second.name);
    ASSERT_EQ(1u, second.controls.size());
    // NOT takes a default style away again.
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX),
              second.controls[0].style);
}

TEST(ResourceScriptTest, RefusesWhatItDoesNotUnderstandAndSaysWhere) {
    EXPECT_EQ("line 2: the name 'WS_UNKNOWN' is not known",
              ErrorOf("1 DIALOGEX 0, 0, 10, 10\nSTYLE WS_UNKNOWN\nBEGIN\nEND\n"));
    EXPECT_EQ("line 1: only DIALOGEX resources are supported, found 'MENU'",
              ErrorOf("1 MENU\nBEGIN\nEND\n"));
    EXPECT_EQ("line 3: the control statement 'EDITTEXT' is not supported",
              ErrorOf("1 DIALOGEX 0, 0, 10, 10\nBEGIN\nEDITTEXT 1, 2, 3, 4, 5\nEND\n"));
    EXPECT_NE(std::string::npos, ErrorOf("#include \"resource.h\"\n").find("line 1:"));
    EXPECT_EQ("line 3: a string without its closing quote",
              ErrorOf("1 DIALOGEX 0, 0, 10, 10\nBEGIN\nLTEXT \"open, 1, 2, 3, 4, 5\nEND\n"));
    EXPECT_NE(
        std::string::npos,
        ErrorOf("1 DIALOGEX 0, 0, 10, 10\nBEGIN\nLTEXT \"a\", 1, 2, 3, 4, 5\n").find("has no END"));
    EXPECT_EQ("line 2: #if without #endif", ErrorOf("#ifdef X\n\n"));
    EXPECT_EQ("line 1: ',' was expected", ErrorOf("1 DIALOGEX 0 0, 10, 10\nBEGIN\nEND\n"));
}

// Hostile scripts (found by fuzzing the reader): arithmetic wraps instead of overflowing, and
// scripts that would take unbounded time, memory or stack are refused with their line.
TEST(ResourceScriptTest, ArithmeticWrapsAndRunawayScriptsAreRefused) {
    // 9223372036854775807 inverted is the most negative value, whose negation wraps to itself:
    // its low 32 bits are 0.
    const standin::ResourceScript script =
        Parse("1 DIALOGEX -~9223372036854775807, - -5, 10, 10\nBEGIN\nEND\n");
    ASSERT_EQ(1u, script.dialogs.size());
    EXPECT_EQ(0, script.dialogs[0].x);
    EXPECT_EQ(5, script.dialogs[0].y);

    // Each define uses the previous one four times: 4^16 tokens.
    std::string exponential = "#define A0 1\n";
    for (int i = 1; i <= 16; ++i) {
        const std::string previous = "A" + std::to_string(i - 1);
        exponential += "#define A" + std::to_string(i) + " " + previous + " " + previous + " " +
                       previous + " " + previous + "\n";
    }
    exponential += "\nLANGUAGE A16, 0\n";
    EXPECT_EQ("line 19: #define values expand to too many tokens", ErrorOf(exponential));
    // The same with an empty innermost define puts in no token at all, yet takes as many steps.
    std::string empty = exponential;
    empty.replace(exponential.find("#define A0 1\n"), 13, "#define A0\n");
    EXPECT_EQ("line 19: #define values expand to too many tokens", ErrorOf(empty));

    const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
    EXPECT_EQ("line 1: an expression nests too deep", ErrorOf("LANGUAGE " + deep + ", 0\n"));
    EXPECT_EQ("line 2: an expression nests too deep",
              ErrorOf("\nLANGUAGE " + std::string(100000, '-') + "1, 0\n"));
    // Nesting as deep as any script needs is read.
    EXPECT_EQ(1u, Parse("1 DIALOGEX ((((-(~(1)))))), 0, 1, 1\nBEGIN\nEND\n").dialogs.size());
}

}  // namespace
