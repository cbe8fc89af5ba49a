// Text for XML and HTML: the markup characters escaped, and what XML cannot hold at all (control
// characters, bytes that are not UTF-8) replaced by U+FFFD, so that a scene's name cannot make
// the picture or the page invalid.
#pragma once

#include <cstdint>
#include <string>

namespace scene {

inline std::string MarkupText(const std::string& in_text) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    size_t uIndex = 0;
    while (uIndex < in_text.size()) {
        const unsigned char c = static_cast<unsigned char>(in_text[uIndex]);
        if (c < 0x80) {
            ++uIndex;
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += kReplacement;
            } else if (c == '&') {
                out += "&amp;";
            } else if (c == '<') {
                out += "&lt;";
            } else if (c == '>') {
                out += "&gt;";
            } else if (c == '"') {
                out += "&quot;";
            } else if (c == '\'') {
                out += "&#39;";
            } else {
                out += static_cast<char>(c);
            }
            continue;
        }
        // A UTF-8 sequence: its length from the lead byte, then continuation bytes, no overlong
        // forms, no surrogates, nothing above U+10FFFF, and not U+FFFE or U+FFFF.
        const size_t uLength = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        uint32_t uCode = uLength == 4 ? c & 0x07u : uLength == 3 ? c & 0x0Fu : c & 0x1Fu;
        bool bValid = uLength != 0 && c < 0xF5 && uIndex + uLength <= in_text.size();
        for (size_t uByte = 1; bValid && uByte < uLength; ++uByte) {
            const unsigned char next = static_cast<unsigned char>(in_text[uIndex + uByte]);
            bValid = (next & 0xC0u) == 0x80u;
            uCode = (uCode << 6) | (next & 0x3Fu);
        }
        bValid = bValid && !(uLength == 3 && uCode < 0x800) && !(uLength == 4 && uCode < 0x10000) &&
                 uCode <= 0x10FFFF && !(uCode >= 0xD800 && uCode <= 0xDFFF) && uCode != 0xFFFE &&
                 uCode != 0xFFFF;
        if (bValid) {
            out.append(in_text, uIndex, uLength);
            uIndex += uLength;
        } else {
            out += kReplacement;
            ++uIndex;
        }
    }
    return out;
}

}  // namespace scene
