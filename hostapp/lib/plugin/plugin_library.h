// A loaded FFGL plug-in library and its two entry points, reached as a host reaches them.
#ifndef FFGLHOST_PLUGIN_LIBRARY_H
#define FFGLHOST_PLUGIN_LIBRARY_H

#include <string>

#include "ffgl/abi.h"

namespace ffglhost {

class PluginLibrary {
  public:
    // Opens the library; throws HostError naming what went wrong (missing file, not a
    // shared library, no plugMain).
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& Path() const { return path_; }
    bool HasSetLogCallback() const { return setLogCallback_ != nullptr; }

    FFResult Call(uint32_t code, FFMixed input = 0, FFInstanceID instance = nullptr) const {
        return plugMain_(code, input, instance);
    }
    template <typename Record>
    FFResult Call(uint32_t code, Record* record, FFInstanceID instance = nullptr) const {
        return plugMain_(code, reinterpret_cast<uintptr_t>(record), instance);
    }
    // Installs the log function (null removes it); a no-op when the plug-in has no
    // SetLogCallback export.
    void SetLogCallback(FFLogFunc callback) const {
        if (setLogCallback_ != nullptr) {
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
