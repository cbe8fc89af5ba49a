// The reader of resource scripts: a line pass for the preprocessor directives and comments, then
// a token pass over what is left.

#include "standin/ResourceScript.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>

namespace standin {
namespace {

// The names that the Windows resource headers give to styles and ids and that our scripts use.
const std::map<std::string, long long>& BuiltInNames() {
    static const std::map<std::string, long long>* s_pNames = new std::map<std::string, long long>{
        {"WS_OVERLAPPED", WS_OVERLAPPED},
        {"WS_POPUP", WS_POPUP},
        {"WS_CHILD", WS_CHILD},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
        {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
        {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},
        {"WS_SYSMENU", WS_SYSMENU},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"DS_FIXEDSYS", DS_FIXEDSYS},
        {"DS_SETFONT", DS_SETFONT},
        {"DS_CONTROL", DS_CONTROL},
        {"DS_SHELLFONT", DS_SHELLFONT},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"BS_CHECKBOX", BS_CHECKBOX},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_GROUPBOX", BS_GROUPBOX},
        {"SS_LEFT", SS_LEFT},
        {"SS_CENTER", SS_CENTER},
        {"SS_RIGHT", SS_RIGHT},
        {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
        {"IDC_STATIC", -1},
        {"IDOK", 1},
        {"IDCANCEL", 2},
        {"LANG_NEUTRAL", 0},
        {"LANG_ENGLISH", 0x09},
        {"SUBLANG_NEUTRAL", 0},
        {"SUBLANG_DEFAULT", 1},
        {"SUBLANG_ENGLISH_US", 1},
    };
    return *s_pNames;
}

std::string Upper(std::string in_text) {
    for (char& c : in_text) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    return in_text;
}

// UTF-8 to wide characters (the scripts are ASCII or UTF-8).
std::wstring Widen(const std::string& in_text) {
    std::wstring wide;
    for (size_t i = 0; i < in_text.size();) {
        const unsigned char c = static_cast<unsigned char>(in_text[i]);
        uint32_t uCode = c;
        size_t uLength = 1;
        if (c >= 0xF0) {
            uCode = c & 0x07u;
            uLength = 4;
        } else if (c >= 0xE0) {
            uCode = c & 0x0Fu;
            uLength = 3;
        } else if (c >= 0xC0) {
            uCode = c & 0x1Fu;
            uLength = 2;
        }
        for (size_t k = 1; k < uLength && i + k < in_text.size(); ++k) {
            uCode = (uCode << 6) | (static_cast<unsigned char>(in_text[i + k]) & 0x3Fu);
        }
        wide.push_back(static_cast<wchar_t>(uCode));
        i += uLength;
    }
    return wide;
}

enum class TokenKind { Name, Number, String, Punct, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // the name, the string's contents, or the punctuation
    long long iValue = 0;
    int iLine = 0;
};

class Failure {
public:
    bool Failed() const { return !m_message.empty(); }
    void Set(int in_iLine, const std::string& in_message) {
        if (m_message.empty()) {
            std::ostringstream text;
            text << "line " << in_iLine << ": " << in_message;
            m_message = text.str();
        }
    }
    const std::string& Message() const { return m_message; }

private:
    std::string m_message;
};

// Splits one line (comments already removed) into tokens.
void TokenizeLine(const std::string& in_line, int in_iLine, std::vector<Token>& io_tokens,
                  Failure& io_failure) {
    size_t i = 0;
    while (i < in_line.size() && !io_failure.Failed()) {
        const char c = in_line[i];
        if (isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        Token token;
        token.iLine = in_iLine;
        if (isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t uEnd = i;
            while (uEnd < in_line.size() &&
                   (isalnum(static_cast<unsigned char>(in_line[uEnd])) || in_line[uEnd] == '_')) {
                ++uEnd;
            }
            token.kind = TokenKind::Name;
            token.text = in_line.substr(i, uEnd - i);
            i = uEnd;
        } else if (isdigit(static_cast<unsigned char>(c))) {
            size_t uEnd = i;
            const bool bHex = c == '0' && i + 1 < in_line.size() &&
                              (in_line[i + 1] == 'x' || in_line[i + 1] == 'X');
            uEnd += bHex ? 2 : 0;
            while (uEnd < in_line.size() &&
                   (bHex ? isxdigit(static_cast<unsigned char>(in_line[uEnd]))
                         : isdigit(static_cast<unsigned char>(in_line[uEnd])))) {
                ++uEnd;
            }
            const std::string digits = in_line.substr(i, uEnd - i);
            if (digits == "0x" || digits == "0X") {
                io_failure.Set(in_iLine, "a hexadecimal number without digits");
                return;
            }
            token.kind = TokenKind::Number;
            token.iValue = strtoll(digits.c_str(), nullptr, bHex ? 16 : 10);
            while (uEnd < in_line.size() &&
                   (toupper(static_cast<unsigned char>(in_line[uEnd])) == 'L' ||
                    toupper(static_cast<unsigned char>(in_line[uEnd])) == 'U')) {
                ++uEnd;
            }
            if (uEnd < in_line.size() &&
                (isalnum(static_cast<unsigned char>(in_line[uEnd])) || in_line[uEnd] == '_')) {
                io_failure.Set(in_iLine, "a malformed number");
                return;
            }
            token.text = in_line.substr(i, uEnd - i);
            i = uEnd;
        } else if (c == '"') {
            // "" stands for one quote; backslash escapes as in C.
            ++i;
            bool bClosed = false;
            while (i < in_line.size()) {
                const char d = in_line[i];
                if (d == '"') {
                    if (i + 1 < in_line.size() && in_line[i + 1] == '"') {
                        token.text.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    bClosed = true;
                    break;
                }
                if (d == '\\' && i + 1 < in_line.size()) {
                    const char e = in_line[i + 1];
                    token.text.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e);
                    i += 2;
                    continue;
                }
                token.text.push_back(d);
                ++i;
            }
            if (!bClosed) {
                io_failure.Set(in_iLine, "a string without its closing quote");
                return;
            }
            token.kind = TokenKind::String;
        } else if (std::string(",|(){}-~").find(c) != std::string::npos) {
            token.kind = TokenKind::Punct;
            token.text = std::string(1, c);
            ++i;
        } else {
            io_failure.Set(in_iLine, std::string("an unexpected character '") + c + "'");
            return;
        }
        io_tokens.push_back(token);
    }
}

// The preprocessor pass: removes comments, follows #ifdef/#ifndef/#else/#endif, records #define,
// ignores system #include, and turns every other line into tokens.
void Preprocess(const std::string& in_text, std::vector<Token>& out_tokens,
                std::map<std::string, std::vector<Token>>& out_defines, Failure& io_failure) {
    std::istringstream lines(in_text);
    std::string line;
    int iLine = 0;
    bool bInBlockComment = false;
    std::vector<bool> conditions;  // one per open #if: whether its current branch is active
    auto active = [&conditions]() {
        for (bool bActive : conditions) {
            if (!bActive) {
                return false;
            }
        }
        return true;
    };
    while (std::getline(lines, line) && !io_failure.Failed()) {
        ++iLine;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // Comments: // to the end of the line, /* */ across lines; not inside strings.
        std::string code;
        bool bInString = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (bInBlockComment) {
                if (line.compare(i, 2, "*/") == 0) {
                    bInBlockComment = false;
                    ++i;
                }
                continue;
            }
            if (line[i] == '"') {
                bInString = !bInString;
            }
            if (!bInString && line.compare(i, 2, "//") == 0) {
                break;
            }
            if (!bInString && line.compare(i, 2, "/*") == 0) {
                bInBlockComment = true;
                ++i;
                code.push_back(' ');
                continue;
            }
            code.push_back(line[i]);
        }
        size_t uFirst = code.find_first_not_of(" \t");
        if (uFirst == std::string::npos) {
            continue;
        }
        if (code[uFirst] != '#') {
            if (active()) {
                TokenizeLine(code, iLine, out_tokens, io_failure);
            }
            continue;
        }
        std::istringstream directive(code.substr(uFirst + 1));
        std::string keyword;
        directive >> keyword;
        std::string argument;
        directive >> argument;
        if (keyword == "ifdef" || keyword == "ifndef") {
            const bool bDefined =
                out_defines.count(argument) != 0 || BuiltInNames().count(argument) != 0;
            conditions.push_back(keyword == "ifdef" ? bDefined : !bDefined);
        } else if (keyword == "else") {
            if (conditions.empty()) {
                io_failure.Set(iLine, "#else without #if");
            } else {
                conditions.back() = !conditions.back();
            }
        } else if (keyword == "endif") {
            if (conditions.empty()) {
                io_failure.Set(iLine, "#endif without #if");
            } else {
                conditions.pop_back();
            }
        } else if (!active()) {
            continue;
        } else if (keyword == "define") {
            if (argument.empty()) {
                io_failure.Set(iLine, "#define without a name");
                continue;
            }
            std::string rest;
            std::getline(directive, rest);
            std::vector<Token> value;
            TokenizeLine(rest, iLine, value, io_failure);
            out_defines[argument] = value;
        } else if (keyword == "include") {
            if (argument.empty() || argument[0] != '<') {
                io_failure.Set(iLine,
                               "only system headers (#include <...>) may be left for the reader; "
                               "quoted includes are put in place when the script is embedded");
            }
        } else if (keyword == "pragma" || keyword == "undef") {
            if (keyword == "undef") {
                out_defines.erase(argument);
            }
        } else {
            io_failure.Set(iLine, "the directive #" + keyword + " is not supported");
        }
    }
    if (!io_failure.Failed() && !conditions.empty()) {
        io_failure.Set(iLine, "#if without #endif");
    }
}

// Style expressions keep the bits set and the bits cleared (NOT) apart, so that a statement's
// defaults can be combined with them as the resource compiler does.
struct StyleValue {
    long long iSet = 0;
    long long iCleared = 0;
};

class Parser {
public:
    Parser(std::vector<Token> in_tokens, std::map<std::string, std::vector<Token>> in_defines,
           Failure& io_failure)
        : m_tokens(std::move(in_tokens)), m_defines(std::move(in_defines)), m_failure(io_failure) {
        ExpandDefines();
    }

    void ParseScript(ResourceScript& out_rScript) {
        while (!AtEnd() && !m_failure.Failed()) {
            if (IsName("LANGUAGE")) {
                Next();
                Expression();
                Expect(",");
                Expression();
                continue;
            }
            DialogTemplate dialog;
            const Token nameToken = Next();
            if (nameToken.kind == TokenKind::Number) {
                dialog.bNumericName = true;
                dialog.uId = static_cast<uint32_t>(nameToken.iValue);
            } else if (nameToken.kind == TokenKind::Name) {
                dialog.bNumericName = false;
                dialog.name = Widen(nameToken.text);
            } else {
                Fail(nameToken, "a resource name or number was expected");
                return;
            }
            const Token typeToken = Next();
            if (typeToken.kind != TokenKind::Name || Upper(typeToken.text) != "DIALOGEX") {
                Fail(typeToken,
                     "only DIALOGEX resources are supported, found '" + typeToken.text + "'");
                return;
            }
            ParseDialog(dialog);
            out_rScript.dialogs.push_back(dialog);
        }
    }

private:
    // Replaces names defined with #define by their values (a define may use earlier ones).
    void ExpandDefines() {
        std::vector<Token> expanded;
        for (const Token& token : m_tokens) {
            AppendExpanded(token, expanded, 0);
        }
        m_tokens.swap(expanded);
    }

    void AppendExpanded(const Token& in_token, std::vector<Token>& io_out, int in_iDepth) {
        if (m_failure.Failed()) {
            return;
        }
        // Defines that use each other several times grow exponentially, even when the innermost
        // ones are empty: every step of an expansion counts, so a script whose defines need more
        // steps than any dialog does is refused rather than read for minutes. (The script's own
        // tokens are bounded by its text.)
        if (in_iDepth > 0 && ++m_uExpansionSteps > kMaxExpansionSteps) {
            Fail(in_token, "#define values expand to too many tokens");
            return;
        }
        auto it =
            in_token.kind == TokenKind::Name ? m_defines.find(in_token.text) : m_defines.end();
        if (it == m_defines.end()) {
            io_out.push_back(in_token);
            return;
        }
        if (in_iDepth > 16) {
            Fail(in_token, "#define values nest too deep");
            return;
        }
        for (Token token : it->second) {
            token.iLine = in_token.iLine;
            AppendExpanded(token, io_out, in_iDepth + 1);
        }
    }

    bool AtEnd() const { return m_uPos >= m_tokens.size(); }
    const Token& Peek() const {
        static const Token s_end;
        return AtEnd() ? s_end : m_tokens[m_uPos];
    }
    Token Next() {
        Token token = Peek();
        if (AtEnd()) {
            token.iLine = m_tokens.empty() ? 0 : m_tokens.back().iLine;
        } else {
            ++m_uPos;
        }
        return token;
    }
    bool IsName(const char* in_pszKeyword) const {
        return Peek().kind == TokenKind::Name && Upper(Peek().text) == in_pszKeyword;
    }
    bool IsPunct(const char* in_pszPunct) const {
        return Peek().kind == TokenKind::Punct && Peek().text == in_pszPunct;
    }
    void Fail(const Token& in_token, const std::string& in_message) {
        m_failure.Set(in_token.iLine, in_message);
        m_uPos = m_tokens.size();
    }
    void Expect(const char* in_pszPunct) {
        if (!IsPunct(in_pszPunct)) {
            Fail(Peek(), std::string("'") + in_pszPunct + "' was expected");
            return;
        }
        Next();
    }
    bool TakeComma() {
        if (IsPunct(",")) {
            Next();
            return true;
        }
        return false;
    }

    StyleValue Primary() {
        // Parentheses and signs nest by recursion: bound it, so that no script can exhaust the
        // stack.
        StyleValue value;
        if (m_iExpressionDepth >= kMaxExpressionDepth) {
            Fail(Peek(), "an expression nests too deep");
            return value;
        }
        ++m_iExpressionDepth;
        value = PrimaryWithin();
        --m_iExpressionDepth;
        return value;
    }

    StyleValue PrimaryWithin() {
        const Token token = Next();
        StyleValue value;
        if (token.kind == TokenKind::Number) {
            value.iSet = token.iValue;
        } else if (token.kind == TokenKind::Punct && token.text == "(") {
            value = Style();
            Expect(")");
        } else if (token.kind == TokenKind::Punct && (token.text == "-" || token.text == "~")) {
            const StyleValue operand = Primary();
            // Two's complement on 64 bits, wrapping as the resource compiler's own arithmetic
            // does: the negation of the most negative value is that value, not an overflow.
            const unsigned long long uOperand = static_cast<unsigned long long>(operand.iSet);
            value.iSet = static_cast<long long>(token.text == "-" ? 0ull - uOperand : ~uOperand);
        } else if (token.kind == TokenKind::Name && Upper(token.text) == "NOT") {
            const StyleValue operand = Primary();
            value.iCleared = operand.iSet;
        } else if (token.kind == TokenKind::Name) {
            auto it = BuiltInNames().find(token.text);
            if (it == BuiltInNames().end()) {
                Fail(token, "the name '" + token.text + "' is not known");
            } else {
                value.iSet = it->second;
            }
        } else {
            Fail(token, "a number or a name was expected");
        }
        return value;
    }

    StyleValue Style() {
        StyleValue value = Primary();
        while (IsPunct("|") && !m_failure.Failed()) {
            Next();
            const StyleValue operand = Primary();
            value.iSet = (value.iSet & ~operand.iCleared) | operand.iSet;
            value.iCleared = (value.iCleared & ~operand.iSet) | operand.iCleared;
        }
        return value;
    }

    int Expression() {
        const StyleValue value = Style();
        if (value.iCleared != 0) {
            Fail(Peek(), "NOT may only stand in a style");
        }
        return static_cast<int>(value.iSet);
    }

    static DWORD Combine(DWORD in_dwDefault, const StyleValue& in_style) {
        return static_cast<DWORD>((in_dwDefault | static_cast<DWORD>(in_style.iSet)) &
                                  ~static_cast<DWORD>(in_style.iCleared));
    }

    std::wstring String() {
        const Token token = Next();
        if (token.kind != TokenKind::String) {
            Fail(token, "a quoted text was expected");
            return std::wstring();
        }
        return Widen(token.text);
    }

    void ParseDialog(DialogTemplate& io_dialog) {
        io_dialog.x = Expression();
        Expect(",");
        io_dialog.y = Expression();
        Expect(",");
        io_dialog.cx = Expression();
        Expect(",");
        io_dialog.cy = Expression();
        if (TakeComma()) {
            Expression();  // help id
        }
        while (!m_failure.Failed() && !IsName("BEGIN") && !IsPunct("{")) {
            const Token option = Next();
            const std::string keyword = option.kind == TokenKind::Name ? Upper(option.text) : "";
            if (keyword == "STYLE") {
                io_dialog.style = Combine(0, Style());
            } else if (keyword == "EXSTYLE") {
                io_dialog.exStyle = static_cast<DWORD>(Expression());
            } else if (keyword == "CAPTION") {
                io_dialog.caption = String();
            } else if (keyword == "FONT") {
                io_dialog.iFontPointSize = Expression();
                Expect(",");
                io_dialog.fontFace = String();
                for (int i = 0; i < 3 && TakeComma(); ++i) {
                    Expression();  // weight, italic, character set
                }
            } else if (keyword == "LANGUAGE") {
                Expression();
                Expect(",");
                Expression();
            } else {
                Fail(option, "the dialog option '" + option.text + "' is not supported");
            }
        }
        if (m_failure.Failed()) {
            return;
        }
        Next();  // BEGIN
        while (!m_failure.Failed() && !IsName("END") && !IsPunct("}")) {
            if (AtEnd()) {
                Fail(Peek(), "the dialog has no END");
                return;
            }
            DialogControlTemplate control;
            ParseControl(control);
            io_dialog.controls.push_back(control);
        }
        Next();  // END
    }

    void ParseControl(DialogControlTemplate& out_rControl) {
        const Token statement = Next();
        const std::string keyword = statement.kind == TokenKind::Name ? Upper(statement.text) : "";
        const DWORD dwChild = WS_CHILD | WS_VISIBLE;
        if (keyword == "CONTROL") {
            out_rControl.text = String();
            Expect(",");
            out_rControl.id = Expression();
            Expect(",");
            const Token classToken = Next();
            if (classToken.kind == TokenKind::String || classToken.kind == TokenKind::Name) {
                const std::string upper = Upper(classToken.text);
                out_rControl.className = upper == "BUTTON"   ? L"Button"
                                         : upper == "STATIC" ? L"Static"
                                                             : Widen(classToken.text);
            } else {
                Fail(classToken, "a control class was expected");
                return;
            }
            Expect(",");
            out_rControl.style = Combine(dwChild, Style());
            Expect(",");
            ParseRect(out_rControl);
            if (TakeComma()) {
                out_rControl.exStyle = static_cast<DWORD>(Expression());
                if (TakeComma()) {
                    Expression();  // help id
                }
            }
            return;
        }
        struct Statement {
            const char* pszKeyword;
            const wchar_t* pszClass;
            DWORD dwDefaultStyle;
        };
        static const Statement s_statements[] = {
            {"LTEXT", L"Static", SS_LEFT | WS_GROUP},
            {"RTEXT", L"Static", SS_RIGHT | WS_GROUP},
            {"CTEXT", L"Static", SS_CENTER | WS_GROUP},
            {"GROUPBOX", L"Button", BS_GROUPBOX},
            {"PUSHBUTTON", L"Button", BS_PUSHBUTTON | WS_TABSTOP},
            {"DEFPUSHBUTTON", L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP},
            {"CHECKBOX", L"Button", BS_CHECKBOX | WS_TABSTOP},
            {"AUTOCHECKBOX", L"Button", BS_AUTOCHECKBOX | WS_TABSTOP},
        };
        for (const Statement& known : s_statements) {
            if (keyword != known.pszKeyword) {
                continue;
            }
            out_rControl.className = known.pszClass;
            out_rControl.text = String();
            Expect(",");
            out_rControl.id = Expression();
            Expect(",");
            ParseRect(out_rControl);
            StyleValue style;
            if (TakeComma()) {
                style = Style();
                if (TakeComma()) {
                    out_rControl.exStyle = static_cast<DWORD>(Expression());
                    if (TakeComma()) {
                        Expression();  // help id
                    }
                }
            }
            out_rControl.style = Combine(dwChild | known.dwDefaultStyle, style);
            return;
        }
        Fail(statement, "the control statement '" + statement.text + "' is not supported");
    }

    void ParseRect(DialogControlTemplate& io_control) {
        io_control.x = Expression();
        Expect(",");
        io_control.y = Expression();
        Expect(",");
        io_control.cx = Expression();
        Expect(",");
        io_control.cy = Expression();
    }

    // Far beyond what any dialog script uses (ours need a few dozen expansion steps).
    static constexpr size_t kMaxExpansionSteps = 1u << 12;
    static constexpr int kMaxExpressionDepth = 64;

    std::vector<Token> m_tokens;
    std::map<std::string, std::vector<Token>> m_defines;
    Failure& m_failure;
    size_t m_uPos = 0;
    int m_iExpressionDepth = 0;
    size_t m_uExpansionSteps = 0;  // names and tokens that defines have put in so far
};

}  // namespace

bool ParseResourceScript(const std::string& in_text, ResourceScript& out_rScript,
                         std::string& out_rError) {
    out_rScript = ResourceScript();
    out_rError.clear();
    Failure failure;
    std::vector<Token> tokens;
    std::map<std::string, std::vector<Token>> defines;
    Preprocess(in_text, tokens, defines, failure);
    if (!failure.Failed()) {
        Parser parser(std::move(tokens), std::move(defines), failure);
        parser.ParseScript(out_rScript);
    }
    if (failure.Failed()) {
        out_rScript = ResourceScript();
        out_rError = failure.Message();
        return false;
    }
    return true;
}

}  // namespace standin
