// Read-back through pixel buffers in a real GL context: order, lag and orientation.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include "lib/gl/gl_objects.h"
#include "lib/gl/pbo_reader.h"

namespace {

using ffglhost::Image;
using ffglhost::PboReader;
using ffglhost::RenderTarget;

// Frame n is a flat colour whose red channel is 10 * (n + 1).
void DrawFrame(const RenderTarget& target, int n) {
    target.Clear(static_cast<float>(10 * (n + 1)) / 255.0f, 0.5f, 0.0f, 1.0f);
}

int RedOf(const Image& image) {
    return image.Pixel(image.width / 2, image.height / 2)[0];
}

class PboReaderOrder : public ::testing::TestWithParam<size_t> {};

TEST_P(PboReaderOrder, FramesComeOutOnceEachInTheOrderTheyWentIn) {
    const size_t depth = GetParam();
    RenderTarget target(48, 32);
    PboReader reader(48, 32, depth);
    std::vector<int> reds;
    Image out;
    for (int n = 0; n < 7; ++n) {
        DrawFrame(target, n);
        const bool ready = reader.Read(target.Framebuffer(), out);
        // The first depth - 1 reads only fill the pipeline.
        EXPECT_EQ(ready, static_cast<size_t>(n) + 1 >= depth) << "frame " << n;
        if (ready) {
            ASSERT_EQ(out.width, 48u);
            ASSERT_EQ(out.height, 32u);
            reds.push_back(RedOf(out));
        }
    }
    EXPECT_EQ(reader.InFlight(), depth - 1);
    while (reader.Drain(out)) {
        reds.push_back(RedOf(out));
    }
    EXPECT_EQ(reader.InFlight(), 0u);
    EXPECT_EQ(reds, (std::vector<int>{10, 20, 30, 40, 50, 60, 70}));
}

INSTANTIATE_TEST_SUITE_P(Depths, PboReaderOrder, ::testing::Values(2, 3, 4));

TEST(PboReader, FramesComeOutTopRowFirst) {
    RenderTarget target(16, 8);
    target.Clear(0.0f, 0.0f, 1.0f, 1.0f);
    // GL's first rows are the bottom ones: colour the two lowest GL rows red.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 16, 2);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    PboReader reader(16, 8);
    Image out;
    EXPECT_FALSE(reader.Read(target.Framebuffer(), out));
    ASSERT_TRUE(reader.Drain(out));
    EXPECT_EQ(out.Pixel(3, 0)[2], 255);  // top row: blue
    EXPECT_EQ(out.Pixel(3, 5)[2], 255);
    EXPECT_EQ(out.Pixel(3, 6)[0], 255);  // bottom two rows: red
    EXPECT_EQ(out.Pixel(3, 7)[0], 255);
    EXPECT_EQ(out.Pixel(3, 7)[2], 0);
    GLint bound = -1;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "a pack buffer left bound would redirect later reads";
}

}  // namespace
