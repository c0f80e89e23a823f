// `ffgl-host render` on the built module over pictures, written as PNG files.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "host/support/host_run.h"
#include "lib/io/png_file.h"
#include "lib/io/test_picture.h"

namespace {

using ffglhost::Image;
using ffglhost::ReadPng;

// Random colours in every pixel, so a pixel taken from a neighbour shows at once.
Image NoisePicture(uint32_t width, uint32_t height) {
    Image image(width, height);
    std::mt19937 random(1234);
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i] = static_cast<uint8_t>(random());
        image.rgba[i + 1] = static_cast<uint8_t>(random());
        image.rgba[i + 2] = static_cast<uint8_t>(random());
        image.rgba[i + 3] = 255;
    }
    return image;
}

// Counts the pixels whose RGB differs from the other picture's.
size_t DifferingPixels(const Image& a, const Image& b) {
    size_t count = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        if (a.rgba[i] != b.rgba[i] || a.rgba[i + 1] != b.rgba[i + 1] ||
            a.rgba[i + 2] != b.rgba[i + 2]) {
            ++count;
        }
    }
    return count;
}

TEST(RenderCommand, FramesOfTheBuiltInPictureShowTheFlareAtTheCentre) {
    TempDir dir;
    const HostRun run = RunHost(dir.Path(), {"render", kModulePath, "-n", "3", "--size", "320x180",
                                             "--set", "Auto Move=0", "--out", "frames"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("frames per second"), std::string::npos) << run.out;
    EXPECT_EQ(dir.Files(),
              (std::vector<std::string>{"frames/frame_0000.png", "frames/frame_0001.png",
                                        "frames/frame_0002.png"}));
    const Image input = ffglhost::MakeTestPicture(320, 180);
    for (const char* name : {"frames/frame_0000.png", "frames/frame_0002.png"}) {
        const Image frame = ReadPng(dir / name);
        ASSERT_EQ(frame.width, 320u);
        ASSERT_EQ(frame.height, 180u);
        // The flare sits at the centre and brightens it strongly; far corners change by
        // little more than the faint glow the flare spreads everywhere.
        EXPECT_GT(MeanDifference(frame, input, 160, 90, 6), 40.0) << name;
        EXPECT_LT(MeanDifference(frame, input, 10, 10, 6), 12.0) << name;
        EXPECT_EQ(frame.Pixel(0, 0)[3], 255);
    }
}

TEST(RenderCommand, IntensityZeroGivesBackTheInputPictureExactly) {
    TempDir dir;
    // Not a power of two in either direction, so --pad really pads.
    const Image input = NoisePicture(200, 120);
    ffglhost::WritePng(dir / "noise.png", input);
    for (const bool pad : {false, true}) {
        std::vector<std::string> arguments = {"render",  kModulePath, "-n",    "2",
                                              "--input", "noise.png", "--set", "intensity=0",
                                              "--out",   "last.png"};
        if (pad) {
            arguments.push_back("--pad");
        }
        const HostRun run = RunHost(dir.Path(), arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Image frame = ReadPng(dir / "last.png");
        ASSERT_EQ(frame.width, 200u);
        ASSERT_EQ(frame.height, 120u);
        EXPECT_EQ(DifferingPixels(frame, input), 0u) << (pad ? "padded" : "unpadded");
    }
}

TEST(RenderCommand, FlareYCountsUpFromTheBottomOfThePicture) {
    TempDir dir;
    Image grey(160, 90);
    for (size_t i = 0; i < grey.rgba.size(); i += 4) {
        grey.rgba[i] = grey.rgba[i + 1] = grey.rgba[i + 2] = 40;
        grey.rgba[i + 3] = 255;
    }
    ffglhost::WritePng(dir / "grey.png", grey);
    const HostRun run =
        RunHost(dir.Path(), {"render", kModulePath, "-n", "1", "--input", "grey.png", "--set",
                             "Auto Move=0", "--set", "Flare Y=0.8", "--out", "up.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Image frame = ReadPng(dir / "up.png");
    // Flare Y 0.8 is near the top, 18 rows from it in file order.
    EXPECT_GT(MeanDifference(frame, grey, 80, 18, 3), 100.0);
    EXPECT_LT(MeanDifference(frame, grey, 80, 72, 3), MeanDifference(frame, grey, 80, 18, 3) / 4);
}

TEST(RenderCommand, LastFrameSheetAndStartAgreeWithTheFullSequence) {
    TempDir dir;
    const std::vector<std::string> common = {"render", kModulePath, "--size", "160x90"};
    auto with = [&common](std::vector<std::string> more) {
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    };
    ASSERT_EQ(RunHost(dir.Path(), with({"-n", "5", "--out", "all"})).exitCode, 0);
    const HostRun last =
        RunHost(dir.Path(), with({"-n", "5", "--out", "last.png", "--sheet", "sheet.png"}));
    ASSERT_EQ(last.exitCode, 0) << last.err;
    const HostRun skipped = RunHost(dir.Path(), with({"-n", "2", "--start", "3", "--out", "late"}));
    ASSERT_EQ(skipped.exitCode, 0) << skipped.err;

    // The animation runs on its own clock, so equal frame numbers give equal pictures.
    const Image frame4 = ReadPng(dir / "all/frame_0004.png");
    EXPECT_EQ(DifferingPixels(ReadPng(dir / "last.png"), frame4), 0u);
    EXPECT_EQ(
        DifferingPixels(ReadPng(dir / "late/frame_0000.png"), ReadPng(dir / "all/frame_0003.png")),
        0u);
    EXPECT_EQ(DifferingPixels(ReadPng(dir / "late/frame_0001.png"), frame4), 0u);
    EXPECT_GT(DifferingPixels(ReadPng(dir / "all/frame_0000.png"), frame4), 0u);

    // Five frames: four columns, two rows of 160 x 90 thumbnails with labels.
    const Image sheet = ReadPng(dir / "sheet.png");
    EXPECT_EQ(sheet.width, 4u * 160 + 5 * 8);
    EXPECT_EQ(sheet.height, 2u * (90 + 20) + 3 * 8);
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{
                               "all/frame_0000.png", "all/frame_0001.png", "all/frame_0002.png",
                               "all/frame_0003.png", "all/frame_0004.png", "last.png",
                               "late/frame_0000.png", "late/frame_0001.png", "sheet.png"}));
}

}  // namespace

namespace {

TEST(RenderCommand, AShorterRunIntoAnOldDirectorySaysWhichFramesAreNotItsOwn) {
    TempDir dir;
    for (const char* frames : {"4", "2"}) {
        const HostRun run = RunHost(dir.Path(), {"render", kModulePath, "-n", frames, "--size",
                                                 "32x18", "-q", "--out", "frames"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        if (frames[0] == '2') {
            EXPECT_NE(run.out.find("note: 2 older frames after frame_0001.png in frames are left "
                                   "from an earlier run"),
                      std::string::npos)
                << run.out;
        }
    }
    EXPECT_EQ(dir.Files().size(), 4u) << "older frames are kept, not deleted";
}

// From frame 193 on, the worker's riders move up behind the drawing instance after each
// frame, drawing unseen steps into the corner pixel of the same target: none of that may
// reach a frame read back. Each frame of this plug-in is one grey, its step's.
TEST(RenderCommand, UnseenStepsNeverReachAFrame) {
    TempDir dir;
    ASSERT_EQ(RunHost(dir.Path(),
                      {"render", kHostilePluginPath, "--size", "8x4", "-n", "200", "--out", "all"},
                      {"HOSTILE_MODE=count"})
                  .exitCode,
              0);
    for (const int frame : {0, 192, 193, 199}) {
        char name[32];
        std::snprintf(name, sizeof name, "all/frame_%04d.png", frame);
        const Image image = ReadPng(dir / name);
        EXPECT_EQ(image.Pixel(0, 3)[0], frame % 256) << name << ", the corner";
        EXPECT_EQ(image.Pixel(4, 2)[0], frame % 256) << name;
    }
}

}  // namespace
