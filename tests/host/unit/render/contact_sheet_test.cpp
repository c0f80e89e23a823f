// Which frames a contact sheet shows and where it puts them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "lib/io/png_file.h"
#include "lib/render/contact_sheet.h"
#include "lib/render/contact_sheet_sink.h"

namespace {

using ffglhost::ContactSheetLayout;
using ffglhost::EvenlySpacedFrames;
using ffglhost::Image;

TEST(EvenlySpacedFrames, SpansFirstToLastFrame) {
    const std::vector<uint64_t> frames = EvenlySpacedFrames(120, 12);
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_EQ(frames.front(), 0u);
    EXPECT_EQ(frames.back(), 119u);
    for (size_t k = 1; k < frames.size(); ++k) {
        const uint64_t step = frames[k] - frames[k - 1];
        EXPECT_TRUE(step == 10 || step == 11) << k;  // 119 / 11 = 10.8
    }
    EXPECT_EQ(EvenlySpacedFrames(5, 12), (std::vector<uint64_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(EvenlySpacedFrames(13, 12).size(), 12u);
    EXPECT_EQ(EvenlySpacedFrames(50, 1), std::vector<uint64_t>{0});
    EXPECT_TRUE(EvenlySpacedFrames(0, 12).empty());
}

TEST(PlanContactSheet, FourColumnsOfThumbnails320WideWithTheFrameAspect) {
    const ContactSheetLayout layout =
        ffglhost::PlanContactSheet(EvenlySpacedFrames(120, 12), 1280, 720);
    EXPECT_EQ(layout.columns, 4u);
    EXPECT_EQ(layout.rows, 3u);
    EXPECT_EQ(layout.thumbnailWidth, 320u);
    EXPECT_EQ(layout.thumbnailHeight, 180u);
    EXPECT_EQ(layout.width, 4u * 320 + 5 * 8);
    EXPECT_EQ(layout.height, 3u * (180 + layout.labelHeight) + 4 * 8);
    // Reading order: the fifth thumbnail starts the second row.
    EXPECT_EQ(layout.ThumbnailX(4), layout.ThumbnailX(0));
    EXPECT_EQ(layout.ThumbnailY(4), layout.ThumbnailY(0) + 180 + layout.labelHeight + 8);
    EXPECT_EQ(layout.ThumbnailX(3) + 320 + 8, layout.width);

    const ContactSheetLayout small = ffglhost::PlanContactSheet({0, 1}, 100, 300);
    EXPECT_EQ(small.columns, 2u);
    EXPECT_EQ(small.rows, 1u);
    EXPECT_EQ(small.thumbnailWidth, 100u);  // never enlarged
    EXPECT_EQ(small.thumbnailHeight, 300u);
}

TEST(ComposeContactSheet, EachThumbnailLandsInItsCell) {
    const ContactSheetLayout layout = ffglhost::PlanContactSheet({0, 5, 9}, 64, 32);
    std::vector<Image> thumbnails;
    for (uint8_t k = 0; k < 3; ++k) {
        Image thumbnail(layout.thumbnailWidth, layout.thumbnailHeight);
        for (size_t i = 0; i < thumbnail.rgba.size(); i += 4) {
            thumbnail.rgba[i] = static_cast<uint8_t>(100 + 50 * k);
            thumbnail.rgba[i + 3] = 255;
        }
        thumbnails.push_back(thumbnail);
    }
    const Image sheet = ffglhost::ComposeContactSheet(layout, thumbnails);
    ASSERT_EQ(sheet.width, layout.width);
    ASSERT_EQ(sheet.height, layout.height);
    for (size_t k = 0; k < 3; ++k) {
        const uint32_t x = layout.ThumbnailX(k);
        const uint32_t y = layout.ThumbnailY(k);
        EXPECT_EQ(sheet.Pixel(x, y)[0], 100 + 50 * k);
        EXPECT_EQ(sheet.Pixel(x + 63, y + 31)[0], 100 + 50 * k);
        EXPECT_NE(sheet.Pixel(x + 64, y)[0], 100 + 50 * k);  // the gap after it
    }
    EXPECT_EQ(sheet.Pixel(0, 0)[3], 255);  // an opaque background
}

TEST(ContactSheetSink, AShortRunShowsThePlannedFramesThatCameAndTheLast) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ffgl-host-sheet-" + std::to_string(getpid()) + ".png"))
                                 .string();
    {
        ffglhost::ContactSheetSink sink({"out/sheet.png", path, false}, 120, 64,
                                        32);  // 0, 11, 22, 32, ...
        Image frame(64, 32);
        for (uint64_t i = 0; i < 30; ++i) {
            sink.Write(frame, i);
        }
        sink.Finish();
        // 0, 11, 22 and the last, 29
        EXPECT_EQ(sink.Describe(),
                  "contact sheet of 4 frames in out/sheet.png (not the 12 "
                  "planned: the render ended after 30 frames)");
    }
    const Image sheet = ffglhost::ReadPng(path);
    EXPECT_EQ(sheet.width, ffglhost::PlanContactSheet({0, 11, 22, 29}, 64, 32).width);
    std::remove(path.c_str());
}

}  // namespace
