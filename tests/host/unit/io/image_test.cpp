// Row flipping between file and GL order, and area-averaged scaling.
#include <gtest/gtest.h>

#include "lib/io/image.h"

namespace {

using ffglhost::Image;

TEST(FlipRows, ReversesRowOrderAndKeepsEachRow) {
    const uint8_t rows[3][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    uint8_t flipped[3][4] = {};
    ffglhost::FlipRowsInto(&rows[0][0], &flipped[0][0], 4, 3);
    EXPECT_EQ(std::vector<uint8_t>(&flipped[0][0], &flipped[0][0] + 12),
              (std::vector<uint8_t>{9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}));
}

Image Row(std::vector<uint8_t> reds) {
    Image image(static_cast<uint32_t>(reds.size()), 1);
    for (size_t x = 0; x < reds.size(); ++x) {
        image.rgba[x * 4] = reds[x];
        image.rgba[x * 4 + 3] = 255;
    }
    return image;
}

TEST(ScaleImage, AveragesTheAreaEachTargetPixelCovers) {
    // Halving: plain pairs.
    const Image half = ffglhost::ScaleImage(Row({0, 100, 200, 250}), 2, 1);
    EXPECT_EQ(half.Pixel(0, 0)[0], 50);
    EXPECT_EQ(half.Pixel(1, 0)[0], 225);
    EXPECT_EQ(half.Pixel(1, 0)[3], 255);
    // Three into two: the middle pixel is shared half and half.
    const Image third = ffglhost::ScaleImage(Row({0, 90, 180}), 2, 1);
    EXPECT_EQ(third.Pixel(0, 0)[0], 30);   // (0 + 0.5 * 90) / 1.5
    EXPECT_EQ(third.Pixel(1, 0)[0], 150);  // (0.5 * 90 + 180) / 1.5
    // Same size: unchanged.
    const Image same = ffglhost::ScaleImage(Row({7, 8, 9}), 3, 1);
    EXPECT_EQ(same.rgba, Row({7, 8, 9}).rgba);
}

TEST(ScaleImage, KeepsVerticalPositionTopRowFirst) {
    Image tall(1, 4);
    tall.rgba[0] = 200;  // only the top row is bright
    const Image small = ffglhost::ScaleImage(tall, 1, 2);
    EXPECT_EQ(small.Pixel(0, 0)[0], 100);
    EXPECT_EQ(small.Pixel(0, 1)[0], 0);
}

}  // namespace
