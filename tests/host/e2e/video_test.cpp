// Video in and out through ffmpeg: a clip made by the host is read back by the host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "host/support/host_run.h"
#include "lib/io/png_file.h"

namespace {

class VideoRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFfmpeg()) {
            GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH";
        }
    }

    // A 10-frame, 160 x 96, 30 fps clip of the built-in picture under the flare.
    void MakeClip(const std::string& name) {
        const HostRun run = RunHost(dir_.Path(), {"render", kModulePath, "-n", "10", "--size",
                                                  "160x96", "--fps", "30", "--out", name});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    TempDir dir_;
};

TEST_F(VideoRoundTrip, Mp4InAndOutKeepsFrameCountAndSize) {
    MakeClip("in.mp4");
    const VideoFacts clip = ProbeVideoFile(dir_ / "in.mp4");
    EXPECT_EQ(clip.frames, 10);
    EXPECT_EQ(clip.width, 160);
    EXPECT_EQ(clip.height, 96);
    EXPECT_NEAR(clip.fps, 30.0, 0.01);

    const HostRun run = RunHost(
        dir_.Path(), {"render", kModulePath, "--input", "in.mp4", "-n", "6", "--out", "out.mp4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const VideoFacts out = ProbeVideoFile(dir_ / "out.mp4");
    EXPECT_EQ(out.frames, 6);
    EXPECT_EQ(out.width, 160);
    EXPECT_EQ(out.height, 96);
    EXPECT_NEAR(out.fps, 30.0, 0.01) << "the input's rate by default";
    EXPECT_EQ(dir_.Files(), (std::vector<std::string>{"in.mp4", "out.mp4"}));
}

TEST_F(VideoRoundTrip, VideoFramesReachThePlugInUprightAndUnchanged) {
    MakeClip("in.mp4");
    ASSERT_EQ(RunShell("ffmpeg -v error -i " + ShellQuote(dir_ / "in.mp4") +
                       " -frames:v 1 -pix_fmt rgba " + ShellQuote(dir_ / "ref.png")),
              0);
    const HostRun run = RunHost(dir_.Path(), {"render", kModulePath, "--input", "in.mp4", "-n", "1",
                                              "--set", "Intensity=0", "--out", "first.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ffglhost::Image reference = ffglhost::ReadPng(dir_ / "ref.png");
    const ffglhost::Image first = ffglhost::ReadPng(dir_ / "first.png");
    ASSERT_EQ(first.width, reference.width);
    ASSERT_EQ(first.height, reference.height);
    // Top, middle and bottom: a frame upside down or shifted would differ by far more.
    for (const uint32_t y : {8u, 48u, 88u}) {
        for (const uint32_t x : {8u, 80u, 150u}) {
            EXPECT_LT(MeanDifference(first, reference, x, y, 4), 1.0) << x << "," << y;
        }
    }
}

TEST_F(VideoRoundTrip, AShortClipEndsTheRenderAndSizeRescalesIt) {
    MakeClip("in.mp4");
    const HostRun run =
        RunHost(dir_.Path(), {"render", kModulePath, "--input", "in.mp4", "-n", "20", "--size",
                              "80x48", "--out", "frames", "--sheet", "sheet.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("the input ended after 10 frames"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("contact sheet of 6 frames in sheet.png (not the 12 planned: the "
                           "render ended after 10 frames)"),
              std::string::npos)
        << run.out;
    std::remove((dir_ / "sheet.png").c_str());
    const std::vector<std::string> files = dir_.Files();
    ASSERT_EQ(files.size(), 11u);  // the clip and ten frames
    EXPECT_EQ(files.back(), "in.mp4");
    const ffglhost::Image frame = ffglhost::ReadPng(dir_ / "frames/frame_0009.png");
    EXPECT_EQ(frame.width, 80u);
    EXPECT_EQ(frame.height, 48u);

    // Starting beyond the end of the clip leaves nothing to write: an error, no files.
    const HostRun late = RunHost(dir_.Path(), {"render", kModulePath, "--input", "in.mp4",
                                               "--start", "50", "--out", "late"});
    EXPECT_EQ(late.exitCode, 1);
    EXPECT_NE(late.err.find("before the first frame to write"), std::string::npos) << late.err;
    EXPECT_EQ(dir_.Files().size(), 11u);
}

TEST_F(VideoRoundTrip, WebmAndGifOutputsHoldEveryFrame) {
    for (const char* name : {"clip.webm", "clip.gif"}) {
        const HostRun run = RunHost(dir_.Path(), {"render", kModulePath, "-n", "4", "--size",
                                                  "120x68", "--fps", "25", "--out", name});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const VideoFacts facts = ProbeVideoFile(dir_ / name);
        EXPECT_EQ(facts.frames, 4) << name;
        EXPECT_EQ(facts.width, 120) << name;
        EXPECT_EQ(facts.height, 68) << name;
        EXPECT_NEAR(facts.fps, 25.0, 0.01) << name;
    }
}

// A 1 s, 10 fps, 64 x 48 clip made by ffmpeg from lavfi sources.
void MakeLavfiClip(const std::string& path, const std::string& video, const std::string& audio,
                   const std::string& codecs) {
    ASSERT_EQ(RunShell("ffmpeg -v error -f lavfi -i " + ShellQuote(video + "=s=64x48:r=10:d=1") +
                       (audio.empty() ? "" : " -f lavfi -i " + ShellQuote(audio + ":d=1")) + " " +
                       codecs + " " + ShellQuote(path)),
              0);
}

struct SoundCase {
    const char* input;
    const char* options;
    const char* out;
    const char* codec;  // of the output's sound; null: no sound
    const char* said;
    double seconds;  // of the video
    bool loudStart;  // the first tenth of a second holds the tone, not silence
};

// The tone starts at 0.3 s, so sound taken from the clip's start opens with silence.
const SoundCase kSoundCases[] = {
    {"aac.mp4", "-n 6", "out.mp4", "aac", "with the input's sound (aac, copied)", 0.6, false},
    {"aac.mp4", "-n 6", "out.webm", "opus", "sound (aac, encoded as Opus)", 0.6, false},
    {"aac.mp4", "-n 30", "out.mp4", "aac", "sound (aac, copied)", 1.0, false},
    {"pcm.mkv", "--start 3 -n 5", "out.mp4", "aac", "(pcm_s16le, encoded as AAC)", 0.5, true},
    {"aac.mp4", "--start 3 -n 5", "out.mp4", "aac", "(aac, encoded as AAC)", 0.5, true},
    {"aac.mp4", "-n 3 --no-audio", "out.mp4", nullptr, "without sound: --no-audio", 0.3, false},
    {"aac.mp4", "-n 3", "out.gif", nullptr, "without sound: GIF holds none", 0.3, false},
    {"silent.mp4", "-n 3", "out.mp4", nullptr, "without sound: the input has none", 0.3, false},
    {"aac.mp4", "-n 3 --fps 20", "out.mp4", nullptr, "would not keep step", 0.15, false},
};

TEST_F(VideoRoundTrip, TheInputsSoundFollowsTheFramesWritten) {
    const std::string tone = "aevalsrc=if(gte(t\\,0.3)\\,0.5*sin(2*PI*440*t)\\,0)";
    const std::string h264 = "-c:v libx264 -pix_fmt yuv420p";
    MakeLavfiClip(dir_ / "aac.mp4", "testsrc", tone, h264 + " -c:a aac");
    MakeLavfiClip(dir_ / "pcm.mkv", "testsrc", tone, h264 + " -c:a pcm_s16le");
    MakeLavfiClip(dir_ / "silent.mp4", "testsrc", "", h264);
    for (const SoundCase& c : kSoundCases) {
        SCOPED_TRACE(std::string(c.input) + " to " + c.out + " " + c.options);
        std::vector<std::string> arguments = {"render", kModulePath, "--input",
                                              c.input,  "--out",     c.out};
        std::istringstream options(c.options);
        for (std::string word; options >> word;) {
            arguments.push_back(word);
        }
        const HostRun run = RunHost(dir_.Path(), arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
        const std::vector<StreamFacts> streams = ProbeStreams(dir_ / c.out);
        ASSERT_EQ(streams.size(), c.codec != nullptr ? 2u : 1u);
        EXPECT_NEAR(streams[0].seconds, c.seconds, 0.01);
        if (c.codec != nullptr) {
            EXPECT_EQ(streams[1].codec, c.codec);
            EXPECT_NEAR(streams[1].seconds, streams[0].seconds, 0.1) << "within one frame";
            std::string level;
            RunShell("ffmpeg -i " + ShellQuote(dir_ / c.out) +
                         " -t 0.1 -map 0:a -af volumedetect -f null - 2>&1 | "
                         "sed -n 's/.*max_volume: \\(.*\\) dB/\\1/p'",
                     &level);
            EXPECT_EQ(std::atof(level.c_str()) > -20, c.loudStart) << level;
        }
        std::remove((dir_ / c.out).c_str());
    }
}

// Frames of one flat grey each, ten levels apart: any frame out of place shows.
TEST_F(VideoRoundTrip, EachFrameWrittenComesFromItsOwnInputFrame) {
    MakeLavfiClip(dir_ / "steps.mkv", "nullsrc", "", "-vf geq=lum=20+N*20:cb=128:cr=128 -c:v ffv1");
    ASSERT_EQ(RunShell("ffmpeg -v error -i " + ShellQuote(dir_ / "steps.mkv") +
                       " -pix_fmt rgba -start_number 0 " + ShellQuote(dir_ / "in_%d.png")),
              0);
    const HostRun run =
        RunHost(dir_.Path(), {"render", kModulePath, "--input", "steps.mkv", "-q", "--set",
                              "Intensity=0", "--start", "2", "-n", "7", "--out", "frames"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (int k = 0; k < 7; ++k) {
        const ffglhost::Image in =
            ffglhost::ReadPng(dir_ / ("in_" + std::to_string(k + 2) + ".png"));
        const ffglhost::Image out =
            ffglhost::ReadPng(dir_ / ("frames/frame_000" + std::to_string(k) + ".png"));
        EXPECT_LT(MeanDifference(out, in, 32, 24, 20), 2.0) << "frame " << k;
    }
}

}  // namespace
