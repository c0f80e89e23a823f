#include "plugin_description.h"

#include <cstring>

namespace {

PluginDescription* g_description = nullptr;

// Copies at most `limit` bytes and stops after the first zero byte; the rest of the field
// keeps its zeros, so a source of `limit` characters or more fills it with no terminator.
void CopyFixedField(char* field, const char* source, size_t limit) {
    for (size_t i = 0; i < limit; ++i) {
        field[i] = source[i];
        if (source[i] == '\0') {
            break;
        }
    }
}

}  // namespace

PluginDescription::PluginDescription(InstanceFactory factory, const char* uniqueId,
                                     const char* name, uint32_t apiMajor, uint32_t apiMinor,
                                     uint32_t pluginMajor, uint32_t pluginMinor,
                                     uint32_t pluginType, const char* description,
                                     const char* about, uint32_t extendedDataSize,
                                     const void* extendedData, InitHook initHook,
                                     DeinitHook deinitHook)
    : about_(about),
      description_(description),
      factory_(factory),
      initHook_(initHook),
      deinitHook_(deinitHook) {
    info_.APIMajorVersion = apiMajor;
    info_.APIMinorVersion = apiMinor;
    CopyFixedField(info_.PluginName, name, sizeof(info_.PluginName));
    CopyFixedField(info_.PluginUniqueID, uniqueId, sizeof(info_.PluginUniqueID));
    info_.PluginType = pluginType;

    extendedInfo_.About = about_.c_str();
    extendedInfo_.Description = description_.c_str();
    extendedInfo_.PluginMajorVersion = pluginMajor;
    extendedInfo_.PluginMinorVersion = pluginMinor;
    if (extendedDataSize != 0 && extendedData != nullptr) {
        const auto* bytes = static_cast<const unsigned char*>(extendedData);
        extendedData_.assign(bytes, bytes + extendedDataSize);
        extendedInfo_.FreeFrameExtendedDataSize = extendedDataSize;
        extendedInfo_.FreeFrameExtendedDataBlock = extendedData_.data();
    }
    g_description = this;
}

PluginDescription::~PluginDescription() {
    if (g_description == this) {
        g_description = nullptr;
    }
}

PluginDescription* PluginDescription::Current() {
    return g_description;
}

PluginDescription* PluginDescription::Register(PluginDescription* description) {
    PluginDescription* previous = g_description;
    g_description = description;
    return previous;
}
