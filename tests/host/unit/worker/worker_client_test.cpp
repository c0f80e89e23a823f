// The worker client against the real worker: lazy start, parameters kept across a
// restart and clamped, and each way a plug-in or the worker can fail.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "lib/worker/worker_client.h"
#include "lib/worker/worker_protocol.h"

namespace {

using ffglhost::WorkerClient;
using ffglhost::WorkerError;
using ffglhost::WorkerFault;

ffglhost::WorkerOptions Options(double timeout = 10.0) {
    ffglhost::WorkerOptions options;
    options.workerPath = FFGL_WORKER_PATH;
    options.callTimeoutSeconds = timeout;
    options.quiet = true;
    return options;
}

WorkerFault FaultOf(WorkerClient& client, const ffglhost::WorkerFrame& frame) {
    try {
        client.Render(frame);
    } catch (const WorkerError& error) {
        return error.Fault();
    }
    return WorkerFault::kNone;
}

TEST(WorkerClient, StartsLazilyKeepsClampedValuesAcrossARestart) {
    WorkerClient client(Options());
    EXPECT_FALSE(client.Running());
    const ffglhost::PluginReport& report = client.Load(QUELLIX_MODULE_PATH);
    EXPECT_TRUE(client.Running());
    ASSERT_EQ(report.parameters.size(), 6u);
    EXPECT_EQ(report.parameters[1].name, "Flare Y");
    ffglhost::ParameterValues values = client.Values();
    values.Clamp(0, 5.0);
    values.Set(1, 0.25);
    client.SetValues(values);
    client.Restart();
    const std::vector<std::string> displays = client.ParameterDisplays();
    ASSERT_EQ(displays.size(), 6u);
    EXPECT_EQ(displays[0], "1.000000");
    EXPECT_EQ(displays[1], "0.250000");

    std::vector<uint8_t> input(16 * 8 * 4, 40), output(16 * 8 * 4, 0);
    ffglhost::WorkerFrame frame{16, 8, input.data(), output.data(), 0.0, 0};
    client.Render(frame);
    EXPECT_NE(output, std::vector<uint8_t>(output.size(), 0));
    for (const auto& [width, height] : {std::pair{0u, 8u}, {16385u, 8u}, {16u, 0u}}) {
        frame.width = width;
        frame.height = height;
        EXPECT_EQ(FaultOf(client, frame), WorkerFault::kBadRequest) << width << "x" << height;
    }
    // Destroyed from another thread than the one that drew.
    std::thread([moved = std::make_unique<WorkerClient>(Options())]() mutable {
        moved.reset();
    }).join();
}

// A frame asked for again is answered from memory, but not once a value has changed: a
// paused editor whose slider moves asks for the same frame.
TEST(WorkerClient, TheSameFrameWithAnotherValueIsDrawnAgain) {
    WorkerClient client(Options());
    client.Load(QUELLIX_MODULE_PATH);
    std::vector<uint8_t> input(64 * 36 * 4, 40), first(input.size()), again(input.size()),
        moved(input.size());
    ffglhost::WorkerFrame frame{64, 36, input.data(), first.data(), 0.1, 6};
    client.Render(frame);
    frame.output = again.data();
    client.Render(frame);
    EXPECT_EQ(first, again);
    ffglhost::ParameterValues values = client.Values();
    values.Set(0, 0.0);  // Flare X
    client.SetValues(values);
    frame.output = moved.data();
    client.Render(frame);
    EXPECT_NE(first, moved);
}

// Each message read back is the message written, with every field at the ends of its
// range; any shorter or longer payload is a breach.
template <class Message>
void RoundTrip(const Message& message, const char* name) {
    const std::vector<uint8_t> bytes = ffglhost::Encode(message);
    ffglhost::MessageReader reader(bytes);
    EXPECT_EQ(ffglhost::Encode(ffglhost::Decode<Message>(reader)), bytes) << name;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ffglhost::MessageReader shorter(bytes.data(), cut);
        EXPECT_THROW(ffglhost::Decode<Message>(shorter), ffglhost::ProtocolError)
            << name << " cut to " << cut << " bytes";
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    ffglhost::MessageReader extra(longer);
    EXPECT_THROW(ffglhost::Decode<Message>(extra), ffglhost::ProtocolError) << name;
}

TEST(WorkerProtocol, MessagesTravelWholeAtTheEndsOfEveryRange) {
    constexpr uint32_t kTop = UINT32_MAX;
    RoundTrip(ffglhost::HelloRequest{0, 0.0, "", 0}, "hello, low");
    RoundTrip(ffglhost::HelloRequest{kTop, 1e6, std::string(300, 'p'), 1}, "hello, high");
    RoundTrip(ffglhost::LimitsAnswer{0, 1, kTop, kTop, 16384, kTop}, "limits");
    ffglhost::ParameterReport low;
    low.min = -3.4e38f;
    low.max = 3.4e38f;
    ffglhost::ParameterReport text;
    text.index = kTop;
    text.name = "Title";
    text.isText = true;
    text.defaultText = std::string(4096, 't');
    ffglhost::LoadAnswer load;
    load.report.id = "QX01";
    load.report.inputsKnown = true;
    load.report.maximumInputs = kTop;
    load.report.parameters = {low, text};
    load.hasLogCallback = 1;
    load.thumbnailWidth = load.thumbnailHeight = 1;
    load.thumbnail = {0, 255, 0, 255};
    RoundTrip(load, "load");
    const ffglhost::ParameterChange number{0, false, -0.0f, ""};
    const ffglhost::ParameterChange words{kTop, true, 0.0f, "hi"};
    RoundTrip(ffglhost::RenderRequest{1,
                                      ffglhost::kMaxFrameSide,
                                      1,
                                      1,
                                      ffglhost::kMaxFrameSide,
                                      1,
                                      1,
                                      1e9,
                                      INT64_MAX,
                                      {number, words}},
              "render, high");
    RoundTrip(ffglhost::RenderRequest{0, 1, 1, 0, 0, 0, 0, -1.0, -1, {}}, "render, low");
    RoundTrip(ffglhost::DisplaysRequest{1, 1, {words}}, "displays");
    RoundTrip(ffglhost::DisplaysAnswer{{"", std::string(4096, 'd')}}, "display texts");
    RoundTrip(ffglhost::AnswerHeader{kTop, "message"}, "answer header");

    // A flag other than 0 or 1, and more parameters than a plug-in may have, are breaches.
    std::vector<uint8_t> flag = ffglhost::Encode(words);
    flag[4] = 2;  // the kind, after the index
    ffglhost::MessageReader badFlag(flag);
    EXPECT_THROW(ffglhost::Decode<ffglhost::ParameterChange>(badFlag), ffglhost::ProtocolError);
    load.report.parameters.resize(ffglhost::kMaxParameters + 1);
    const std::vector<uint8_t> many = ffglhost::Encode(load);
    ffglhost::MessageReader tooMany(many);
    EXPECT_THROW(ffglhost::Decode<ffglhost::LoadAnswer>(tooMany), ffglhost::ProtocolError);
}

struct FailureCase {
    const char* mode;  // HOSTILE_MODE
    WorkerFault fault;
    const char* message;
};

TEST(WorkerClient, ReportsACrashAHangAnExitAndStartsANewWorkerForTheNextFrame) {
    const FailureCase cases[] = {
        {"crash:17", WorkerFault::kCrashed,
         "the plug-in crashed (segmentation fault) in function code 17 (process frame)"},
        {"hang:17", WorkerFault::kHung,
         "the plug-in did not return within 2 s in function code 17 (process frame)"},
        {"exit:17", WorkerFault::kExited,
         "the plug-in ended the process (exit status 3) in function code 17 (process frame)"},
        {"gpu-busy:1", WorkerFault::kHung,
         "the plug-in did not finish its drawing within 2 s in function code 17 (process frame)"},
    };
    // A sanitizer build's worker would otherwise catch the plug-in's signal itself.
    setenv("ASAN_OPTIONS", "handle_segv=0:handle_abort=0:detect_leaks=0", 1);
    for (const FailureCase& c : cases) {
        setenv("HOSTILE_MODE", c.mode, 1);
        WorkerClient client(Options(2.0));
        client.Load(HOSTILE_PLUGIN_PATH);
        std::vector<uint8_t> output(4 * 4 * 4);
        const ffglhost::WorkerFrame frame{4, 4, nullptr, output.data(), 0.0, -1};
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                client.Render(frame);
                ADD_FAILURE() << c.mode << ": no failure";
            } catch (const WorkerError& error) {
                EXPECT_EQ(error.Fault(), c.fault) << c.mode;
                EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
            }
            EXPECT_FALSE(client.Running());
        }
    }
    unsetenv("HOSTILE_MODE");

    ffglhost::WorkerOptions missing = Options();
    missing.workerPath = "/nonexistent/ffgl-worker";
    WorkerClient client(missing);
    try {
        client.Load(QUELLIX_MODULE_PATH);
        ADD_FAILURE() << "a missing worker started";
    } catch (const WorkerError& error) {
        EXPECT_EQ(error.Fault(), WorkerFault::kCannotStart);
        EXPECT_STREQ(error.what(),
                     "cannot start the worker /nonexistent/ffgl-worker: No such file or directory");
    }
}

// Workers that break the protocol: each is ended and reported on one line, by the
// client's own clock where the worker says nothing.
TEST(WorkerClient, EndsAWorkerThatBreaksTheProtocol) {
    const struct {
        const char* script;  // what the fake worker does, in sh
        WorkerFault fault;
        const char* message;
    } cases[] = {
        {"printf 'garbage!' >&3; exec sleep 30", WorkerFault::kBrokeProtocol,
         "the worker sent something that is not an answer"},
        // An answer of 2 bytes: too short for its header.
        {"printf '\\144\\0\\0\\0\\2\\0\\0\\0ab' >&3; exec sleep 30", WorkerFault::kBrokeProtocol,
         "the worker sent a malformed answer"},
        // Status 3 (another version) and version 99.
        {"printf '\\144\\0\\0\\0\\14\\0\\0\\0\\3\\0\\0\\0\\0\\0\\0\\0\\143\\0\\0\\0' >&3; exec "
         "sleep 30",
         WorkerFault::kCannotStart, "speaks protocol version 99 and this front end version"},
        {"exec sleep 30", WorkerFault::kHung, "the worker did not answer within 1 s"},
    };
    char folder[] = "/tmp/fake-worker-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string worker = std::string(folder) + "/ffgl-worker";
    for (const auto& c : cases) {
        std::ofstream(worker) << "#!/bin/sh\n" << c.script << "\n";
        chmod(worker.c_str(), 0755);
        ffglhost::WorkerOptions options = Options(1.0);
        options.workerPath = worker;
        WorkerClient client(options);
        const auto started = std::chrono::steady_clock::now();
        try {
            client.Load(QUELLIX_MODULE_PATH);
            ADD_FAILURE() << c.script << ": accepted";
        } catch (const WorkerError& error) {
            EXPECT_EQ(error.Fault(), c.fault) << c.script;
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
        EXPECT_FALSE(client.Running());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4)) << c.script;
    }
    unlink(worker.c_str());
    rmdir(folder);
}

}  // namespace
