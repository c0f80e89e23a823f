#include "plugin_text.h"

#include <charconv>
#include <cstdio>

namespace ffglhost {

size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    const size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                                                         : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    // The second byte's range narrows after E0 (overlong), ED (surrogates), F0 (overlong)
    // and F4 (beyond U+10FFFF).
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t k = 2; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

std::string FormatFloat(float value) {
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string ReadBoundedText(const char* text, size_t limit) {
    if (text == nullptr) {
        return "";
    }
    size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    return std::string(text, length);
}

std::string PrintableText(const std::string& text, size_t maxLength) {
    std::string shown;
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i, ++characters) {
        if (characters == maxLength) {
            return shown + "...";
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += text[i];
            continue;
        }
        // A C1 control character (U+0080..U+009F) is obeyed by terminals too.
        const bool c1 =
            byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        const size_t sequence = byte >= 0x80 && !c1 ? Utf8SequenceLength(text, i) : 0;
        if (sequence > 0) {
            shown.append(text, i, sequence);
            i += sequence - 1;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        shown += escaped;
    }
    return shown;
}

}  // namespace ffglhost
