// Plug-in-wide codes through the loaded module, as a host sees them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "support/loaded_module.h"
#include "support/sha256.h"

namespace {

using L = ffglhost::PluginLibrary;

FFResult Call(uint32_t code, FFMixed input = 0, FFInstanceID instance = nullptr) {
    return Module().Call(code, input, instance);
}
template <typename Record>
FFResult Call(uint32_t code, Record* record, FFInstanceID instance = nullptr) {
    return Module().Call(code, record, instance);
}

const char* kNames[] = {"Flare X", "Flare Y", "Intensity", "Size", "Auto Move", "Strobe"};
const float kDefaults[] = {0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.0f};

TEST(EntryPoint, InformationRecordByteByByte) {
    const auto* info = L::AsPointer<const unsigned char>(Call(FF_GET_INFO));
    ASSERT_NE(info, nullptr);
    const unsigned char expected[32] = {2,   0,   0,   0,   1,   0,   0,   0,   'Q', 'X', '0',
                                        '1', 'Q', 'u', 'e', 'l', 'l', 'i', 'x', ' ', 'S', 'h',
                                        'i', 'n', 'e', 0,   0,   0,   0,   0,   0,   0};
    EXPECT_EQ(0, std::memcmp(info, expected, sizeof expected));
    EXPECT_EQ(Call(FF_GET_INFO), Call(FF_GET_INFO)) << "the record is not copied per request";
}

TEST(EntryPoint, ExtendedInformationRecord) {
    const FFResult result = Call(FF_GET_EXTENDED_INFO);
    const auto* extended = L::AsPointer<const PluginExtendedInfoStruct>(result);
    ASSERT_NE(extended, nullptr);
    uint32_t versions[2];
    std::memcpy(versions, extended, sizeof versions);
    EXPECT_EQ(versions[0], 3u);
    EXPECT_EQ(versions[1], 0u);
    EXPECT_STREQ(extended->Description, "Obnoxious flickering blue lens flares for Vennamar");
    EXPECT_STREQ(extended->About, "Tarnholt");
    EXPECT_EQ(extended->FreeFrameExtendedDataSize, 0u);
    EXPECT_EQ(extended->FreeFrameExtendedDataBlock, nullptr);
    // The extended record sits right after the 32-byte information record.
    EXPECT_EQ(result, Call(FF_GET_INFO) + 32);
}

TEST(EntryPoint, SixParametersThroughEveryDefinitionCode) {
    EXPECT_EQ(Call(FF_GET_NUM_PARAMETERS), 6u);
    for (uint32_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(kNames[i]);
        EXPECT_STREQ(L::AsPointer<const char>(Call(FF_GET_PARAMETER_NAME, i)), kNames[i]);
        EXPECT_EQ(Call(FF_GET_PARAMETER_DEFAULT, i), L::FloatInput(kDefaults[i]));
        EXPECT_EQ(Call(FF_GET_PARAMETER_TYPE, i), FF_TYPE_STANDARD);
        EXPECT_EQ(Call(FF_GET_NUM_PARAMETER_ELEMENTS, i), 1u);
        EXPECT_EQ(Call(FF_GET_PARAMETER_USAGE, i), 0u);
        EXPECT_EQ(Call(FF_GET_PARAM_VISIBILITY, i), 1u);
        EXPECT_EQ(Call(FF_GET_NUM_FILE_PARAMETER_EXTENSIONS, i), 0u);
        EXPECT_EQ(Call(FF_GET_NUM_ELEMENT_SEPARATORS, i), 0u);

        ElementRequest element{i, 0};
        EXPECT_STREQ(L::AsPointer<const char>(Call(FF_GET_PARAMETER_ELEMENT_NAME, &element)), "");
        EXPECT_EQ(Call(FF_GET_PARAMETER_ELEMENT_VALUE, &element), 0u);
        EXPECT_EQ(Call(FF_GET_FILE_PARAMETER_EXTENSION, &element), 0u);
        EXPECT_EQ(Call(FF_GET_ELEMENT_SEPARATOR, &element), FF_FAIL);
        element.ElementNumber = 1;
        EXPECT_EQ(Call(FF_GET_PARAMETER_ELEMENT_NAME, &element), 0u);
        EXPECT_EQ(Call(FF_GET_PARAMETER_ELEMENT_VALUE, &element), FF_FAIL);

        RangeRecord range{i, -5.0f, -5.0f};
        EXPECT_EQ(Call(FF_GET_RANGE, &range), FF_SUCCESS);
        EXPECT_EQ(range.Min, 0.0f);
        EXPECT_EQ(range.Max, 1.0f);
    }
}

TEST(EntryPoint, AbsentParameterIndexHasEachCodesOwnAnswer) {
    for (uint32_t index : {6u, 99u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(Call(FF_GET_PARAMETER_NAME, index), 0u);
        EXPECT_EQ(Call(FF_GET_PARAMETER_DEFAULT, index), FF_FAIL);
        EXPECT_EQ(Call(FF_GET_PARAMETER_TYPE, index), FF_FAIL);
        EXPECT_EQ(Call(FF_GET_NUM_PARAMETER_ELEMENTS, index), FF_FAIL);
        EXPECT_EQ(Call(FF_GET_PARAMETER_USAGE, index), FF_FAIL);
        EXPECT_EQ(Call(FF_GET_PARAM_VISIBILITY, index), FF_FAIL);
        EXPECT_EQ(Call(FF_GET_NUM_FILE_PARAMETER_EXTENSIONS, index), 0u);
        EXPECT_EQ(Call(FF_GET_NUM_ELEMENT_SEPARATORS, index), 0u);
        RangeRecord range{index, -5.0f, -5.0f};
        EXPECT_EQ(Call(FF_GET_RANGE, &range), FF_SUCCESS);
        EXPECT_EQ(range.Min, 0.0f);
        EXPECT_EQ(range.Max, 1.0f);
        char buffer[8] = {};
        TextRequest request{index, buffer, sizeof buffer};
        EXPECT_EQ(Call(FF_GET_PARAM_GROUP, &request), FF_SUCCESS);
        EXPECT_EQ(buffer[0], '\0');
    }
}

TEST(EntryPoint, NumberInputIsReadFromItsLowHalfOnly) {
    const FFMixed parameterTwo = (uint64_t{1} << 32) | 2;
    EXPECT_STREQ(L::AsPointer<const char>(Call(FF_GET_PARAMETER_NAME, parameterTwo)), "Intensity");
    EXPECT_EQ(Call(FF_GET_PARAMETER_DEFAULT, parameterTwo), L::FloatInput(0.9f));
    EXPECT_EQ(Call(FF_GET_PLUGIN_CAPS, (uint64_t{7} << 32) | FF_CAP_MAXIMUM_INPUT_FRAMES), 1u);
}

TEST(EntryPoint, Capabilities) {
    EXPECT_EQ(Call(FF_GET_PLUGIN_CAPS, FF_CAP_SET_TIME), 1u);
    EXPECT_EQ(Call(FF_GET_PLUGIN_CAPS, FF_CAP_MINIMUM_INPUT_FRAMES), 1u);
    EXPECT_EQ(Call(FF_GET_PLUGIN_CAPS, FF_CAP_MAXIMUM_INPUT_FRAMES), 1u);
    EXPECT_EQ(Call(FF_GET_PLUGIN_CAPS, FF_CAP_16), 0u);
    for (uint32_t other : {0u, 1u, 2u, 3u, 4u, 6u, 12u, 17u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Call(FF_GET_PLUGIN_CAPS, other), 0u) << other;
    }
}

TEST(EntryPoint, UnsupportedCodesFailWithTheFullWordClear) {
    std::set<uint32_t> unsupported = {1, 3, 11, 12, 14, 24, 25, 26, 27, 28, 29, 30};
    for (uint32_t code = 52; code < 300; ++code) {
        unsupported.insert(code);
    }
    unsupported.insert(0xFFFFFFFFu);
    int anyInstance = 0;
    for (uint32_t code : unsupported) {
        EXPECT_EQ(Call(code, 0), FF_FAIL) << code;
        EXPECT_EQ(Call(code, 0, &anyInstance), FF_FAIL) << code;  // never dereferenced
    }
}

TEST(EntryPoint, ShortNameIsNullAndInitialiseSucceeds) {
    EXPECT_EQ(Call(FF_GET_PLUGIN_SHORT_NAME), 0u);
    EXPECT_EQ(Call(FF_INITIALISE_V2), FF_SUCCESS);
    EXPECT_EQ(Call(FF_INITIALISE_V2), FF_SUCCESS);
}

TEST(EntryPoint, DeinitialiseThenThePrototypeIsMadeAgain) {
    EXPECT_EQ(Call(FF_DEINITIALISE), FF_SUCCESS);
    EXPECT_EQ(Call(FF_DEINITIALISE), FF_SUCCESS) << "nothing to destroy is not a failure";
    EXPECT_STREQ(L::AsPointer<const char>(Call(FF_GET_PARAMETER_NAME, 0)), "Flare X");
    EXPECT_EQ(Call(FF_GET_NUM_PARAMETERS), 6u);
}

TEST(EntryPoint, TextCodesCopyNothingForEmptyTextsAndRejectUnusableBuffers) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    TextRequest request{0, buffer, 3};
    EXPECT_EQ(Call(FF_GET_PARAM_GROUP, &request), FF_SUCCESS);
    EXPECT_EQ(std::string(buffer, 4), "xxxx") << "an empty group writes no character";
    request.BufferSize = 0;
    EXPECT_EQ(Call(FF_GET_PARAM_GROUP, &request), FF_FAIL);
    EXPECT_EQ(Call(FF_GET_PARAM_GROUP, static_cast<TextRequest*>(nullptr)), FF_FAIL);
    request.BufferSize = 3;
    EXPECT_EQ(Call(FF_GET_PARAM_DISPLAY_NAME, &request), FF_FAIL) << "needs an instance";
}

TEST(EntryPoint, NullRecordsAnswerTheFailureValue) {
    int anyInstance = 0;  // every one of these must fail before touching the instance
    for (uint32_t code : {FF_SET_PARAMETER, FF_RESIZE, FF_SET_PARAMETER_ELEMENT_VALUE,
                          FF_SET_BEATINFO, FF_SET_HOSTINFO, FF_GET_PARAM_EVENTS, FF_PROCESS_OPENGL,
                          FF_SET_TIME, FF_GET_PARAM_DISPLAY_NAME}) {
        EXPECT_EQ(Call(code, 0, &anyInstance), FF_FAIL) << code;
    }
    EXPECT_EQ(Call(FF_GET_PARAMETER_ELEMENT_NAME, 0), 0u);
    EXPECT_EQ(Call(FF_GET_PARAMETER_ELEMENT_VALUE, 0), FF_FAIL);
    EXPECT_EQ(Call(FF_GET_RANGE, 0), FF_FAIL);
    EXPECT_EQ(Call(FF_GET_FILE_PARAMETER_EXTENSION, 0), 0u);
    EXPECT_EQ(Call(FF_GET_ELEMENT_SEPARATOR, 0), FF_FAIL);
    EXPECT_EQ(Call(FF_GET_THUMBNAIL, 0), FF_FAIL);
    EXPECT_EQ(Call(FF_INSTANTIATE_GL, 0), 0x00000000FFFFFFFFu);
}

TEST(EntryPoint, InstanceCodesWithoutAnInstanceFail) {
    for (uint32_t code :
         {FF_GET_PARAMETER_DISPLAY, FF_GET_PARAMETER, FF_GET_INPUT_STATUS, FF_DEINSTANTIATE_GL,
          FF_CONNECT, FF_DISCONNECT, FF_SET_SAMPLERATE, FF_ENABLE_PLUGIN_CAP}) {
        EXPECT_EQ(Call(code, 0), FF_FAIL) << code;
    }
    ElementValueRecord element{2, 0, 0.25f};
    EXPECT_EQ(Call(FF_SET_PARAMETER_ELEMENT_VALUE, &element), FF_FAIL);
    FFGLViewportStruct viewport{0, 0, 64, 64};
    EXPECT_EQ(Call(FF_RESIZE, &viewport), FF_FAIL);
}

TEST(EntryPoint, Thumbnail) {
    ThumbnailRecord sizeOnly{0, 0, nullptr};
    EXPECT_EQ(Call(FF_GET_THUMBNAIL, &sizeOnly), FF_SUCCESS);
    EXPECT_EQ(sizeOnly.Width, 160u);
    EXPECT_EQ(sizeOnly.Height, 120u);

    // One guard byte past the 76,800 the module may write.
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[76801]);
    std::memset(pixels.get(), 0xAB, 76801);
    ThumbnailRecord record{0, 0, pixels.get()};
    EXPECT_EQ(Call(FF_GET_THUMBNAIL, &record), FF_SUCCESS);
    EXPECT_EQ(pixels[76800], 0xAB);
    const unsigned char firstPixel[4] = {0xFF, 0x00, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(pixels.get(), firstPixel, 4));
    EXPECT_EQ(Sha256Hex(pixels.get(), 76800),
              "2b6d174b27546f0bae9310c0bfcedaf06251d6fbebd7e27007af3aaf05372e7c");
}

#ifndef _WIN32
// The Windows build checks its DLL's export and import tables with objdump instead.
TEST(EntryPoint, ExportsExactlyTheTwoEntryPoints) {
    const std::string command = std::string("nm -D --defined-only ") + QUELLIX_MODULE_PATH;
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char address[64], kind[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3) {
            symbols.insert(name);
        }
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(symbols, (std::set<std::string>{"SetLogCallback", "plugMain"}));
}
#endif

}  // namespace
