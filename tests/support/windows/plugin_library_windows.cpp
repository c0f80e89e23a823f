// The host library's plug-in loader on Windows: LoadLibrary and GetProcAddress in place of
// dlopen and dlsym, with the same errors.
#include <windows.h>

#include <string>

#include "lib/host_error.h"
#include "lib/plugin/plugin_library.h"

namespace ffglhost {

namespace {

// A bare file name means the file beside the running program, never a search of the
// system's DLL folders.
std::string ResolvePath(const std::string& path) {
    if (path.find_first_of("\\/:") != std::string::npos) {
        return path;
    }
    char program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string folder(program, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + path;
}

std::string LastErrorText() {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, GetLastError(), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text != nullptr ? text : "unknown error";
    LocalFree(text);
    return message;
}

// An export's address, as dlsym answers it.
void* Export(HMODULE module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}

// Loads the library; throws when the file is missing or Windows cannot load it.
HMODULE OpenModule(const std::string& path) {
    const std::string fullPath = ResolvePath(path);
    const DWORD attributes = GetFileAttributesA(fullPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw HostError("plug-in not found: " + path);
    }
    HMODULE module = LoadLibraryExA(fullPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        throw HostError("cannot load " + path + ": " + LastErrorText());
    }
    return module;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    HMODULE module = OpenModule(path);
    plugMain_ = reinterpret_cast<FFPlugMainFunc>(Export(module, "plugMain"));
    setLogCallback_ = reinterpret_cast<FFSetLogCallbackFunc>(Export(module, "SetLogCallback"));
    if (plugMain_ == nullptr) {
        FreeLibrary(module);
        throw HostError("not an FFGL plug-in (no plugMain export): " + path);
    }
    handle_ = module;
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
    }
}

}  // namespace ffglhost
