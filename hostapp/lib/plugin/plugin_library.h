// A loaded FFGL plug-in library and its two entry points, reached as a host reaches them.
#ifndef FFGLHOST_PLUGIN_LIBRARY_H
#define FFGLHOST_PLUGIN_LIBRARY_H

#include <string>

#include "call_monitor.h"
#include "ffgl/abi.h"

namespace ffglhost {

// Reads the ELF header and program headers of `path` and throws HostError unless it is a
// 64-bit shared library for this machine whose program headers and segments lie inside
// the file (a truncated library would fault when its pages are touched).
void CheckElfFile(const std::string& path);

class PluginLibrary {
  public:
    // Checks the file (CheckElfFile) and opens the library; throws HostError naming what
    // went wrong (missing file, not a shared library for this machine, no plugMain).
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& Path() const { return path_; }
    bool HasSetLogCallback() const { return setLogCallback_ != nullptr; }

    // Every call is published as the call in flight (see CallScope).
    FFResult Call(uint32_t code, FFMixed input = 0, FFInstanceID instance = nullptr) const {
        CallScope scope(code);
        return plugMain_(code, input, instance);
    }
    template <typename Record>
    FFResult Call(uint32_t code, Record* record, FFInstanceID instance = nullptr) const {
        return Call(code, static_cast<FFMixed>(reinterpret_cast<uintptr_t>(record)), instance);
    }
    // Installs the log function (null removes it); a no-op when the plug-in has no
    // SetLogCallback export.
    void SetLogCallback(FFLogFunc callback) const {
        if (setLogCallback_ != nullptr) {
            CallScope call(kSettingLogCallback);
            setLogCallback_(callback);
        }
    }

    // Result-word helpers: the low half as a status or number, as a float, or a pointer.
    static uint32_t Low(FFResult result) { return static_cast<uint32_t>(result); }
    static float AsFloat(FFResult result) { return BitsToFloat(Low(result)); }
    template <typename T>
    static T* AsPointer(FFResult result) {
        return reinterpret_cast<T*>(static_cast<uintptr_t>(result));
    }
    static FFMixed FloatInput(float value) { return FloatToBits(value); }

  private:
    std::string path_;
    void* handle_ = nullptr;
    FFPlugMainFunc plugMain_ = nullptr;
    FFSetLogCallbackFunc setLogCallback_ = nullptr;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PLUGIN_LIBRARY_H
