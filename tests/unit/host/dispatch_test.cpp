// The entry point's rules for prototypes, instantiation and instance codes, driven with a
// description and an instance class of the test's own in place of the module's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/plugin.h"
#include "framework/plugin_description.h"
#include "gl/gl_loader.h"
#include "host/plug_main.h"

namespace {

// What the entry point did, in order.
std::vector<std::string> g_calls;
uint32_t g_initHookAnswer = 0;
uint32_t g_initGLAnswer = FF_SUCCESS;
uint32_t g_setParamAnswer = FF_SUCCESS;
uint32_t g_onDisconnectAnswer = FF_SUCCESS;
int g_loaderRuns = 0;

class Recorder : public CFFGLPlugin {
  public:
    Recorder() : CFFGLPlugin(false) {
        DeclareParameter(0, "a", FF_TYPE_STANDARD, 0.25f);
        DeclareParameter(1, "b", FF_TYPE_TEXT, 0.0f);
    }
    ~Recorder() override { g_calls.push_back("destroy"); }
    uint32_t InitGL(const FFGLViewportStruct*) override {
        g_calls.push_back("InitGL");
        return g_initGLAnswer;
    }
    uint32_t ReleaseGL() override {
        g_calls.push_back("ReleaseGL");
        return FF_SUCCESS;
    }
    uint32_t SetParamFloat(uint32_t index, float value) override {
        g_calls.push_back("SetParamFloat " + std::to_string(index) + " " + std::to_string(value));
        return g_setParamAnswer;
    }
    uint32_t SetParamText(uint32_t index, const char* text) override {
        g_calls.push_back("SetParamText " + std::to_string(index) + " '" + text + "'");
        return FF_SUCCESS;
    }
    uint32_t RenderFrame(const ProcessOpenGLStruct*) override {
        g_calls.push_back("RenderFrame");
        return FF_SUCCESS;
    }
    uint32_t OnConnect() override {
        g_calls.push_back("OnConnect");
        return FF_SUCCESS;
    }
    uint32_t OnDisconnect() override {
        g_calls.push_back("OnDisconnect");
        return g_onDisconnectAnswer;
    }
};

uint32_t MakeRecorder(CFFGLPlugin** instance) {
    g_calls.push_back("factory");
    *instance = new Recorder();
    return FF_SUCCESS;
}

uint32_t InitHook() {
    g_calls.push_back("InitHook");
    return g_initHookAnswer;
}

uint32_t DeinitHook() {
    g_calls.push_back("DeinitHook");
    return 0;
}

unsigned SucceedingLoader() {
    ++g_loaderRuns;
    return 0;
}

unsigned FailingLoader() {
    ++g_loaderRuns;
    return 1;
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        plugMain(FF_DEINITIALISE, 0, nullptr);  // forget the module's own prototype
        PluginDescription::Register(&description_);
        g_calls.clear();
        g_initHookAnswer = 0;
        g_initGLAnswer = FF_SUCCESS;
        g_setParamAnswer = FF_SUCCESS;
        g_onDisconnectAnswer = FF_SUCCESS;
        g_loaderRuns = 0;
        SetGlLoaderForTesting(SucceedingLoader);
    }
    void TearDown() override {
        plugMain(FF_DEINITIALISE, 0, nullptr);
        PluginDescription::Register(module_);
        SetGlLoaderForTesting(nullptr);
    }

    FFInstanceID Instantiate() {
        FFGLViewportStruct viewport{0, 0, 32, 32};
        const FFResult handle =
            plugMain(FF_INSTANTIATE_GL, reinterpret_cast<uintptr_t>(&viewport), nullptr);
        return handle == FF_FAIL ? nullptr : reinterpret_cast<FFInstanceID>(handle);
    }

    // The module's description, taken before the test's own registers itself.
    PluginDescription* module_ = PluginDescription::Current();
    PluginDescription description_{MakeRecorder, "TEST",   "Recorder", 2, 1, 1, 0, 0, "d", "a", 0,
                                   nullptr,      InitHook, DeinitHook};
};

using Calls = std::vector<std::string>;

TEST_F(Dispatch, FirstQueryCreatesThePrototypeAndTheHookRunsEveryTime) {
    EXPECT_EQ(plugMain(FF_GET_NUM_PARAMETERS, 0, nullptr), 2u);
    EXPECT_EQ(plugMain(FF_INITIALISE_V2, 0, nullptr), FF_SUCCESS);
    EXPECT_EQ(plugMain(FF_INITIALISE_V2, 0, nullptr), FF_SUCCESS);
    EXPECT_EQ(g_calls, (Calls{"InitHook", "factory", "InitHook", "InitHook"}));
}

TEST_F(Dispatch, FailingInitHookAnswersItsValueAndCreatesNothing) {
    g_initHookAnswer = 7;
    EXPECT_EQ(plugMain(FF_INITIALISE_V2, 0, nullptr), 7u);
    EXPECT_EQ(plugMain(FF_GET_NUM_PARAMETERS, 0, nullptr), FF_FAIL);
    EXPECT_EQ(plugMain(FF_GET_PARAMETER_NAME, 0, nullptr), 0u);
    EXPECT_EQ(plugMain(FF_GET_NUM_ELEMENT_SEPARATORS, 0, nullptr), 0u);
    RangeRecord range{0, -1.0f, -1.0f};
    EXPECT_EQ(plugMain(FF_GET_RANGE, reinterpret_cast<uintptr_t>(&range), nullptr), FF_FAIL);
    EXPECT_EQ(range.Min, -1.0f) << "the record stays untouched";
    EXPECT_EQ(Instantiate(), nullptr);
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "factory"), 0);

    g_initHookAnswer = 0;  // the next request runs the hook again and succeeds
    EXPECT_EQ(plugMain(FF_GET_NUM_PARAMETERS, 0, nullptr), 2u);
}

TEST_F(Dispatch, DeinitialiseDestroysThePrototypeThenRunsTheHook) {
    EXPECT_EQ(plugMain(FF_DEINITIALISE, 0, nullptr), FF_SUCCESS);
    EXPECT_EQ(g_calls, (Calls{"DeinitHook"})) << "no prototype yet: only the hook";
    plugMain(FF_INITIALISE_V2, 0, nullptr);
    g_calls.clear();
    EXPECT_EQ(plugMain(FF_DEINITIALISE, 0, nullptr), FF_SUCCESS);
    EXPECT_EQ(g_calls, (Calls{"destroy", "DeinitHook"}));
}

TEST_F(Dispatch, InstantiationOrderPushesDefaultsByType) {
    FFInstanceID instance = Instantiate();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(g_calls, (Calls{"InitHook", "factory", "factory", "SetParamFloat 0 0.250000",
                              "SetParamText 1 ''", "InitGL"}));
    EXPECT_EQ(static_cast<CFFGLPlugin*>(instance)->self, instance);
    EXPECT_EQ(g_loaderRuns, 1);
    g_calls.clear();
    EXPECT_EQ(plugMain(FF_DEINSTANTIATE_GL, 0, instance), FF_SUCCESS);
    EXPECT_EQ(g_calls, (Calls{"ReleaseGL", "destroy"})) << "never connected";
}

TEST_F(Dispatch, NullViewportNeverCallsTheFactory) {
    EXPECT_EQ(plugMain(FF_INSTANTIATE_GL, 0, nullptr), 0x00000000FFFFFFFFu);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(Dispatch, FailuresLeaveNoInstanceBehind) {
    g_setParamAnswer = FF_FAIL;
    EXPECT_EQ(Instantiate(), nullptr);
    EXPECT_EQ(g_calls.back(), "destroy");
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "ReleaseGL"), 0);

    g_setParamAnswer = 5;  // any answer but FF_FAIL counts as success
    g_initGLAnswer = FF_FAIL;
    g_calls.clear();
    EXPECT_EQ(Instantiate(), nullptr);
    // The prototype exists by now, so the lazy path runs no hook.
    EXPECT_EQ(g_calls, (Calls{"factory", "SetParamFloat 0 0.250000", "SetParamText 1 ''", "InitGL",
                              "ReleaseGL", "destroy"}));
}

TEST_F(Dispatch, FailedLoaderIsNeverRetried) {
    SetGlLoaderForTesting(FailingLoader);
    EXPECT_EQ(Instantiate(), nullptr);
    EXPECT_EQ(Instantiate(), nullptr);
    EXPECT_EQ(g_loaderRuns, 1);
    // The second attempt still made an instance and pushed its defaults before failing.
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "SetParamText 1 ''"), 2);
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "destroy"), 2);
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "InitGL"), 0);
}

TEST_F(Dispatch, ConnectionFlagRules) {
    FFInstanceID instance = Instantiate();
    ASSERT_NE(instance, nullptr);
    ProcessOpenGLStruct frame{};
    g_calls.clear();
    plugMain(FF_PROCESS_OPENGL, reinterpret_cast<uintptr_t>(&frame), instance);
    plugMain(FF_PROCESS_OPENGL, reinterpret_cast<uintptr_t>(&frame), instance);
    EXPECT_EQ(g_calls, (Calls{"OnConnect", "RenderFrame", "RenderFrame"}));

    g_onDisconnectAnswer = 3;  // a failed disconnect leaves the flag set
    EXPECT_EQ(plugMain(FF_DISCONNECT, 0, instance), 3u);
    g_calls.clear();
    EXPECT_EQ(plugMain(FF_DEINSTANTIATE_GL, 0, instance), FF_SUCCESS);
    EXPECT_EQ(g_calls, (Calls{"OnDisconnect", "ReleaseGL", "destroy"}));
}

TEST_F(Dispatch, ParameterCodesTakeTheTypeFromThePrototype) {
    FFInstanceID instance = Instantiate();
    ASSERT_NE(instance, nullptr);
    g_calls.clear();
    SetParameterStruct record{};
    record.ParameterNumber = 1;
    record.NewParameterValue.TextValue = "hello";
    plugMain(FF_SET_PARAMETER, reinterpret_cast<uintptr_t>(&record), instance);
    record.ParameterNumber = 9;  // absent: FF_FAIL as type, so the float setter
    record.NewParameterValue.Bits = 0;
    record.NewParameterValue.FloatValue = 0.75f;
    plugMain(FF_SET_PARAMETER, reinterpret_cast<uintptr_t>(&record), instance);
    EXPECT_EQ(g_calls, (Calls{"SetParamText 1 'hello'", "SetParamFloat 9 0.750000"}));
    plugMain(FF_DEINSTANTIATE_GL, 0, instance);
}

TEST_F(Dispatch, MissingDescriptionFailsThePluginWideCodes) {
    PluginDescription::Register(nullptr);
    EXPECT_EQ(plugMain(FF_GET_INFO, 0, nullptr), 0u);
    EXPECT_EQ(plugMain(FF_DEINITIALISE, 0, nullptr), FF_FAIL);
    EXPECT_EQ(plugMain(FF_INITIALISE_V2, 0, nullptr), FF_FAIL);
    EXPECT_EQ(Instantiate(), nullptr);
    EXPECT_EQ(plugMain(FF_GET_NUM_PARAMETERS, 0, nullptr), FF_FAIL);
    EXPECT_EQ(plugMain(FF_GET_NUM_ELEMENT_SEPARATORS, 0, nullptr), 0u);
    EXPECT_TRUE(g_calls.empty());
    PluginDescription::Register(&description_);
}

}  // namespace
