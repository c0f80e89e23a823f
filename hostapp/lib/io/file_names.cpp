#include "file_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "lib/host_error.h"

namespace ffglhost {

std::string LowercaseExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart) {
        return "";
    }
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> MakeDirectories(const std::string& path) {
    std::vector<std::string> created;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    if (trimmed.empty()) {
        return created;
    }
    for (size_t slash = trimmed.find('/', 1);; slash = trimmed.find('/', slash + 1)) {
        const std::string prefix = trimmed.substr(0, slash);
        if (!IsDirectory(prefix)) {
            if (mkdir(prefix.c_str(), 0777) != 0) {
                const std::string reason = std::strerror(errno);
                RemoveDirectories(created);
                throw HostError("cannot create directory " + prefix + ": " + reason);
            }
            created.push_back(prefix);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return created;
}

void RemoveDirectories(const std::vector<std::string>& created) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) {
        rmdir(it->c_str());
    }
}

std::string ParentDirectory(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return "";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace ffglhost
