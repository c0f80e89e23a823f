#include "plugin_report.h"

#include "lib/host_error.h"
#include "plugin_text.h"

namespace ffglhost {

const char* PluginTypeName(uint32_t type) {
    switch (type) {
        case 0:
            return "effect";
        case 1:
            return "source";
        case 2:
            return "mixer";
        default:
            return "unknown";
    }
}

namespace {

std::string TextOrEmpty(const char* text) {
    return ReadBoundedText(text);
}

// Whether a number or status answer is the code's failure answer from the code table.
bool Failed(uint32_t code, FFResult answer) {
    return PluginLibrary::Low(answer) == PluginLibrary::Low(FindFunction(code)->failure);
}

// The parameter count, refused when it is beyond any real plug-in (a broken answer
// would otherwise make the host read billions of parameters).
uint32_t ParameterCount(const PluginLibrary& plugin) {
    const FFResult answer = plugin.Call(FF_GET_NUM_PARAMETERS);
    if (Failed(FF_GET_NUM_PARAMETERS, answer)) {
        return 0;
    }
    const uint32_t count = PluginLibrary::Low(answer);
    if (count > kMaxParameters) {
        throw HostError("the plug-in says it has " + std::to_string(count) +
                        " parameters; ffgl-host reads at most " + std::to_string(kMaxParameters));
    }
    return count;
}

}  // namespace

PluginReport ReadPluginReport(const PluginLibrary& plugin, FFInstanceID instance) {
    using L = PluginLibrary;
    const auto* info = L::AsPointer<const PluginInfoStruct>(plugin.Call(FF_GET_INFO));
    if (info == nullptr) {
        throw HostError("the plug-in gives no information record: " + plugin.Path());
    }
    PluginReport report;
    report.id = ReadBoundedText(info->PluginUniqueID, sizeof info->PluginUniqueID);
    report.name = ReadBoundedText(info->PluginName, sizeof info->PluginName);
    report.type = info->PluginType;
    report.apiMajor = info->APIMajorVersion;
    report.apiMinor = info->APIMinorVersion;
    if (const auto* extended =
            L::AsPointer<const PluginExtendedInfoStruct>(plugin.Call(FF_GET_EXTENDED_INFO))) {
        report.versionMajor = extended->PluginMajorVersion;
        report.versionMinor = extended->PluginMinorVersion;
        report.description = TextOrEmpty(extended->Description);
        report.about = TextOrEmpty(extended->About);
    }
    const FFResult minimum = plugin.Call(FF_GET_PLUGIN_CAPS, FF_CAP_MINIMUM_INPUT_FRAMES);
    const FFResult maximum = plugin.Call(FF_GET_PLUGIN_CAPS, FF_CAP_MAXIMUM_INPUT_FRAMES);
    report.inputsKnown =
        !Failed(FF_GET_PLUGIN_CAPS, minimum) && !Failed(FF_GET_PLUGIN_CAPS, maximum);
    report.minimumInputs = report.inputsKnown ? L::Low(minimum) : 0;
    report.maximumInputs = report.inputsKnown ? L::Low(maximum) : 0;
    report.supportsHostTime = L::Low(plugin.Call(FF_GET_PLUGIN_CAPS, FF_CAP_SET_TIME)) == 1;

    const uint32_t count = ParameterCount(plugin);
    for (uint32_t index = 0; index < count; ++index) {
        ParameterReport parameter;
        parameter.index = index;
        parameter.name =
            TextOrEmpty(L::AsPointer<const char>(plugin.Call(FF_GET_PARAMETER_NAME, index)));
        parameter.type = L::Low(plugin.Call(FF_GET_PARAMETER_TYPE, index));
        parameter.isText = IsTextParameterType(parameter.type);
        const FFResult defaultValue = plugin.Call(FF_GET_PARAMETER_DEFAULT, index);
        if (parameter.isText) {
            parameter.defaultText = TextOrEmpty(L::AsPointer<const char>(defaultValue));
        } else {
            parameter.defaultValue = L::AsFloat(defaultValue);
        }
        RangeRecord range{index, 0.0f, 1.0f};
        if (L::Low(plugin.Call(FF_GET_RANGE, &range)) == FF_SUCCESS) {
            parameter.min = range.Min;
            parameter.max = range.Max;
        }
        if (instance != nullptr) {
            const FFResult display = plugin.Call(FF_GET_PARAMETER_DISPLAY, index, instance);
            if (display != 0 && display != FF_FAIL) {
                // A display text may fill its 16 bytes without a terminator.
                parameter.display = ReadBoundedText(L::AsPointer<const char>(display), 16);
            }
        }
        report.parameters.push_back(parameter);
    }
    return report;
}

}  // namespace ffglhost
