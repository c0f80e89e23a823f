#include "plugin.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Display texts of every instance share this buffer. The 17th byte is always zero, so a
// 16-character text still reaches the host terminated.
char g_displayBuffer[17];

}  // namespace

CFFGLPlugin::CFFGLPlugin(bool capability16Switch) : CFFGLPluginManager(capability16Switch) {}

CFFGLPlugin::~CFFGLPlugin() = default;

void CFFGLPlugin::StoreViewport(const FFGLViewportStruct* viewport) {
    if (viewport != nullptr) {
        viewport_ = *viewport;
    }
}

uint32_t CFFGLPlugin::InitGL(const FFGLViewportStruct* viewport) {
    StoreViewport(viewport);
    return FF_SUCCESS;
}

uint32_t CFFGLPlugin::ReleaseGL() {
    return FF_SUCCESS;
}

const char* CFFGLPlugin::GetParamDisplay(uint32_t index) {
    if (self == nullptr) {
        return nullptr;
    }
    const uint32_t type = self->GetParameterType(index);
    if (type == FF_FAIL) {
        return nullptr;
    }
    if (IsTextParameterType(type)) {
        return self->GetParamText(index);
    }
    // Hosts poll display texts often, so the text is formatted on the stack: "%f" of any
    // float, NaN and infinities included, takes at most 47 characters.
    const double value = self->GetParamFloat(index);
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%f", value);
    std::memset(g_displayBuffer, 0, sizeof g_displayBuffer);
    std::memcpy(g_displayBuffer, text,
                std::min<size_t>(length > 0 ? static_cast<size_t>(length) : 0, 16));
    return g_displayBuffer;
}

uint32_t CFFGLPlugin::SetParamFloat(uint32_t, float) {
    return FF_FAIL;
}
uint32_t CFFGLPlugin::SetParamText(uint32_t, const char*) {
    return FF_FAIL;
}
float CFFGLPlugin::GetParamFloat(uint32_t) {
    return 0.0f;
}

const char* CFFGLPlugin::GetParamText(uint32_t) {
    // Not supported: the FF_FAIL word in place of a pointer.
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(FF_FAIL));
}

uint32_t CFFGLPlugin::RenderFrame(const ProcessOpenGLStruct*) {
    return FF_FAIL;
}

uint32_t CFFGLPlugin::SetHostTime(double seconds) {
    hostTime_ = seconds;
    return FF_SUCCESS;
}

void CFFGLPlugin::SetBeat(float bpm, float barPhase) {
    tempo_ = bpm;
    barPhase_ = barPhase;
}

void CFFGLPlugin::SetHostDetails(const char* name, const char* version) {
    hostName_ = name != nullptr ? name : "";
    hostVersion_ = version != nullptr ? version : "";
}

void CFFGLPlugin::SetAudioRate(uint32_t rate) {
    audioRate_ = rate;
}

uint32_t CFFGLPlugin::GetInputState(uint32_t channel) {
    return channel < static_cast<uint32_t>(GetMaximumInputs()) ? 1 : FF_FAIL;
}

const char* CFFGLPlugin::GetPluginShortName() {
    return nullptr;
}
uint32_t CFFGLPlugin::OnConnect() {
    return FF_SUCCESS;
}
uint32_t CFFGLPlugin::OnDisconnect() {
    return FF_SUCCESS;
}

uint32_t CFFGLPlugin::OnResize(const FFGLViewportStruct* viewport) {
    StoreViewport(viewport);
    return FF_SUCCESS;
}
