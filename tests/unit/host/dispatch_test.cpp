// The entry point's rules for prototypes, instantiation and instance codes, driven with a
// description and an instance class of the test's own in place of the module's.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "effect/thumbnail.h"
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
uint32_t g_onConnectAnswer = FF_SUCCESS;
bool g_capability16Switch = false;
int g_loaderRuns = 0;
const char kRecorderText[] = "text value";

// How the factory answers: it makes a Recorder, or fails with null, or fails yet leaves one,
// or runs out of memory.
enum class Factory { kMakes, kFails, kFailsLeavingOne, kThrows } g_factory = Factory::kMakes;
bool g_initGLThrows = false;

class Recorder : public CFFGLPlugin {
  public:
    Recorder() : CFFGLPlugin(g_capability16Switch) {
        DeclareParameter(0, "a", FF_TYPE_STANDARD, 0.25f);
        DeclareParameter(1, "b", FF_TYPE_TEXT, 0.0f);
        Parameters()[0].group = "group 7";
        Parameters()[0].displayName = "display";
        Parameters()[1].pendingEvents = 0x30;
    }
    ~Recorder() override { g_calls.push_back("destroy"); }
    uint32_t InitGL(const FFGLViewportStruct*) override {
        g_calls.push_back("InitGL");
        if (g_initGLThrows) {
            throw std::bad_alloc();
        }
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
    float GetParamFloat(uint32_t) override { return 0.5f; }
    const char* GetParamText(uint32_t) override { return kRecorderText; }
    uint32_t OnConnect() override {
        g_calls.push_back("OnConnect");
        return g_onConnectAnswer;
    }
    uint32_t OnDisconnect() override {
        g_calls.push_back("OnDisconnect");
        return g_onDisconnectAnswer;
    }
};

uint32_t MakeRecorder(CFFGLPlugin** instance) {
    g_calls.push_back("factory");
    if (g_factory == Factory::kThrows) {
        throw std::bad_alloc();
    }
    *instance = g_factory == Factory::kFails ? nullptr : new Recorder();
    return g_factory == Factory::kMakes ? FF_SUCCESS : FF_FAIL;
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
        g_onConnectAnswer = FF_SUCCESS;
        g_capability16Switch = false;
        g_factory = Factory::kMakes;
        g_initGLThrows = false;
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
    for (bool throws : {false, true}) {  // an InitGL that throws has failed as well
        g_initGLThrows = throws;
        g_calls.clear();
        EXPECT_EQ(Instantiate(), nullptr);
        // The prototype exists by now, so the lazy path runs no hook.
        EXPECT_EQ(g_calls, (Calls{"factory", "SetParamFloat 0 0.250000", "SetParamText 1 ''",
                                  "InitGL", "ReleaseGL", "destroy"}));
    }
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

uintptr_t AsInput(const void* record) {
    return reinterpret_cast<uintptr_t>(record);
}

// What codes 21 and 22 leave behind decides whether a frame (17) connects first and
// whether deinstantiation (19) disconnects. Each row runs its codes on a new instance.
TEST_F(Dispatch, ConnectionStateDecidesWhatFramesAndDeinstantiationCall) {
    const struct {
        const char* what;
        uint32_t onConnect;
        uint32_t onDisconnect;
        std::vector<uint32_t> codes;
        Calls expected;
    } rows[] = {
        {"the first frame connects",
         FF_SUCCESS,
         FF_SUCCESS,
         {FF_PROCESS_OPENGL, FF_PROCESS_OPENGL, FF_DEINSTANTIATE_GL},
         {"OnConnect", "RenderFrame", "RenderFrame", "OnDisconnect", "ReleaseGL", "destroy"}},
        {"connected before the frame",
         FF_SUCCESS,
         FF_SUCCESS,
         {FF_CONNECT, FF_PROCESS_OPENGL, FF_DEINSTANTIATE_GL},
         {"OnConnect", "RenderFrame", "OnDisconnect", "ReleaseGL", "destroy"}},
        {"disconnected before the frame",
         FF_SUCCESS,
         FF_SUCCESS,
         {FF_CONNECT, FF_DISCONNECT, FF_PROCESS_OPENGL, FF_DEINSTANTIATE_GL},
         {"OnConnect", "OnDisconnect", "OnConnect", "RenderFrame", "OnDisconnect", "ReleaseGL",
          "destroy"}},
        {"disconnected before deinstantiation",
         FF_SUCCESS,
         FF_SUCCESS,
         {FF_CONNECT, FF_DISCONNECT, FF_DEINSTANTIATE_GL},
         {"OnConnect", "OnDisconnect", "ReleaseGL", "destroy"}},
        {"a failed disconnect leaves the instance connected",
         FF_SUCCESS,
         3,
         {FF_CONNECT, FF_DISCONNECT, FF_DEINSTANTIATE_GL},
         {"OnConnect", "OnDisconnect", "OnDisconnect", "ReleaseGL", "destroy"}},
        {"a failed connect leaves the instance unconnected",
         3,
         FF_SUCCESS,
         {FF_CONNECT, FF_DEINSTANTIATE_GL},
         {"OnConnect", "ReleaseGL", "destroy"}},
        {"a frame whose connect fails renders and counts as connected",
         3,
         FF_SUCCESS,
         {FF_PROCESS_OPENGL, FF_PROCESS_OPENGL, FF_DEINSTANTIATE_GL},
         {"OnConnect", "RenderFrame", "RenderFrame", "OnDisconnect", "ReleaseGL", "destroy"}},
    };
    for (const auto& row : rows) {
        g_onConnectAnswer = row.onConnect;
        g_onDisconnectAnswer = row.onDisconnect;
        FFInstanceID instance = Instantiate();
        ASSERT_NE(instance, nullptr) << row.what;
        g_calls.clear();
        ProcessOpenGLStruct frame{};
        for (uint32_t code : row.codes) {
            const FFResult answer = plugMain(code, AsInput(&frame), instance);
            if (code == FF_CONNECT || code == FF_DISCONNECT) {
                EXPECT_EQ(answer, code == FF_CONNECT ? row.onConnect : row.onDisconnect)
                    << row.what;
            }
        }
        EXPECT_EQ(g_calls, row.expected) << row.what;
    }
}

// Codes 50 (the prototype's group text) and 51 (the instance's display name) copy at most
// the buffer size and write nothing past it.
TEST_F(Dispatch, TextCodesCopyAtMostTheBufferSize) {
    FFInstanceID instance = Instantiate();
    ASSERT_NE(instance, nullptr);
    for (uint32_t code : {FF_GET_PARAM_GROUP, FF_GET_PARAM_DISPLAY_NAME}) {
        char buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        TextRequest request{0, buffer, 3};
        EXPECT_EQ(plugMain(code, AsInput(&request), instance), FF_SUCCESS) << code;
        EXPECT_EQ(std::string(buffer, 5), code == FF_GET_PARAM_GROUP ? "gro##" : "dis##");
    }
    plugMain(FF_DEINSTANTIATE_GL, 0, instance);
}

// Code 9 answers a text parameter's pointer and a float parameter's bits; code 46 counts
// the pending events, then takes them.
TEST_F(Dispatch, ValueCodesAnswerByTypeAndEventsAreTaken) {
    FFInstanceID instance = Instantiate();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(plugMain(FF_GET_PARAMETER, 1, instance), AsInput(kRecorderText));
    EXPECT_EQ(plugMain(FF_GET_PARAMETER, 0, instance), FloatToBits(0.5f));

    EventQueryRecord query{0, nullptr};
    EXPECT_EQ(plugMain(FF_GET_PARAM_EVENTS, AsInput(&query), instance), FF_SUCCESS);
    EXPECT_EQ(query.Count, 1u);
    EventEntry entries[2] = {};
    query = {2, entries};
    EXPECT_EQ(plugMain(FF_GET_PARAM_EVENTS, AsInput(&query), instance), FF_SUCCESS);
    EXPECT_EQ(query.Count, 1u);
    EXPECT_EQ(entries[0].ParameterNumber, 1u);
    EXPECT_EQ(entries[0].EventFlags, 0x30u);
    query = {2, nullptr};
    plugMain(FF_GET_PARAM_EVENTS, AsInput(&query), instance);
    EXPECT_EQ(query.Count, 0u) << "taken events are gone";
    plugMain(FF_DEINSTANTIATE_GL, 0, instance);
}

// A factory that fails or throws: the lazy path answers each code's failure value.
// Instantiation fails too, and destroys what a factory that answered FF_FAIL still made.
TEST_F(Dispatch, FailingFactory) {
    for (Factory factory : {Factory::kFails, Factory::kThrows}) {
        plugMain(FF_DEINITIALISE, 0, nullptr);
        g_factory = factory;
        EXPECT_EQ(plugMain(FF_GET_NUM_PARAMETERS, 0, nullptr), FF_FAIL);
        EXPECT_EQ(plugMain(FF_GET_PLUGIN_CAPS, FF_CAP_MINIMUM_INPUT_FRAMES, nullptr), FF_FAIL);
        EXPECT_EQ(plugMain(FF_GET_PARAMETER_NAME, 0, nullptr), 0u);
    }
    for (Factory factory : {Factory::kFails, Factory::kFailsLeavingOne, Factory::kThrows}) {
        g_factory = Factory::kMakes;
        ASSERT_EQ(plugMain(FF_INITIALISE_V2, 0, nullptr), FF_SUCCESS);
        g_factory = factory;
        g_calls.clear();
        EXPECT_EQ(Instantiate(), nullptr);
        const Calls expected =
            factory == Factory::kFailsLeavingOne ? Calls{"factory", "destroy"} : Calls{"factory"};
        EXPECT_EQ(g_calls, expected);
    }
}

// Code 49 with input 16 enables capability 16 on the instance only when the prototype's
// switch is on; it answers FF_FAIL either way.
TEST_F(Dispatch, CapabilitySixteenIsEnabledOnlyThroughTheSwitch) {
    const struct {
        bool on;
        uint32_t input;
        uint32_t enabled;
    } rows[] = {{true, 16, 1}, {true, 15, 0}, {false, 16, 0}};
    for (const auto& row : rows) {
        plugMain(FF_DEINITIALISE, 0, nullptr);
        g_capability16Switch = row.on;
        FFInstanceID instance = Instantiate();
        ASSERT_NE(instance, nullptr);
        EXPECT_EQ(plugMain(FF_ENABLE_PLUGIN_CAP, row.input, instance), FF_FAIL);
        EXPECT_EQ(static_cast<CFFGLPlugin*>(instance)->IsCapability16Enabled(), row.enabled)
            << row.on << " " << row.input;
        plugMain(FF_DEINSTANTIATE_GL, 0, instance);
    }
}

// The host's values land in the instance unchanged.
TEST_F(Dispatch, HostValuesLandInTheInstance) {
    FFInstanceID instance = Instantiate();
    ASSERT_NE(instance, nullptr);
    const auto* plugin = static_cast<const CFFGLPlugin*>(instance);
    const double seconds = 12.625;
    const FFGLViewportStruct viewport{3, 4, 640, 480};
    const BeatRecord beat{128.5f, 0.25f};
    const HostDetailsRecord details{"Host", "1.2"};
    EXPECT_EQ(plugMain(FF_SET_TIME, AsInput(&seconds), instance), FF_SUCCESS);
    EXPECT_EQ(plugMain(FF_RESIZE, AsInput(&viewport), instance), FF_SUCCESS);
    EXPECT_EQ(plugMain(FF_SET_BEATINFO, AsInput(&beat), instance), FF_SUCCESS);
    EXPECT_EQ(plugMain(FF_SET_HOSTINFO, AsInput(&details), instance), FF_SUCCESS);
    EXPECT_EQ(plugMain(FF_SET_SAMPLERATE, 0xABCD00000000BB80u, instance), FF_SUCCESS);
    EXPECT_EQ(plugin->HostTime(), 12.625);
    EXPECT_EQ(plugin->Viewport().x, 3u);
    EXPECT_EQ(plugin->Viewport().y, 4u);
    EXPECT_EQ(plugin->Viewport().width, 640u);
    EXPECT_EQ(plugin->Viewport().height, 480u);
    EXPECT_EQ(plugin->Tempo(), 128.5f);
    EXPECT_EQ(plugin->BarPhase(), 0.25f);
    EXPECT_EQ(plugin->HostName(), "Host");
    EXPECT_EQ(plugin->HostVersion(), "1.2");
    EXPECT_EQ(plugin->AudioRate(), 48000u) << "the low half of the input";
    plugMain(FF_DEINSTANTIATE_GL, 0, instance);
}

// Without a thumbnail, code 42 answers FF_FAIL with a size of 0 × 0. The module's picture
// is registered again afterwards.
TEST_F(Dispatch, ThumbnailCodeWithoutAThumbnail) {
    { ThumbnailImage passing(1, 1, {0u}); }  // registers itself, then unregisters
    ASSERT_EQ(ThumbnailImage::Current(), nullptr);
    uint32_t pixels[4] = {7, 7, 7, 7};
    ThumbnailRecord record{5, 5, pixels};
    EXPECT_EQ(plugMain(FF_GET_THUMBNAIL, AsInput(&record), nullptr), FF_FAIL);
    EXPECT_EQ(record.Width, 0u);
    EXPECT_EQ(record.Height, 0u);
    EXPECT_EQ(pixels[0], 7u);
    static const ThumbnailImage restored(kThumbnailWidth, kThumbnailHeight, DrawThumbnail());
    EXPECT_EQ(ThumbnailImage::Current(), &restored);
}

}  // namespace
