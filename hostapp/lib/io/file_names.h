// Small helpers for the file names the host reads and writes.
#ifndef FFGLHOST_FILE_NAMES_H
#define FFGLHOST_FILE_NAMES_H

#include <string>
#include <vector>

namespace ffglhost {

// The extension with its dot, lower-cased ("clip.MP4" -> ".mp4"); empty when the last
// path component has none.
std::string LowercaseExtension(const std::string& path);

// True when `path` names an existing directory.
bool IsDirectory(const std::string& path);

// Creates `path` and any missing directories above it; answers the ones it created,
// outermost first. Throws HostError (having removed what it created) on failure.
std::vector<std::string> MakeDirectories(const std::string& path);

// Removes the directories MakeDirectories answered, innermost first, where now empty.
void RemoveDirectories(const std::vector<std::string>& created);

// The directory part of `path` ("" when it has none).
std::string ParentDirectory(const std::string& path);

}  // namespace ffglhost

#endif  // FFGLHOST_FILE_NAMES_H
