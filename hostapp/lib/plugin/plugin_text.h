// Texts that come from a plug-in: read with a bound, checked as UTF-8, made safe to show on
// a terminal; and the one way the host writes a plug-in's numbers.
#ifndef FFGLHOST_PLUGIN_TEXT_H
#define FFGLHOST_PLUGIN_TEXT_H

#include <cstddef>
#include <string>

namespace ffglhost {

// The most bytes read from any text a plug-in hands over.
constexpr size_t kMaxPluginText = 4096;

// The text at `text` up to its terminator or `limit` bytes, whichever comes first; empty
// for null. Also reads fixed-width fields that may fill their width without a terminator.
std::string ReadBoundedText(const char* text, size_t limit = kMaxPluginText);

// Length of the well-formed UTF-8 sequence starting at text[i], or 0 when it is not one:
// no overlong forms, no surrogates (U+D800..U+DFFF), nothing above U+10FFFF, so that what
// passes is valid in JSON too.
size_t Utf8SequenceLength(const std::string& text, size_t i);

// The shortest decimal text that reads back as the same float ("0.9" for 0.9f, "1e-07",
// "inf", "nan").
std::string FormatFloat(float value);

// `text` with control characters (and bytes that are not UTF-8) shown as visible escapes
// such as \x1b, so it cannot move the cursor, clear or retitle a terminal, or break a
// line; cut to `maxLength` characters with "..." when longer.
std::string PrintableText(const std::string& text, size_t maxLength = 1000);

}  // namespace ffglhost

#endif  // FFGLHOST_PLUGIN_TEXT_H
