#include "plugin_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

// True when the file starts with the ELF magic number.
bool LooksLikeSharedLibrary(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    unsigned char magic[4] = {};
    const size_t read = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    return read == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        throw HostError("plug-in not found: " + path);
    }
    if (!S_ISREG(info.st_mode) || !LooksLikeSharedLibrary(path)) {
        throw HostError("not a shared library: " + path);
    }
    // A path without a slash would make dlopen search the library path instead.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw HostError("cannot load " + path + ": " + (reason ? reason : "unknown error"));
    }
    plugMain_ = reinterpret_cast<FFPlugMainFunc>(dlsym(handle_, "plugMain"));
    if (plugMain_ == nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
        throw HostError("not an FFGL plug-in (no plugMain export): " + path);
    }
    setLogCallback_ = reinterpret_cast<FFSetLogCallbackFunc>(dlsym(handle_, "SetLogCallback"));
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

}  // namespace ffglhost
