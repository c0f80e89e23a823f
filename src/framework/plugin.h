// The base class of every plug-in instance. The entry point drives instances only through
// these virtual operations; each has a base behaviour that an effect overrides as needed.
#ifndef QUELLIX_FRAMEWORK_PLUGIN_H
#define QUELLIX_FRAMEWORK_PLUGIN_H

#include <string>

#include "ffgl/abi.h"
#include "plugin_manager.h"

class CFFGLPlugin : public CFFGLPluginManager {
  public:
    explicit CFFGLPlugin(bool capability16Switch);
    ~CFFGLPlugin() override;

    // Virtual operations, in table order. GL operations run with the host's context current.
    virtual uint32_t InitGL(const FFGLViewportStruct* viewport);
    virtual uint32_t ReleaseGL();
    virtual const char* GetParamDisplay(uint32_t index);
    virtual uint32_t SetParamFloat(uint32_t index, float value);
    virtual uint32_t SetParamText(uint32_t index, const char* text);
    virtual float GetParamFloat(uint32_t index);
    virtual const char* GetParamText(uint32_t index);
    virtual uint32_t RenderFrame(const ProcessOpenGLStruct* frame);
    virtual uint32_t SetHostTime(double seconds);
    virtual void SetBeat(float bpm, float barPhase);
    virtual void SetHostDetails(const char* name, const char* version);
    virtual void SetAudioRate(uint32_t rate);
    virtual uint32_t GetInputState(uint32_t channel);
    virtual const char* GetPluginShortName();
    virtual uint32_t OnConnect();
    virtual uint32_t OnDisconnect();
    virtual uint32_t OnResize(const FFGLViewportStruct* viewport);

    // Managed by the entry point only.
    bool glConnected = false;
    CFFGLPlugin* self = nullptr;

    const FFGLViewportStruct& Viewport() const { return viewport_; }
    float Tempo() const { return tempo_; }
    float BarPhase() const { return barPhase_; }
    const std::string& HostName() const { return hostName_; }
    const std::string& HostVersion() const { return hostVersion_; }
    double HostTime() const { return hostTime_; }
    uint32_t AudioRate() const { return audioRate_; }

  protected:
    void StoreViewport(const FFGLViewportStruct* viewport);

  private:
    FFGLViewportStruct viewport_{};
    float tempo_ = 120.0f;
    float barPhase_ = 0.0f;
    std::string hostName_;
    std::string hostVersion_;
    double hostTime_ = 0.0;
    uint32_t audioRate_ = 0;
};

#endif  // QUELLIX_FRAMEWORK_PLUGIN_H
