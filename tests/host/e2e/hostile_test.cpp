// Plug-ins that crash, hang, exit or answer with hostile values: the host reports each on
// one line naming the call, exits with the right status and leaves the folder as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "host/support/host_run.h"

namespace {

struct HostileCase {
    const char* mode;  // HOSTILE_MODE
    bool render;       // render (into old outputs) rather than info
    std::vector<std::string> extra;
    int exitCode;
    const char* message;  // expected in the one "ffgl-host:" line; null: no such line
};

const HostileCase kCases[] = {
    {"crash:13",
     false,
     {},
     1,
     "the plug-in crashed (segmentation fault) in function code 13 (extended information)"},
    {"bad-text",
     false,
     {},
     1,
     "the plug-in crashed (segmentation fault) in function code 13 (extended information)"},
    {"crash-load",
     false,
     {},
     1,
     "the plug-in crashed (segmentation fault) while its library was loading"},
    {"hang:4",
     false,
     {"--call-timeout", "1"},
     1,
     "the plug-in did not return within 1 s in function code 4 (number of parameters); it was "
     "stopped"},
    {"count:4294967294",
     false,
     {},
     1,
     "the plug-in says it has 4294967294 parameters; ffgl-host reads at most 4096"},
    {"count:4294967294", true, {}, 1, "says it has 4294967294 parameters"},
    // The limits the README states: 4096 parameters, a call timeout of 10 s by default.
    {"count:4096", false, {}, 0, nullptr},
    {"count:4097", false, {}, 1, "says it has 4097 parameters; ffgl-host reads at most 4096"},
    {"hang:4", false, {}, 1, "did not return within 10 s in function code 4"},
    {"crash:17",
     true,
     {},
     1,
     "the plug-in crashed (segmentation fault) in function code 17 (process frame)"},
    {"abort:17", true, {}, 1, "the plug-in crashed (aborted) in function code 17 (process frame)"},
    {"exit:17",
     true,
     {},
     1,
     "the plug-in ended the process (exit status 3) in function code 17 (process frame)"},
    {"crash:18", true, {}, 1, "crashed (segmentation fault) in function code 18 (instantiate)"},
    {"hang:17",
     true,
     {"--call-timeout", "1"},
     1,
     "did not return within 1 s in function code 17 (process frame)"},
    {"crash:19", true, {}, 1, "crashed (segmentation fault) in function code 19 (deinstantiate)"},
    // A frame that returns at once but keeps the GPU busy is stopped like a hung call.
    {"gpu-busy:3",
     true,
     {"--call-timeout", "2"},
     1,
     "the plug-in did not finish its drawing within 2 s in function code 17 (process frame); it "
     "was stopped"},
    {"control-text", false, {}, 0, nullptr},
    {"long-text", false, {}, 0, nullptr},
};

class HostilePlugins : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostilePlugins, AreReportedOnOneLineAndLeaveTheFolderAsItWas) {
    const HostileCase& c = GetParam();
    TempDir dir;
    mkdir((dir / "frames").c_str(), 0755);
    WriteFileWithMode(dir / "frames/frame_0000.png", "a frame of an earlier run", 0640);
    WriteFileWithMode(dir / "sheet.png", "an earlier sheet", 0600);
    const auto before = Snapshot(dir.Path());

    std::vector<std::string> arguments = {c.render ? "render" : "info", kHostilePluginPath};
    if (c.render) {
        arguments.insert(arguments.end(),
                         {"-n", "3", "--size", "32x18", "--out", "frames", "--sheet", "sheet.png"});
    }
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    // Sanitizer builds would otherwise catch the plug-in's signals themselves.
    const HostRun run = RunHost(dir.Path(), arguments,
                                {std::string("HOSTILE_MODE=") + c.mode,
                                 "ASAN_OPTIONS=handle_segv=0:handle_abort=0:detect_leaks=0"});

    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    const std::vector<std::string> lines = HostLines(run.err);
    if (c.message != nullptr) {
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_NE(lines[0].find(c.message), std::string::npos) << lines[0];
    } else {
        EXPECT_TRUE(lines.empty()) << run.err;
    }
    EXPECT_EQ(Snapshot(dir.Path()), before);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "raw escape on standard output";
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "raw escape on standard error";
}

INSTANTIATE_TEST_SUITE_P(Modes, HostilePlugins, ::testing::ValuesIn(kCases));

TEST(HostilePluginTexts, ShowControlCharactersAsEscapesAndCutLongTexts) {
    TempDir dir;
    const HostRun escaping =
        RunHost(dir.Path(), {"info", kHostilePluginPath}, {"HOSTILE_MODE=control-text"});
    ASSERT_EQ(escaping.exitCode, 0) << escaping.err;
    EXPECT_NE(escaping.out.find("H\\x1bST  \\x1b[2J\\x1b]0;owned\\x07"), std::string::npos)
        << escaping.out;
    EXPECT_NE(escaping.out.find("line one\\x0aline two\\x1b[31m"), std::string::npos);
    EXPECT_NE(escaping.out.find("Le\\x0avel\\x1b[1A"), std::string::npos);
    EXPECT_NE(escaping.err.find("[plugin] \\x1b[2Jcleared\\x1b]0;title\\x07"), std::string::npos)
        << escaping.err;

    const HostRun verbose =
        RunHost(dir.Path(), {"info", kHostilePluginPath}, {"HOSTILE_MODE=long-text"});
    ASSERT_EQ(verbose.exitCode, 0) << verbose.err;
    const size_t about = verbose.out.find("about:");
    ASSERT_NE(about, std::string::npos);
    const std::string line = verbose.out.substr(about, verbose.out.find('\n', about) - about);
    EXPECT_EQ(line, "about:        " + std::string(1000, 'a') + "...");
    // JSON carries the text as read: 4096 bytes of it.
    const HostRun json =
        RunHost(dir.Path(), {"info", kHostilePluginPath, "--json"}, {"HOSTILE_MODE=long-text"});
    EXPECT_NE(json.out.find("\"about\": \"" + std::string(4096, 'a') + "\","), std::string::npos);
}

TEST(HostilePluginTexts, StandardOutputOfThePluginBecomesLinesOnStandardError) {
    TempDir dir;
    const HostRun run =
        RunHost(dir.Path(), {"info", kHostilePluginPath, "--json"}, {"HOSTILE_MODE=chatty"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\n  \"file\": ", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find("chatty"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
    EXPECT_NE(run.err.find("[plugin] chatty: code 13\n"), std::string::npos) << run.err;
}

TEST(HostilePluginFiles, TruncatedOrForeignLibrariesAreRefusedBeforeLoading) {
    TempDir dir;
    ASSERT_EQ(RunShell("head -c 5000 " + ShellQuote(kModulePath) + " > " +
                       ShellQuote(dir / "truncated.so")),
              0);
    std::string elf32(64, '\0');
    elf32.replace(0, 6,
                  "\x7f"
                  "ELF\x01\x01");
    WriteFileWithMode(dir / "elf32.so", elf32, 0644);
    const std::pair<const char*, const char*> cases[] = {
        {"truncated.so",
         "cannot load truncated.so: it is truncated: its segments reach past the "
         "end of the file (5000 bytes)"},
        {"elf32.so", "cannot load elf32.so: it is a 32-bit library"},
    };
    for (const auto& [name, message] : cases) {
        const HostRun run = RunHost(dir.Path(), {"info", name});
        EXPECT_EQ(run.exitCode, 1) << name;
        const std::vector<std::string> lines = HostLines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_NE(lines[0].find(message), std::string::npos) << lines[0];
    }
}

}  // namespace

namespace {

TEST(HostilePluginChildren, ACrashTakesTheEncoderWithItAndLeavesNoFile) {
    TempDir dir;
    // An ffmpeg that ignores SIGTERM and keeps running after its input ends.
    mkdir((dir / "bin").c_str(), 0755);
    WriteFileWithMode(dir / "bin/ffmpeg",
                      "#!/bin/sh\ntrap '' TERM INT HUP\ncat >/dev/null\nsleep 30\n", 0755);
    WriteFileWithMode(dir / "clip.mp4", "an earlier clip", 0644);
    const auto before = Snapshot(dir.Path());
    const char* path = std::getenv("PATH");
    const auto started = std::chrono::steady_clock::now();
    const HostRun run =
        RunHost(dir.Path(),
                {"render", kHostilePluginPath, "-n", "3", "--size", "32x18", "--out", "clip.mp4"},
                {"HOSTILE_MODE=crash:17", "ASAN_OPTIONS=handle_segv=0:detect_leaks=0",
                 "PATH=" + dir.Path() + "/bin:" + (path != nullptr ? path : "/usr/bin:/bin")});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("crashed (segmentation fault) in function code 17"), std::string::npos)
        << run.err;
    EXPECT_LT(took.count(), 10.0) << "the encoder was waited for instead of ended";
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

}  // namespace
