// One instance of a plug-in, driven as a host application drives it: instantiated with
// a viewport, told about the host, connected, given parameters and time, and asked to
// process frames into a framebuffer. Needs the GL context current throughout.
#ifndef FFGLHOST_PLUGIN_INSTANCE_H
#define FFGLHOST_PLUGIN_INSTANCE_H

#include <cstdint>
#include <string>

#include "lib/gl/gl_objects.h"
#include "parameter_values.h"
#include "plugin_library.h"

namespace ffglhost {

// The host's own version, told to plug-ins and printed by --version.
constexpr char kHostVersion[] = "1.0";

struct HostDetails {
    std::string name = "ffgl-host";
    std::string version = kHostVersion;
    uint32_t sampleRate = 48000;
};

class PluginInstance {
  public:
    // Instantiates (code 18) for a width x height output, then sends the host details
    // (39) and the audio sample rate (40) and connects (21). Throws HostError when the
    // plug-in refuses to instantiate.
    PluginInstance(const PluginLibrary& plugin, uint32_t width, uint32_t height,
                   const HostDetails& host = HostDetails());
    // Disconnects (22) and deinstantiates (19).
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    FFInstanceID Handle() const { return handle_; }
    // Code 8 with the value at `position` of `values`; throws HostError when the plug-in
    // refuses it.
    void Set(const ParameterValues& values, size_t position);
    // Code 20, the host's clock in seconds.
    void SetTime(double seconds);
    // Binds the target with its viewport and asks the plug-in to draw one frame of
    // `input` into it (code 17). Throws HostError when the plug-in fails the frame.
    void Process(const Texture& input, const RenderTarget& target);

  private:
    const PluginLibrary& plugin_;
    FFInstanceID handle_ = nullptr;
    bool connected_ = false;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PLUGIN_INSTANCE_H
