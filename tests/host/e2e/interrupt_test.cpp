// Real signals during a render into a folder that holds an earlier run: whatever the
// signals, the folder ends byte for byte as it was, with the exit status of the signal.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include "host/support/host_run.h"

namespace {

struct InterruptCase {
    const char* name;
    // Shell lines run with $host holding the command; they start it and signal it.
    const char* script;
    int exitCode;
    const char* mode;        // HOSTILE_MODE for the hostile plug-in, or null for the module
    double maxSeconds = 60;  // a second signal ends the run without waiting for the worker
    // Writes clip.mp4 through an ffmpeg that reads nothing and ignores signals, in place
    // of the frames.
    bool stubbornEncoder = false;
    double minSeconds = 0;
};

// Waits (at most ten seconds) until the render has written its second frame into its
// staging folder.
#define STARTED                                                                        \
    "for i in $(seq 200); do ls .ffgl-host-*-frames/frame_*01.png >/dev/null 2>&1 && " \
    "break; sleep 0.05; done; "

const InterruptCase kCases[] = {
    {"one Ctrl-C", "$host & pid=$!; " STARTED "kill -INT $pid; wait $pid", 130, nullptr},
    {"two quick Ctrl-C",
     "$host & pid=$!; " STARTED "kill -INT $pid; sleep 0.2; kill -INT $pid; wait $pid", 130,
     nullptr},
    {"SIGHUP", "$host & pid=$!; " STARTED "kill -HUP $pid; wait $pid", 129, nullptr},
    {"SIGTERM", "$host & pid=$!; " STARTED "kill -TERM $pid; wait $pid", 143, nullptr},
    // timeout signals the host and then its whole process group.
    {"timeout", "timeout -s TERM 2 $host", 124, nullptr},
    // The worker gets three seconds to stop after the first signal.
    {"hung plug-in, one Ctrl-C",
     "$host & pid=$!; sleep 1; for i in $(seq 200); do [ -e $LOGS/hung ] && break; sleep 0.05; "
     "done; kill -INT $pid; wait $pid",
     130, "hang:17", 4.9, false, 3.9},
    // The worker gets three seconds to stop after the first signal; the second cuts that.
    {"hung plug-in, two Ctrl-C",
     "$host & pid=$!; sleep 1; kill -INT $pid; sleep 0.2; kill -INT $pid; wait $pid", 130,
     "hang:17", 2.5},
    // The encoder blocks the worker; afterwards no ffmpeg may be left running (exit 99).
    {"hung encoder, two Ctrl-C",
     "$host & pid=$!; sleep 1.5; kill -INT $pid; sleep 0.2; kill -INT $pid; wait $pid; rc=$?; "
     "sleep 0.2; kill -0 $(cat $LOGS/ffmpeg.pid) 2>/dev/null && exit 99; exit $rc",
     130, nullptr, 10, true},
};

class Interruptions : public ::testing::TestWithParam<InterruptCase> {};

TEST_P(Interruptions, LeaveTheFolderByteForByteAsItWas) {
    const InterruptCase& c = GetParam();
    TempDir dir;
    mkdir((dir / "frames").c_str(), 0755);
    for (const char* name : {"frame_0000.png", "frame_0001.png", "frame_0002.png"}) {
        WriteFileWithMode(dir / ("frames/" + std::string(name)), std::string("earlier ") + name,
                          0640);
    }
    WriteFileWithMode(dir / "sheet.png", "an earlier sheet", 0600);
    WriteFileWithMode(dir / "clip.mp4", "an earlier clip", 0644);
    const auto before = Snapshot(dir.Path());

    const std::string plugin = c.mode != nullptr ? kHostilePluginPath : kModulePath;
    // Word-split by the shell: the build paths hold no spaces.
    const std::string host = std::string(kHostBinary) + " render " + plugin +
                             " -q -n 100000 --size 32x18 --sheet sheet.png --out " +
                             (c.stubbornEncoder ? "clip.mp4" : "frames");
    TempDir logs;
    mkdir((logs / "bin").c_str(), 0755);
    WriteFileWithMode(logs / "bin/ffmpeg",
                      "#!/bin/sh\necho $$ > \"$LOGS/ffmpeg.pid\"\ntrap '' TERM INT HUP\n"
                      "while :; do sleep 1; done\n",
                      0755);
    const std::string path =
        c.stubbornEncoder ? "export PATH=" + logs.Path() + "/bin:$PATH && " : "";
    const std::string command =
        "cd " + ShellQuote(dir.Path()) + " && export LOGS=" + ShellQuote(logs.Path()) + " && " +
        path + "export HOSTILE_MARK=$LOGS/hung HOSTILE_MODE=" + (c.mode ? c.mode : "none") +
        " && host=" + ShellQuote(host) + " && { " + c.script + "; } 2>" + ShellQuote(logs / "err") +
        "; exit $?";
    const auto started = std::chrono::steady_clock::now();
    const int exitCode = RunShell("sh -c " + ShellQuote(command));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(exitCode, c.exitCode) << c.name;
    EXPECT_LT(took.count(), c.maxSeconds) << c.name;
    EXPECT_GT(took.count(), c.minSeconds) << c.name;
    EXPECT_EQ(Snapshot(dir.Path()), before) << c.name;
    std::string err;
    RunShell("cat " + ShellQuote(logs / "err"), &err);
    const std::vector<std::string> lines = HostLines(err);
    ASSERT_EQ(lines.size(), 1u) << err;
    EXPECT_EQ(lines[0],
              "ffgl-host: interrupted; nothing was written and the outputs are as they were");
}

INSTANTIATE_TEST_SUITE_P(Signals, Interruptions, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p != '\0'; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    }
    return name;
});

}  // namespace
