// Texts that come from a plug-in: read with a bound, and made safe to show on a terminal.
#ifndef FFGLHOST_PLUGIN_TEXT_H
#define FFGLHOST_PLUGIN_TEXT_H

#include <cstddef>
#include <string>

namespace ffglhost {

// The most bytes read from any text a plug-in hands over.
constexpr size_t kMaxPluginText = 4096;

// The text at `text` up to its terminator or `limit` bytes, whichever comes first; empty
// for null.
std::string ReadBoundedText(const char* text, size_t limit = kMaxPluginText);

// `text` with control characters (and bytes that are not UTF-8) shown as visible escapes
// such as \x1b, so it cannot move the cursor, clear or retitle a terminal, or break a
// line; cut to `maxLength` characters with "..." when longer.
std::string PrintableText(const std::string& text, size_t maxLength = 1000);

}  // namespace ffglhost

#endif  // FFGLHOST_PLUGIN_TEXT_H
