#include "framework/plugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "effect/quellix.h"

namespace {

// An instance with one float, one text and one plain parameter.
class Probe : public CFFGLPlugin {
  public:
    Probe() : CFFGLPlugin(false) {
        DeclareParameter(0, "float", FF_TYPE_STANDARD, 0.5f);
        DeclareParameter(1, "text", FF_TYPE_TEXT, 0.0f);
        SetMaximumInputs(1);
        self = this;
    }
    float GetParamFloat(uint32_t index) override { return index == 0 ? value : 0.0f; }
    float value = 0.5f;
};

std::string Display(const char* text) {
    return std::string(text, 17);
}

TEST(InstanceBase, FreshInstanceState) {
    Probe probe;
    EXPECT_EQ(probe.Tempo(), 120.0f);
    EXPECT_EQ(probe.BarPhase(), 0.0f);
    EXPECT_EQ(probe.HostTime(), 0.0);
    EXPECT_EQ(probe.AudioRate(), 0u);
    EXPECT_EQ(probe.HostName(), "");
    EXPECT_EQ(probe.Viewport().width, 0u);
    EXPECT_FALSE(probe.glConnected);
    EXPECT_EQ(probe.GetPluginShortName(), nullptr);
    EXPECT_EQ(probe.RenderFrame(nullptr), FF_FAIL);
    EXPECT_EQ(probe.SetParamFloat(0, 1.0f), FF_FAIL);
    EXPECT_EQ(probe.SetParamText(1, "x"), FF_FAIL);
}

TEST(InstanceBase, DisplayTextsAreFormattedWithSixDecimals) {
    Probe probe;
    EXPECT_EQ(Display(probe.GetParamDisplay(0)), std::string("0.500000\0\0\0\0\0\0\0\0\0", 17));
    probe.value = -1.5f;
    EXPECT_EQ(Display(probe.GetParamDisplay(0)), std::string("-1.500000\0\0\0\0\0\0\0\0", 17));
    probe.value = 123456789.0f;  // held as 123456792
    EXPECT_EQ(Display(probe.GetParamDisplay(0)), std::string("123456792.000000\0", 17));
    probe.value = 1.0e30f;  // longer than 16 characters: cut, and still terminated
    EXPECT_EQ(std::strlen(probe.GetParamDisplay(0)), 16u);
    EXPECT_EQ(probe.GetParamDisplay(7), nullptr);
    // A text parameter with the base GetParamText answers the FF_FAIL word.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(probe.GetParamDisplay(1)), uintptr_t{FF_FAIL});
}

TEST(InstanceBase, DisplayNeedsASelfPointerAndSharesOneBuffer) {
    Probe first;
    Probe second;
    second.value = 0.25f;
    first.self = nullptr;
    EXPECT_EQ(first.GetParamDisplay(0), nullptr);
    first.self = &first;
    const char* firstText = first.GetParamDisplay(0);
    second.GetParamDisplay(0);
    EXPECT_STREQ(firstText, "0.250000") << "the second call overwrites the first answer";
}

TEST(InstanceBase, InputStateComparesUnsigned) {
    Probe probe;
    EXPECT_EQ(probe.GetInputState(0), 1u);
    EXPECT_EQ(probe.GetInputState(1), FF_FAIL);
    EXPECT_EQ(probe.GetInputState(0xFFFFFFFFu), FF_FAIL);
}

TEST(InstanceBase, HostPushedValues) {
    Probe probe;
    const FFGLViewportStruct viewport{1, 2, 640, 480};
    EXPECT_EQ(probe.OnResize(&viewport), FF_SUCCESS);
    EXPECT_EQ(probe.Viewport().width, 640u);
    EXPECT_EQ(probe.Viewport().height, 480u);
    EXPECT_EQ(probe.OnResize(nullptr), FF_SUCCESS);
    EXPECT_EQ(probe.Viewport().width, 640u);

    std::string name = "Host A";
    probe.SetHostDetails(name.c_str(), "1.0");
    name = "changed";
    EXPECT_EQ(probe.HostName(), "Host A");
    probe.SetHostDetails("B", nullptr);
    EXPECT_EQ(probe.HostName(), "B");
    EXPECT_EQ(probe.HostVersion(), "");

    probe.SetBeat(90.0f, 0.5f);
    EXPECT_EQ(probe.Tempo(), 90.0f);
    EXPECT_EQ(probe.SetHostTime(3.25), FF_SUCCESS);
    EXPECT_EQ(probe.HostTime(), 3.25);
}

TEST(Effect, ParametersAreStoredUnclampedByIndex) {
    Quellix effect;
    EXPECT_EQ(effect.GetParamFloat(2), 0.9f);
    EXPECT_EQ(effect.SetParamFloat(2, 7.5f), FF_SUCCESS);
    EXPECT_EQ(effect.GetParamFloat(2), 7.5f);
    EXPECT_EQ(effect.SetParamFloat(6, 0.1f), FF_FAIL);
    EXPECT_EQ(effect.GetParamFloat(6), 0.0f);
    EXPECT_EQ(effect.GetParamFloat(0xFFFFFFFFu), 0.0f);
}

TEST(Effect, AutoMovePath) {
    // Still at or below the threshold, and for NaN; unclamped then.
    FlarePosition still = ComputeFlarePosition(1.4f, -0.2f, 0.001f, 5.0f);
    EXPECT_EQ(still.x, 1.4f);
    EXPECT_EQ(still.y, -0.2f);
    still = ComputeFlarePosition(0.3f, 0.4f, std::nanf(""), 5.0f);
    EXPECT_EQ(still.x, 0.3f);

    const FlarePosition first = ComputeFlarePosition(0.5f, 0.5f, 0.5f, 1.0f / 60.0f);
    EXPECT_NEAR(first.x, 0.5736f, 1e-4);
    EXPECT_NEAR(first.y, 0.4420f, 1e-4);
    // A moving flare is limited to 0..1, and a NaN base position lands at 0.
    const FlarePosition limited = ComputeFlarePosition(1.4f, std::nanf(""), 0.5f, 1.0f);
    EXPECT_EQ(limited.x, 1.0f);
    EXPECT_EQ(limited.y, 0.0f);
}

}  // namespace
