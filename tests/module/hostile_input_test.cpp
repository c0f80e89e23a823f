// What a careless host may send: missing instances and records, indices no parameter has,
// positions past the end, tiny buffers, non-finite values and odd textures. Every answer is
// the code's failure value or its sound behaviour, and nothing is written out of bounds.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "lib/gl/gl_objects.h"
#include "support/float_target.h"
#include "support/loaded_module.h"

namespace {

using L = ffglhost::PluginLibrary;

constexpr FFResult kNull = 0;
constexpr uint64_t kUpperHalf = uint64_t{1} << 32;

// One code and what it answers with no instance, and with an absent parameter index.
struct CodeRow {
    uint32_t code;
    bool needsInstance;
    FFResult absentIndexAnswer;  // for index-taking codes; unused otherwise
};

// The index-taking codes and their answer for an index no parameter has.
const CodeRow kIndexCodes[] = {
    {FF_GET_PARAMETER_NAME, false, kNull},     {FF_GET_PARAMETER_DEFAULT, false, FF_FAIL},
    {FF_GET_PARAMETER_TYPE, false, FF_FAIL},   {FF_GET_NUM_PARAMETER_ELEMENTS, false, FF_FAIL},
    {FF_GET_PARAMETER_USAGE, false, FF_FAIL},  {FF_GET_NUM_FILE_PARAMETER_EXTENSIONS, false, 0},
    {FF_GET_PARAM_VISIBILITY, false, FF_FAIL}, {FF_GET_NUM_ELEMENT_SEPARATORS, false, 0},
    {FF_GET_PARAMETER_DISPLAY, true, kNull},   {FF_GET_PARAMETER, true, 0},  // the bits of 0.0
    {FF_GET_INPUT_STATUS, true, FF_FAIL},
};

class HostileInput : public ::testing::Test {
  protected:
    void SetUp() override {
        FFGLViewportStruct viewport{0, 0, 64, 64};
        const FFResult handle = Module().Call(FF_INSTANTIATE_GL, &viewport);
        ASSERT_NE(handle, FF_FAIL);
        instance_ = L::AsPointer<void>(handle);
    }
    void TearDown() override { Module().Call(FF_DEINSTANTIATE_GL, 0, instance_); }

    FFInstanceID instance_ = nullptr;
};

TEST_F(HostileInput, EveryInstanceCodeWithoutAnInstanceFails) {
    // Input words that would crash if followed: the instance check comes first.
    const uint32_t instanceCodes[] = {FF_GET_PARAMETER_DISPLAY,
                                      FF_SET_PARAMETER,
                                      FF_GET_PARAMETER,
                                      FF_GET_INPUT_STATUS,
                                      FF_PROCESS_OPENGL,
                                      FF_DEINSTANTIATE_GL,
                                      FF_SET_TIME,
                                      FF_CONNECT,
                                      FF_DISCONNECT,
                                      FF_RESIZE,
                                      FF_SET_PARAMETER_ELEMENT_VALUE,
                                      FF_SET_BEATINFO,
                                      FF_SET_HOSTINFO,
                                      FF_SET_SAMPLERATE,
                                      FF_GET_PARAM_EVENTS,
                                      FF_ENABLE_PLUGIN_CAP,
                                      FF_GET_PARAM_DISPLAY_NAME};
    for (const uint32_t code : instanceCodes) {
        EXPECT_EQ(Module().Call(code, 0x10), FF_FAIL) << code;
    }
}

TEST_F(HostileInput, AbsentIndicesWithAndWithoutTheUpperHalf) {
    for (const CodeRow& row : kIndexCodes) {
        for (uint64_t index : {uint64_t{6}, uint64_t{0xFFFFFFFF}, kUpperHalf | 6}) {
            const FFResult answer =
                Module().Call(row.code, index, row.needsInstance ? instance_ : nullptr);
            if (row.code == FF_GET_INPUT_STATUS) {
                EXPECT_EQ(answer, FF_FAIL) << row.code;  // channels past the input count
            } else {
                EXPECT_EQ(answer, row.absentIndexAnswer) << row.code << " index " << index;
            }
        }
        // The upper half never changes which parameter is meant.
        const FFResult plain = Module().Call(row.code, 2, row.needsInstance ? instance_ : nullptr);
        const FFResult upper =
            Module().Call(row.code, kUpperHalf | 2, row.needsInstance ? instance_ : nullptr);
        EXPECT_EQ(plain, upper) << row.code;
    }
    SetParameterStruct record{};
    record.ParameterNumber = 0xFFFFFFFFu;
    record.NewParameterValue.FloatValue = 0.5f;
    EXPECT_EQ(Module().Call(FF_SET_PARAMETER, &record, instance_), FF_FAIL);
    ElementValueRecord element{6, 0, 0.5f};
    EXPECT_EQ(Module().Call(FF_SET_PARAMETER_ELEMENT_VALUE, &element, instance_), FF_FAIL);
    RangeRecord range{0xFFFFFFFFu, 7.0f, 7.0f};
    EXPECT_EQ(Module().Call(FF_GET_RANGE, &range), FF_SUCCESS);
    EXPECT_EQ(range.Min, 0.0f);
    EXPECT_EQ(range.Max, 1.0f);
}

TEST_F(HostileInput, PositionsPastTheEnd) {
    for (uint32_t position : {1u, 2u, 0xFFFFFFFFu}) {
        ElementRequest request{0, position};
        EXPECT_EQ(Module().Call(FF_GET_PARAMETER_ELEMENT_NAME, &request), kNull);
        EXPECT_EQ(Module().Call(FF_GET_PARAMETER_ELEMENT_NAME, &request, instance_), kNull);
        EXPECT_EQ(Module().Call(FF_GET_PARAMETER_ELEMENT_VALUE, &request, instance_), FF_FAIL);
        EXPECT_EQ(Module().Call(FF_GET_FILE_PARAMETER_EXTENSION, &request), kNull);
        EXPECT_EQ(Module().Call(FF_GET_ELEMENT_SEPARATOR, &request), FF_FAIL);
        ElementValueRecord element{0, position, 0.5f};
        EXPECT_EQ(Module().Call(FF_SET_PARAMETER_ELEMENT_VALUE, &element, instance_), FF_FAIL);
    }
}

TEST_F(HostileInput, SmallBuffersAreNeverOverrun) {
    // Garbage-filled buffers: nothing may change at or past the size given.
    for (uint32_t code : {FF_GET_PARAM_GROUP, FF_GET_PARAM_DISPLAY_NAME}) {
        for (uint32_t size : {0u, 1u}) {
            char buffer[8];
            std::memset(buffer, 0x5A, sizeof buffer);
            TextRequest request{0, buffer, size};
            const FFResult answer = Module().Call(code, &request, instance_);
            EXPECT_EQ(answer, size == 0 ? FF_FAIL : FF_SUCCESS) << code;
            for (size_t i = size; i < sizeof buffer; ++i) {
                EXPECT_EQ(buffer[i], 0x5A) << "code " << code << " wrote byte " << i;
            }
        }
    }
    // An event query with room for none takes none.
    EventEntry entries[2];
    std::memset(entries, 0x5A, sizeof entries);
    EventQueryRecord query{0, entries};
    EXPECT_EQ(Module().Call(FF_GET_PARAM_EVENTS, &query, instance_), FF_SUCCESS);
    EXPECT_EQ(query.Count, 0u);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(entries)[0], 0x5A);
}

// Reads an RGBA32F target, so that a NaN written by the effect would be seen.
void ExpectFiniteAndOpaque(const std::vector<Pixel>& pixels, const char* what) {
    for (size_t i = 0; i < pixels.size(); ++i) {
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_TRUE(std::isfinite(pixels[i][c])) << what << ": pixel " << i;
            ASSERT_GE(pixels[i][c], 0.0f) << what;
            ASSERT_LE(pixels[i][c], 1.0f) << what;
        }
        ASSERT_EQ(pixels[i][3], 1.0f) << what << ": pixel " << i;
    }
}

TEST_F(HostileInput, NonFiniteParametersStillRenderFiniteOpaquePixels) {
    const std::vector<uint8_t> picture(32 * 32 * 4, 90);
    ffglhost::Texture texture(32, 32, picture.data());
    FloatTarget target(32, 32);
    target.Bind();
    FFGLTextureStruct input = texture.Describe();
    FFGLTextureStruct* inputs[] = {&input};
    ProcessOpenGLStruct frame{1, inputs, target.Framebuffer()};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (uint32_t index = 0; index < 6; ++index) {
        for (float value : {nan, inf, -inf}) {
            SCOPED_TRACE(testing::Message() << "parameter " << index << " = " << value);
            for (uint32_t reset = 0; reset < 6; ++reset) {
                SetParameterStruct record{};
                record.ParameterNumber = reset;
                record.NewParameterValue.FloatValue =
                    reset == index ? value
                                   : L::AsFloat(Module().Call(FF_GET_PARAMETER_DEFAULT, reset));
                ASSERT_EQ(Module().Call(FF_SET_PARAMETER, &record, instance_), FF_SUCCESS);
            }
            ASSERT_EQ(Module().Call(FF_PROCESS_OPENGL, &frame, instance_), FF_SUCCESS);
            ExpectFiniteAndOpaque(target.Read(), "non-finite parameter");
            if (HasFatalFailure()) {
                return;
            }
            // The display text of a non-finite value is still a terminated text.
            const char* display =
                L::AsPointer<const char>(Module().Call(FF_GET_PARAMETER_DISPLAY, index, instance_));
            ASSERT_NE(display, nullptr);
            EXPECT_LE(std::strlen(display), 16u);
        }
    }
}

TEST_F(HostileInput, OddTexturesRender) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const uint32_t biggest = static_cast<uint32_t>(std::min(largest, 4096));
    struct Shape {
        uint32_t imageWidth, imageHeight, textureWidth, textureHeight;
    };
    for (const Shape& shape : {Shape{1, 1, 1, 1}, Shape{64, 64, 16, 16},  // image > texture
                               Shape{biggest, biggest, biggest, biggest}}) {
        SCOPED_TRACE(testing::Message() << shape.imageWidth << "x" << shape.imageHeight << " in "
                                        << shape.textureWidth << "x" << shape.textureHeight);
        const std::vector<uint8_t> picture(size_t{shape.textureWidth} * shape.textureHeight * 4,
                                           200);
        ffglhost::Texture texture(shape.textureWidth, shape.textureHeight, picture.data());
        FFGLTextureStruct input = texture.Describe();
        input.Width = shape.imageWidth;
        input.Height = shape.imageHeight;
        FFGLTextureStruct* inputs[] = {&input};
        FloatTarget target(16, 16);
        target.Bind();
        ProcessOpenGLStruct frame{1, inputs, target.Framebuffer()};
        ASSERT_EQ(Module().Call(FF_PROCESS_OPENGL, &frame, instance_), FF_SUCCESS);
        ExpectFiniteAndOpaque(target.Read(), "odd texture");
    }
}

}  // namespace
