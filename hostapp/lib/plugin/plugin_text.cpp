#include "plugin_text.h"

#include <cstdio>

namespace ffglhost {

namespace {

// Length of the UTF-8 sequence at text[i] when it is well formed and not a C1 control
// character (U+0080..U+009F, which terminals also obey); 0 otherwise.
size_t PrintableSequence(const std::string& text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                                                         : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const bool c1 = lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    return c1 ? 0 : length;
}

}  // namespace

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
        const size_t sequence = byte >= 0x80 ? PrintableSequence(text, i) : 0;
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
