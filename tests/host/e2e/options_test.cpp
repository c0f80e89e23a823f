// Each render option of the README does what the README says, checked in what the host
// writes or what the plug-in is given; usage errors are one line and exit status 2.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/support/host_run.h"
#include "lib/io/png_file.h"

namespace {

struct UsageCase {
    std::vector<std::string> arguments;  // "Q" stands for the module
    const char* message;
};

const UsageCase kUsageCases[] = {
    {{"bogus"},
     "unknown command \"bogus\"; the commands are info, render, frei0r and play (see "
     "ffgl-host --help)"},
    {{"render", "Q", "-n", "-1"},
     "--frames must be a whole number of at least 1, got \"-1\" (see ffgl-host render --help)"},
    {{"render", "Q", "-n", "0"}, "--frames must be a whole number of at least 1, got \"0\""},
    {{"render", "Q", "-n", "99999999999999999999"}, "--frames must be a whole number"},
    {{"render", "Q", "--start", "-1"}, "--start must be a whole number of at least 0, got \"-1\""},
    {{"render", "Q", "--size", "0x5"}, "--size sides must be 1 to 16384 pixels"},
    {{"render", "Q", "--size", "big"}, "--size needs WIDTHxHEIGHT"},
    {{"render", "Q", "--fps", "0"}, "--fps needs a rate from 0.01 to 1000"},
    {{"render", "Q", "--fps", "fast"}, "--fps"},
    {{"render", "Q", "--out", "frame.bmp"}, "cannot write frame.bmp: --out takes a directory"},
    {{"render", "Q", "--sheet", "sheet.jpg"}, "--sheet needs a .png file name"},
    {{"render", "Q", "--out", "a.png", "--sheet", "a.png"}, "--out and --sheet name the same"},
    {{"render", "Q", "--set", "Intensity"}, "--set needs NAME=VALUE, got \"Intensity\""},
    {{"render", "Q", "--call-timeout", "-1"}, "--call-timeout needs a number of seconds"},
    {{"render", "Q", "--bogus"}, "--bogus"},
    {{"render"}, "PLUGIN"},
    {{"info", "Q", "--thumbnail", "thumb.jpg"},
     "--thumbnail needs a .png file name, got thumb.jpg (see ffgl-host info --help)"},
};

TEST(UsageErrors, AreOneLineWithAHintAndExitStatusTwo) {
    TempDir dir;
    for (const UsageCase& c : kUsageCases) {
        std::vector<std::string> arguments = c.arguments;
        for (std::string& argument : arguments) {
            argument = argument == "Q" ? kModulePath : argument;
        }
        const HostRun run = RunHost(dir.Path(), arguments);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        const std::vector<std::string> lines = HostLines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(run.err, lines[0] + "\n");
        EXPECT_NE(lines[0].find(c.message), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("--help)"), std::string::npos) << lines[0];
    }
    EXPECT_TRUE(dir.Files().empty());
}

// The hostile plug-in in echo mode logs the host time and the input texture it is given.
struct EchoCase {
    std::vector<std::string> options;
    std::vector<std::string> lines;  // expected plug-in log lines, in order
};

const EchoCase kEchoCases[] = {
    {{"-n", "2"},
     {"rate 48000", "texture 200x120 in 200x120", "time 0.0000", "time 0.0167"}},  // 60 fps
    // The plug-in's clock moves a step every 60th of a second whatever the frame rate: at
    // 25 fps the steps between frames are drawn unseen, each at its own time.
    {{"-n", "2", "--fps", "25"}, {"time 0.0000", "time 0.0167", "time 0.0400"}},
    {{"-n", "1", "--start", "2", "--fps", "25"},
     {"time 0.0000", "time 0.0167", "time 0.0333", "time 0.0500", "time 0.0667", "time 0.0800"}},
    {{"-n", "1", "--pad"}, {"texture 200x120 in 256x128"}},
    {{"-n", "1", "--pad", "--size", "256x64"}, {"texture 256x64 in 256x64"}},  // already fits
    {{"-n", "1", "-q"}, {}},
};

std::vector<std::string> PluginLines(const std::string& text, const std::string& kind) {
    std::vector<std::string> lines;
    for (size_t at = text.find("[plugin] " + kind); at != std::string::npos;
         at = text.find("[plugin] " + kind, at + 1)) {
        lines.push_back(text.substr(at + 9, text.find('\n', at) - at - 9));
    }
    return lines;
}

TEST(RenderOptions, HostClockPaddingAndQuietReachThePlugIn) {
    TempDir dir;
    for (const EchoCase& c : kEchoCases) {
        std::vector<std::string> arguments = {"render", kHostilePluginPath, "--out", "last.png"};
        if (std::find(c.options.begin(), c.options.end(), "--size") == c.options.end()) {
            arguments.insert(arguments.end(), {"--size", "200x120"});
        }
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const HostRun run = RunHost(dir.Path(), arguments, {"HOSTILE_MODE=echo"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<std::string> expectedTimes, expectedTextures, expectedRates;
        for (const std::string& line : c.lines) {
            (line.rfind("time", 0) == 0   ? expectedTimes
             : line.rfind("rate", 0) == 0 ? expectedRates
                                          : expectedTextures)
                .push_back(line);
        }
        if (!expectedRates.empty()) {
            EXPECT_EQ(PluginLines(run.err, "rate"), expectedRates) << run.err;
        }
        const std::vector<std::string> times = PluginLines(run.err, "time");
        const std::vector<std::string> textures = PluginLines(run.err, "texture");
        if (!expectedTimes.empty() || c.lines.empty()) {
            EXPECT_EQ(times, expectedTimes) << run.err;
        }
        if (!expectedTextures.empty()) {
            ASSERT_FALSE(textures.empty()) << run.err;
            EXPECT_EQ(textures.front(), expectedTextures.front());
        }
        if (c.lines.empty()) {
            EXPECT_EQ(run.err.find("[plugin]"), std::string::npos) << run.err;
        }
    }
}

TEST(RenderOptions, SheetHoldsTwelveFramesAndSizeScalesAPicture) {
    TempDir dir;
    ffglhost::WritePng(dir / "in.png", ffglhost::Image(200, 120));
    const HostRun run =
        RunHost(dir.Path(), {"render", kModulePath, "-n", "30", "--input", "in.png", "--size",
                             "64x36", "--out", "last.png", "--sheet", "sheet.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("contact sheet of 12 frames in sheet.png\n"), std::string::npos)
        << run.out;
    const ffglhost::Image sheet = ffglhost::ReadPng(dir / "sheet.png");
    EXPECT_EQ(sheet.width, 4u * 64 + 5 * 8);          // four columns
    EXPECT_EQ(sheet.height, 3u * (36 + 20) + 4 * 8);  // three rows of labelled thumbnails
    const ffglhost::Image last = ffglhost::ReadPng(dir / "last.png");
    EXPECT_EQ(last.width, 64u);
    EXPECT_EQ(last.height, 36u);
}

TEST(RenderOptions, ValuesOutsideAParametersRangeAreRefused) {
    TempDir dir;
    const HostRun run = RunHost(dir.Path(), {"render", kModulePath, "--set", "Intensity=1.5", "-n",
                                             "1", "--out", "last.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(HostLines(run.err),
              std::vector<std::string>{
                  "ffgl-host: parameter \"Intensity\" takes values from 0 to 1, got 1.5"});
    EXPECT_TRUE(dir.Files().empty());
}

TEST(RenderOptions, AFullDiskNamesTheOutputAndTheReasonAndKeepsTheOldFile) {
    TempDir dir;
    // A file system of one page, which the earlier frame fills, mounted in a namespace of
    // the test's own.
    const std::string command =
        "unshare -rm sh -c 'mount -t tmpfs -o size=4k tmpfs . && cd \"$PWD\" && printf earlier > "
        "last.png && " +
        std::string(kHostBinary) + " render " + kModulePath +
        " -n 1 --size 640x360 -q --out last.png 2>&1; echo rc=$?; ls -A; "
        "[ \"$(cat last.png)\" = earlier ] && echo kept'";
    std::string output;
    ASSERT_EQ(RunShell("cd " + ShellQuote(dir.Path()) + " && " + command, &output), 0);
    EXPECT_EQ(output,
              "ffgl-host: cannot write last.png: No space left on device\nrc=1\nlast.png\nkept\n");
}

class VideoOptions : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFfmpeg()) {
            GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH";
        }
    }
    TempDir dir_;
};

TEST_F(VideoOptions, GifAboveFiftyFramesPerSecondLastsAsLongAsTheRender) {
    const struct {
        const char* fps;
        const char* frames;
        int kept;
        double seconds;
    } cases[] = {{"60", "90", 75, 1.5}, {"50", "50", 50, 1.0}};
    for (const auto& c : cases) {
        const HostRun run = RunHost(dir_.Path(), {"render", kModulePath, "-n", c.frames, "--size",
                                                  "32x18", "--fps", c.fps, "-q", "--out", "a.gif"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.find("played at 50 frames per second") != std::string::npos, c.kept == 75)
            << run.out;
        const VideoFacts facts = ProbeVideoFile(dir_ / "a.gif");
        EXPECT_EQ(facts.frames, c.kept) << c.fps;
        EXPECT_NEAR(facts.seconds, c.seconds, 0.011) << c.fps;
    }
}

TEST(HostVersion, IsPrintedWithExitStatusZero) {
    TempDir dir;
    const HostRun run = RunHost(dir.Path(), {"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "ffgl-host 1.0\n");
}

TEST_F(VideoOptions, OddSizesArePaddedForH264AndSaidSo) {
    const HostRun run = RunHost(dir_.Path(), {"render", kModulePath, "-n", "3", "--size", "33x19",
                                              "-q", "--out", "odd.mp4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("3 frames in odd.mp4, 33x19 padded to 34x20 with black"),
              std::string::npos)
        << run.out;
    const VideoFacts facts = ProbeVideoFile(dir_ / "odd.mp4");
    EXPECT_EQ(facts.width, 34);
    EXPECT_EQ(facts.height, 20);
    EXPECT_EQ(facts.frames, 3);
}

}  // namespace
