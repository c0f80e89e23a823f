#include "effect/thumbnail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "support/sha256.h"

namespace {

constexpr uint32_t kBackground = 0x000000FFu;
constexpr uint32_t kBright = 0xFF0080FFu;
constexpr uint32_t kDim = 0x7F0040FFu;
constexpr uint32_t kCore = 0xFFDCFFFFu;
constexpr uint32_t kMark = 0x12345678u;

std::vector<uint32_t> Blank() {
    return std::vector<uint32_t>(static_cast<size_t>(kThumbnailWidth) * kThumbnailHeight, 0u);
}

uint32_t At(const std::vector<uint32_t>& pixels, int32_t x, int32_t y) {
    return pixels[static_cast<size_t>(y) * kThumbnailWidth + x];
}

size_t CountOf(const std::vector<uint32_t>& pixels, uint32_t word) {
    size_t n = 0;
    for (uint32_t p : pixels) {
        n += p == word ? 1 : 0;
    }
    return n;
}

// The rectangle at (x0, y0) of the given size, one text per row, '#' where kMark is.
std::vector<std::string> Region(const std::vector<uint32_t>& pixels, int32_t x0, int32_t y0,
                                int32_t width, int32_t height) {
    std::vector<std::string> rows;
    for (int32_t y = y0; y < y0 + height; ++y) {
        std::string row;
        for (int32_t x = x0; x < x0 + width; ++x) {
            row += At(pixels, x, y) == kMark ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(PackPixel, PacksArgbAndKeepsLowEightBitsOfEachChannel) {
    EXPECT_EQ(PackPixel(0x12, 0x34, 0x56, 0x78), 0x12345678u);
    EXPECT_EQ(PackPixel(0x1FF, 0x100, 0x2AB, 0xFFF), 0xFF00ABFFu);
}

TEST(ModuleThumbnail, IsRegisteredAtLoadAndHasTheKnownDigest) {
    const ThumbnailImage* image = ThumbnailImage::Current();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Width(), 160u);
    EXPECT_EQ(image->Height(), 120u);
    EXPECT_EQ(Sha256Hex(image->Pixels(), 76800),
              "2b6d174b27546f0bae9310c0bfcedaf06251d6fbebd7e27007af3aaf05372e7c");
    // Little-endian words: pixel (0, 0) is blue 255, green 0, red 0, alpha 0.
    const auto* bytes = reinterpret_cast<const unsigned char*>(image->Pixels());
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x00);
}

TEST(DrawThumbnail, SamplePixelsShowCoreRingRaysStreakSpotAndGlow) {
    const std::vector<uint32_t> pixels = DrawThumbnail();
    ASSERT_EQ(pixels.size(), 19200u);
    struct Sample {
        int32_t x, y;
        uint32_t word;
    };
    const Sample samples[] = {
        {0, 0, kBackground},   {159, 119, kBackground}, {80, 60, kCore},
        {84, 60, kCore},       {85, 60, kBright},       {88, 60, kBright},
        {71, 60, kBright},     {70, 60, kDim},          {25, 60, kDim},
        {100, 60, kDim},       {130, 60, kDim},         {119, 60, kDim},
        {115, 60, kDim},       {24, 60, kBackground},   {136, 60, kBackground},
        {90, 50, 0x19080CFFu}, {60, 80, 0x050102FFu},   {80, 99, kBackground},
    };
    for (const Sample& s : samples) {
        EXPECT_EQ(At(pixels, s.x, s.y), s.word) << "at (" << s.x << ", " << s.y << ")";
    }
}

TEST(DrawThumbnail, RayEndPointsComeFromSinglePrecisionArithmetic) {
    const std::vector<uint32_t> pixels = DrawThumbnail();
    // The horizontal rays 0 and 6 end under the streak and are left out.
    struct End {
        int32_t x, y;
        uint32_t word;
    };
    const End ends[] = {
        {110, 77, kDim}, {104, 103, kBright}, {80, 95, kDim}, {55, 103, kBright}, {50, 77, kDim},
        {50, 43, kDim},  {56, 17, kBright},   {80, 25, kDim}, {104, 17, kBright}, {110, 43, kDim},
    };
    for (const End& e : ends) {
        EXPECT_EQ(At(pixels, e.x, e.y), e.word) << "at (" << e.x << ", " << e.y << ")";
    }
}

TEST(DrawThumbnail, WordCountsOfTheFinishedPicture) {
    const std::vector<uint32_t> pixels = DrawThumbnail();
    const size_t background = CountOf(pixels, kBackground);
    const size_t dim = CountOf(pixels, kDim);
    const size_t bright = CountOf(pixels, kBright);
    const size_t core = CountOf(pixels, kCore);
    EXPECT_EQ(background, 15289u);
    EXPECT_EQ(dim, 264u);
    EXPECT_EQ(bright, 208u);
    EXPECT_EQ(core, 49u);
    EXPECT_EQ(pixels.size() - background - dim - bright - core, 3390u);
}

TEST(DrawLine, EqualEndPointsPlotOnePixel) {
    std::vector<uint32_t> pixels = Blank();
    DrawLine(pixels, 7, 9, 7, 9, kMark);
    EXPECT_EQ(CountOf(pixels, kMark), 1u);
    EXPECT_EQ(At(pixels, 7, 9), kMark);
}

TEST(DrawLine, EveryOctantIncludesBothEndsAndOnePixelPerMajorStep) {
    struct Line {
        int32_t x0, y0, x1, y1;
    };
    const Line lines[] = {
        {10, 10, 40, 20}, {40, 20, 10, 10}, {10, 10, 20, 40}, {20, 40, 10, 10},
        {40, 10, 10, 20}, {10, 20, 40, 10}, {20, 10, 10, 40}, {10, 40, 20, 10},
        {5, 5, 5, 30},    {30, 5, 5, 5},    {0, 0, 25, 25},
    };
    for (const Line& l : lines) {
        std::vector<uint32_t> pixels = Blank();
        DrawLine(pixels, l.x0, l.y0, l.x1, l.y1, kMark);
        const size_t major = std::max(std::abs(l.x1 - l.x0), std::abs(l.y1 - l.y0));
        EXPECT_EQ(CountOf(pixels, kMark), major + 1)
            << l.x0 << "," << l.y0 << " -> " << l.x1 << "," << l.y1;
        EXPECT_EQ(At(pixels, l.x0, l.y0), kMark);
        EXPECT_EQ(At(pixels, l.x1, l.y1), kMark);
    }
}

TEST(DrawLine, StepsBothAxesOnTheSameErrorTerm) {
    std::vector<uint32_t> pixels = Blank();
    DrawLine(pixels, 10, 10, 16, 14, kMark);
    // clang-format off
    const std::vector<std::string> shallow = {
        "#......",
        ".##....",
        "...#...",
        "....##.",
        "......#",
    };
    // clang-format on
    EXPECT_EQ(Region(pixels, 10, 10, 7, 5), shallow);

    pixels = Blank();
    DrawLine(pixels, 10, 10, 11, 12, kMark);
    const std::vector<std::string> steep = {"#.", ".#", ".#"};
    EXPECT_EQ(Region(pixels, 10, 10, 2, 3), steep);
}

TEST(DrawLine, PartlyOutsidePlotsOnlyInsidePixels) {
    std::vector<uint32_t> pixels = Blank();
    DrawLine(pixels, -10, 5, 10, 5, kMark);
    EXPECT_EQ(CountOf(pixels, kMark), 11u);
    EXPECT_EQ(At(pixels, 0, 5), kMark);
    EXPECT_EQ(At(pixels, 10, 5), kMark);

    pixels = Blank();
    DrawLine(pixels, 150, 5, 170, 5, kMark);  // must not wrap into the next row
    EXPECT_EQ(CountOf(pixels, kMark), 10u);
    EXPECT_EQ(At(pixels, 0, 6), 0u);

    pixels = Blank();
    DrawLine(pixels, 150, 110, 170, 130, kMark);  // leaves through the corner
    EXPECT_EQ(CountOf(pixels, kMark), 10u);
    EXPECT_EQ(At(pixels, 159, 119), kMark);

    pixels = Blank();
    DrawLine(pixels, -50, -50, -5, 200, kMark);  // wholly outside
    EXPECT_EQ(CountOf(pixels, kMark), 0u);
    EXPECT_EQ(pixels.size(), 19200u);
}

TEST(FillCircle, RadiusZeroPlotsTheCentreAndRadiusFourPlots49) {
    std::vector<uint32_t> pixels = Blank();
    FillCircle(pixels, 30, 30, 0, kMark);
    EXPECT_EQ(CountOf(pixels, kMark), 1u);
    EXPECT_EQ(At(pixels, 30, 30), kMark);

    pixels = Blank();
    FillCircle(pixels, 30, 30, 4, kMark);
    EXPECT_EQ(CountOf(pixels, kMark), 49u);
    EXPECT_EQ(At(pixels, 34, 30), kMark);
    EXPECT_EQ(At(pixels, 33, 33), 0u);  // 3² + 3² > 4²

    pixels = Blank();
    FillCircle(pixels, 0, 0, 4, kMark);  // clipped to the quarter inside
    EXPECT_EQ(CountOf(pixels, kMark), 17u);
}

TEST(DrawCircle, MidpointOutlinesOfSmallRadii) {
    std::vector<uint32_t> pixels = Blank();
    DrawCircle(pixels, 40, 40, 6, kMark);
    // clang-format off
    const std::vector<std::string> six = {
        "....#####....",
        "...#.....#...",
        "..#.......#..",
        ".#.........#.",
        "#...........#",
        "#...........#",
        "#...........#",
        "#...........#",
        "#...........#",
        ".#.........#.",
        "..#.......#..",
        "...#.....#...",
        "....#####....",
    };
    // clang-format on
    EXPECT_EQ(Region(pixels, 34, 34, 13, 13), six);

    pixels = Blank();
    DrawCircle(pixels, 40, 40, 1, kMark);
    const std::vector<std::string> one = {".#.", "#.#", ".#."};
    EXPECT_EQ(Region(pixels, 39, 39, 3, 3), one);

    pixels = Blank();
    DrawCircle(pixels, 40, 40, 0, kMark);
    EXPECT_EQ(CountOf(pixels, kMark), 1u);

    pixels = Blank();
    DrawCircle(pixels, 0, 119, 4, kMark);  // clipped at the bottom-left corner
    EXPECT_EQ(CountOf(pixels, kMark), 7u);
}

TEST(DrawCircleAndFillCircle, NegativeRadiusDrawsNothing) {
    std::vector<uint32_t> pixels = Blank();
    DrawCircle(pixels, 40, 40, -3, kMark);
    FillCircle(pixels, 40, 40, -3, kMark);
    EXPECT_EQ(CountOf(pixels, kMark), 0u);
}

// Constructing an image takes over the module-wide pointer. TearDown registers
// a fresh copy of the module picture so later tests still find a thumbnail.
class ThumbnailImageTest : public ::testing::Test {
  protected:
    void TearDown() override {
        restored_.emplace(kThumbnailWidth, kThumbnailHeight, DrawThumbnail());
    }
    static std::optional<ThumbnailImage> restored_;
};

std::optional<ThumbnailImage> ThumbnailImageTest::restored_;

TEST_F(ThumbnailImageTest, FewerWordsAreExtendedWithTransparentBlack) {
    const ThumbnailImage image(4, 3, {1, 2, 3, 4, 5});
    EXPECT_EQ(image.Width(), 4u);
    EXPECT_EQ(image.Height(), 3u);
    const uint32_t expected[12] = {1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(image.Pixels()[i], expected[i]) << "word " << i;
    }
}

TEST_F(ThumbnailImageTest, SurplusWordsAreDroppedFromTheEnd) {
    std::vector<uint32_t> words(10);
    for (size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<uint32_t>(100 + i);
    }
    const ThumbnailImage image(3, 2, words);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(image.Pixels()[i], 100 + i) << "word " << i;
    }
}

TEST_F(ThumbnailImageTest, RegistersItselfAndUnregistersOnDestruction) {
    {
        const ThumbnailImage image(1, 1, {kMark});
        EXPECT_EQ(ThumbnailImage::Current(), &image);
        EXPECT_EQ(ThumbnailImage::Current()->Pixels()[0], kMark);
    }
    EXPECT_EQ(ThumbnailImage::Current(), nullptr);
}
