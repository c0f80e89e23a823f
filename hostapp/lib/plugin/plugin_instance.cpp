#include "plugin_instance.h"

#include "lib/host_error.h"

namespace ffglhost {

PluginInstance::PluginInstance(const PluginLibrary& plugin, uint32_t width, uint32_t height,
                               const HostDetails& host)
    : plugin_(plugin) {
    FFGLViewportStruct viewport{0, 0, width, height};
    const FFResult handle = plugin_.Call(FF_INSTANTIATE_GL, &viewport);
    if (handle == FF_FAIL || handle == 0) {
        throw HostError("the plug-in refused to instantiate");
    }
    handle_ = PluginLibrary::AsPointer<void>(handle);
    HostDetailsRecord details{host.name.c_str(), host.version.c_str()};
    plugin_.Call(FF_SET_HOSTINFO, &details, handle_);
    plugin_.Call(FF_SET_SAMPLERATE, host.sampleRate, handle_);
    connected_ = PluginLibrary::Low(plugin_.Call(FF_CONNECT, 0, handle_)) == FF_SUCCESS;
}

PluginInstance::~PluginInstance() {
    if (connected_) {
        plugin_.Call(FF_DISCONNECT, 0, handle_);
    }
    plugin_.Call(FF_DEINSTANTIATE_GL, 0, handle_);
}

void PluginInstance::Set(const ParameterValues& values, size_t position) {
    const ParameterReport& parameter = values.Parameter(position);
    SetParameterStruct record{};
    record.ParameterNumber = parameter.index;
    if (parameter.isText) {
        record.NewParameterValue.TextValue = values.Text(position).c_str();
    } else {
        record.NewParameterValue.FloatValue = values.Value(position);
    }
    if (PluginLibrary::Low(plugin_.Call(FF_SET_PARAMETER, &record, handle_)) != FF_SUCCESS) {
        throw HostError("the plug-in refused the value of parameter \"" + parameter.name + "\"");
    }
}

void PluginInstance::SetTime(double seconds) {
    plugin_.Call(FF_SET_TIME, &seconds, handle_);
}

void PluginInstance::Process(const Texture& input, const RenderTarget& target) {
    FFGLTextureStruct texture = input.Describe();
    FFGLTextureStruct* inputs[1] = {&texture};
    ProcessOpenGLStruct frame{};
    frame.numInputTextures = 1;
    frame.inputTextures = inputs;
    frame.HostFBO = target.Framebuffer();
    target.Bind();
    if (PluginLibrary::Low(plugin_.Call(FF_PROCESS_OPENGL, &frame, handle_)) != FF_SUCCESS) {
        throw HostError("the plug-in failed to process a frame");
    }
}

}  // namespace ffglhost
