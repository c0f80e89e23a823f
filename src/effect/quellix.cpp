#include "quellix.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "flare_shader.h"
#include "framework/plugin_description.h"
#include "gl/gl_loader.h"
#include "gl/scoped_bindings.h"
#include "host/logging.h"

namespace {

const char* const kParameterNames[Quellix::kParameterCount] = {
    "Flare X", "Flare Y", "Intensity", "Size", "Auto Move", "Strobe",
};

InitGLFault g_initGLFault = InitGLFault::kNone;

constexpr double kFrameStep = 1.0 / 60.0;
constexpr double kTimeWrap = 100000.0;

// Limits into 0..1 in two steps, so that a NaN becomes 0.
float LimitToUnit(float p) {
    const float q = p > 1.0f ? 1.0f : p;
    return q > 0.0f ? q : 0.0f;
}

}  // namespace

void SetInitGLFaultForTesting(InitGLFault fault) {
    g_initGLFault = fault;
}

// The module's self-description, registered at load.
static PluginDescription g_pluginDescription(Quellix::CreateInstance, "QX01", "Quellix Shine", 2, 1,
                                             3, 0, FF_EFFECT,
                                             "Obnoxious flickering blue lens flares for Vennamar",
                                             "Tarnholt");

uint32_t Quellix::CreateInstance(CFFGLPlugin** instance) {
    // The constructor's parameter declarations allocate too, so running out of memory
    // there is a failed creation as well.
    try {
        *instance = new Quellix();
    } catch (const std::bad_alloc&) {
        *instance = nullptr;
    }
    return *instance != nullptr ? FF_SUCCESS : FF_FAIL;
}

Quellix::Quellix() : CFFGLPlugin(false) {
    // Each declared default is the value this class starts with (the call reaches
    // Quellix::GetParamFloat, as virtual calls in a constructor do).
    for (uint32_t index = 0; index < kParameterCount; ++index) {
        DeclareParameter(index, kParameterNames[index], FF_TYPE_STANDARD, GetParamFloat(index));
    }
    SetMinimumInputs(1);
    SetMaximumInputs(1);
}

// GL objects are gone by now: ReleaseGL ran while the host's context was current.
Quellix::~Quellix() = default;

uint32_t Quellix::InitGL(const FFGLViewportStruct* viewport) {
    LogToHost("Quellix v3.0: InitGL starting...");
    const char* fragmentSource = g_initGLFault == InitGLFault::kProgram ? "" : kFlareFragmentSource;
    if (!shader_.Build(kFlareVertexSource, fragmentSource)) {
        LogToHost("Quellix: FAILED to compile flare shader!");
        return FF_FAIL;
    }
    if (g_initGLFault == InitGLFault::kQuad || !quad_.CreateBuffers(false)) {
        LogToHost("Quellix: FAILED to init quad!");
        return FF_FAIL;
    }
    LogToHost("Quellix v3.0: InitGL SUCCESS");
    StoreViewport(viewport);
    return FF_SUCCESS;
}

uint32_t Quellix::ReleaseGL() {
    shader_.DeleteObjects();
    quad_.DestroyBuffers();
    return FF_SUCCESS;
}

uint32_t Quellix::SetParamFloat(uint32_t index, float value) {
    if (index >= kParameterCount) {
        return FF_FAIL;
    }
    values_[index] = value;
    return FF_SUCCESS;
}

float Quellix::GetParamFloat(uint32_t index) {
    return index < kParameterCount ? values_[index] : 0.0f;
}

FlarePosition ComputeFlarePosition(float flareX, float flareY, float autoMove, float time) {
    const float m = autoMove;
    if (!(m > 0.001f)) {
        return {flareX, flareY};
    }
    const float e = (m * 3.0f + 0.2f) * time;
    const float px =
        flareX + std::sin(e * 0.7f + 1.3f) * m * 0.15f + std::sin(e * 1.31f) * m * 0.05f;
    const float py =
        flareY + std::cos(e * 0.53f + 2.7f) * m * 0.1f + std::sin(e * 0.97f + 4.1f) * m * 0.03f;
    return {LimitToUnit(px), LimitToUnit(py)};
}

uint32_t Quellix::RenderFrame(const ProcessOpenGLStruct* frame) {
    // A frame without a usable input fails before touching the clock or GL; a texture
    // of size 0 would divide by zero in "MaxUV".
    if (frame->numInputTextures < 1 || frame->inputTextures == nullptr ||
        frame->inputTextures[0] == nullptr) {
        return FF_FAIL;
    }
    const FFGLTextureStruct& input = *frame->inputTextures[0];
    if (input.HardwareWidth == 0 || input.HardwareHeight == 0) {
        return FF_FAIL;
    }

    accumulatedTime_ += kFrameStep;
    const float t = static_cast<float>(std::fmod(accumulatedTime_, kTimeWrap));
    const FlarePosition position =
        ComputeFlarePosition(values_[kFlareX], values_[kFlareY], values_[kAutoMove], t);

    glBindFramebuffer(GL_FRAMEBUFFER, frame->HostFBO);  // left bound for the host
    ScopedProgramUse programUse(shader_.GetProgramHandle());
    ScopedTextureUnit textureUnit(0);
    ffglex::Scoped2DTextureBinding textureBinding(input.Handle);

    const float textureWidth = static_cast<float>(input.HardwareWidth);
    const float textureHeight = static_cast<float>(input.HardwareHeight);
    shader_.SetUniformInt("InputTexture", 0);
    shader_.SetUniformVec2("MaxUV", static_cast<float>(input.Width) / textureWidth,
                           static_cast<float>(input.Height) / textureHeight);
    shader_.SetUniformFloat("Time", t);
    shader_.SetUniformVec2("Resolution", textureWidth, textureHeight);
    shader_.SetUniformFloat("Intensity", values_[kIntensity] * 3.0f);
    shader_.SetUniformFloat("Size", values_[kSize]);
    shader_.SetUniformVec3("FlareColor", 0.3f, 0.5f, 1.0f);
    shader_.SetUniformFloat("NumGhosts", 4.0f);
    shader_.SetUniformFloat("GhostIntensity", 0.4f);
    shader_.SetUniformFloat("HaloSize", 0.4f);
    shader_.SetUniformFloat("StreakLength", 0.5f);
    shader_.SetUniformFloat("FlickerSpeed", 0.4f);
    shader_.SetUniformFloat("FlickerAmount", 0.5f);
    shader_.SetUniformFloat("ChromaticSpread", 0.4f);
    shader_.SetUniformFloat("Strobe", values_[kStrobe]);
    shader_.SetUniformInt("NumFlares", 1);

    // Only the first flare is used; the array elements are set by their full names.
    char positionName[32];
    char alphaName[32];
    std::snprintf(positionName, sizeof positionName, "FlarePos[%d]", 0);
    std::snprintf(alphaName, sizeof alphaName, "FlareAlpha[%d]", 0);
    const GLint positionLocation = glGetUniformLocation(shader_.GetProgramHandle(), positionName);
    const GLint alphaLocation = glGetUniformLocation(shader_.GetProgramHandle(), alphaName);
    if (positionLocation >= 0) {
        glUniform2f(positionLocation, position.x, position.y);
    }
    if (alphaLocation >= 0) {
        glUniform1f(alphaLocation, 1.0f);
    }

    quad_.Draw();
    return FF_SUCCESS;
}
