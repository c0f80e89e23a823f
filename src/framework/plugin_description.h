// The module's static self-description: the two information records the host reads,
// and the factory that makes effect instances.
#ifndef QUELLIX_FRAMEWORK_PLUGIN_DESCRIPTION_H
#define QUELLIX_FRAMEWORK_PLUGIN_DESCRIPTION_H

#include <string>
#include <vector>

#include "ffgl/abi.h"

class CFFGLPlugin;

// Stores a new instance through the out-pointer and answers FF_SUCCESS; on failure stores
// null and answers FF_FAIL. The caller owns the instance.
using InstanceFactory = uint32_t (*)(CFFGLPlugin** instance);
// Runs before the prototype instance is created; a non-zero answer stops the creation.
using InitHook = uint32_t (*)();
// Runs after the prototype instance is destroyed; its answer is ignored.
using DeinitHook = uint32_t (*)();

class PluginDescription {
  public:
    PluginDescription(InstanceFactory factory, const char* uniqueId, const char* name,
                      uint32_t apiMajor, uint32_t apiMinor, uint32_t pluginMajor,
                      uint32_t pluginMinor, uint32_t pluginType, const char* description,
                      const char* about, uint32_t extendedDataSize = 0,
                      const void* extendedData = nullptr, InitHook initHook = nullptr,
                      DeinitHook deinitHook = nullptr);
    ~PluginDescription();
    PluginDescription(const PluginDescription&) = delete;
    PluginDescription& operator=(const PluginDescription&) = delete;

    // The registered description, or null before static initialisation (and after unload).
    static PluginDescription* Current();
    // Registers `description` (null clears it) and answers the one it replaced. Lets
    // tests put a description of their own in front of the module's.
    static PluginDescription* Register(PluginDescription* description);

    const PluginInfoStruct* GetInfoRecord() const { return &info_; }
    const PluginExtendedInfoStruct* GetExtendedInfoRecord() const { return &extendedInfo_; }
    InstanceFactory GetFactory() const { return factory_; }
    InitHook GetInitHook() const { return initHook_; }
    DeinitHook GetDeinitHook() const { return deinitHook_; }

  private:
    // The two host-visible records come first: the description's address is a valid
    // PluginInfoStruct pointer.
    PluginInfoStruct info_{};
    PluginExtendedInfoStruct extendedInfo_{};
    std::string about_;
    std::string description_;
    InstanceFactory factory_ = nullptr;
    InitHook initHook_ = nullptr;
    DeinitHook deinitHook_ = nullptr;
    std::vector<unsigned char> extendedData_;
};

#endif  // QUELLIX_FRAMEWORK_PLUGIN_DESCRIPTION_H
