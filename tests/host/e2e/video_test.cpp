// Video in and out through ffmpeg: a clip made by the host is read back by the host.
#include <gtest/gtest.h>

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

}  // namespace
