// OSC packets as a controller sends them, built with liblo, decoded into checked changes.
#include <gtest/gtest.h>

#include <lo/lo.h>

#include <cstdlib>
#include <functional>

#include "cli/play/osc_control.h"
#include "ffgl/abi.h"

namespace {

using ffglhost::ParameterChange;

// "Flare X" 0..1, "Flare Y" -2..3, "Auto Move" a switch, "Title" a text; declared
// indices 0, 1, 7 and 9.
ffglhost::ParameterValues Values() {
    std::vector<ffglhost::ParameterReport> parameters(4);
    const char* names[] = {"Flare X", "Flare Y", "Auto Move", "Title"};
    const uint32_t indices[] = {0, 1, 7, 9};
    for (size_t i = 0; i < parameters.size(); ++i) {
        parameters[i].index = indices[i];
        parameters[i].name = names[i];
        parameters[i].type = i == 2 ? FF_TYPE_BOOLEAN : i == 3 ? 100 : 10;
        parameters[i].isText = i == 3;
    }
    parameters[1].min = -2;
    parameters[1].max = 3;
    return ffglhost::ParameterValues(parameters);
}

std::vector<ParameterChange> Decode(OscDecoder& decoder, void* data, size_t size) {
    std::vector<ParameterChange> changes = decoder.Decode(data, size);
    std::free(data);
    return changes;
}

std::vector<ParameterChange> DecodeMessage(const char* address,
                                           const std::function<void(lo_message)>& fill) {
    OscDecoder decoder(Values());
    lo_message message = lo_message_new();
    fill(message);
    size_t size = 0;
    void* data = lo_message_serialise(message, address, nullptr, &size);
    lo_message_free(message);
    return Decode(decoder, data, size);
}

// Every kind of value each parameter takes, at both ends of each range, and what is
// refused.
TEST(OscDecoder, TakesEachKindOfValueInsideTheRange) {
    const struct {
        const char* address;
        std::function<void(lo_message)> fill;
        int index;  // -1: ignored
        float value;
        const char* text;
    } cases[] = {
        {"/param/0", [](lo_message m) { lo_message_add_float(m, 0.0f); }, 0, 0.0f, ""},
        {"/param/Flare_X", [](lo_message m) { lo_message_add_float(m, 1.0f); }, 0, 1.0f, ""},
        {"/param/0", [](lo_message m) { lo_message_add_float(m, 1.01f); }, -1, 0, ""},
        {"/param/1", [](lo_message m) { lo_message_add_double(m, -2.0); }, 1, -2.0f, ""},
        {"/param/1", [](lo_message m) { lo_message_add_int32(m, 3); }, 1, 3.0f, ""},
        {"/param/1", [](lo_message m) { lo_message_add_int64(m, -3); }, -1, 0, ""},
        {"/param/flare_y", [](lo_message m) { lo_message_add_int64(m, 2); }, 1, 2.0f, ""},
        {"/param/2", [](lo_message m) { lo_message_add_true(m); }, 7, 1.0f, ""},
        {"/param/Auto_Move", [](lo_message m) { lo_message_add_false(m); }, 7, 0.0f, ""},
        {"/param/0", [](lo_message m) { lo_message_add_true(m); }, -1, 0, ""},
        {"/param/3", [](lo_message m) { lo_message_add_string(m, "hi"); }, 9, 0, "hi"},
        {"/param/3", [](lo_message m) { lo_message_add_float(m, 1.0f); }, -1, 0, ""},
        {"/param/0", [](lo_message m) { lo_message_add_string(m, "1"); }, -1, 0, ""},
        {"/param/0",
         [](lo_message m) {
             lo_message_add_float(m, 0.5f);
             lo_message_add_float(m, 0.5f);
         },
         -1, 0, ""},
        {"/param/4", [](lo_message m) { lo_message_add_float(m, 0.5f); }, -1, 0, ""},
        {"/other", [](lo_message m) { lo_message_add_float(m, 0.5f); }, -1, 0, ""},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const std::vector<ParameterChange> changes = DecodeMessage(c.address, c.fill);
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.index < 0) {
            EXPECT_TRUE(changes.empty()) << c.address;
            EXPECT_NE(said.find(std::string("ffgl-host: OSC ") + c.address + " ignored: "),
                      std::string::npos)
                << said;
            continue;
        }
        ASSERT_EQ(changes.size(), 1u) << c.address << ": " << said;
        EXPECT_EQ(changes[0].index, static_cast<uint32_t>(c.index)) << c.address;
        EXPECT_EQ(changes[0].value, c.value) << c.address;
        EXPECT_EQ(changes[0].text, c.text) << c.address;
        EXPECT_EQ(said, "");
    }
}

// A bundle stamped for later, holding a message and a bundle, is applied now and in its
// order; what is not OSC is ignored with one line.
TEST(OscDecoder, AppliesNestedBundlesAtOnceInTheirOrder) {
    OscDecoder decoder(Values());
    lo_timetag later;
    lo_timetag_now(&later);
    later.sec += 100;
    lo_bundle outer = lo_bundle_new(later);
    lo_bundle inner = lo_bundle_new(LO_TT_IMMEDIATE);
    lo_message first = lo_message_new();
    lo_message second = lo_message_new();
    lo_message_add_float(first, 0.25f);
    lo_message_add_float(second, -1.0f);
    lo_bundle_add_message(outer, "/param/0", first);
    lo_bundle_add_message(inner, "/param/1", second);
    lo_bundle_add_bundle(outer, inner);
    size_t size = 0;
    void* data = lo_bundle_serialise(outer, nullptr, &size);
    const std::vector<ParameterChange> changes = decoder.Decode(data, size);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].value, 0.25f);
    EXPECT_EQ(changes[1].index, 1u);
    EXPECT_EQ(changes[1].value, -1.0f);

    testing::internal::CaptureStderr();
    EXPECT_TRUE(decoder.Decode(data, size - 5).empty());  // cut short
    char junk[] = "not OSC at all";
    EXPECT_TRUE(decoder.Decode(junk, sizeof junk).empty());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("OSC: ignored a datagram that is not an OSC message or bundle"),
              std::string::npos)
        << said;
    std::free(data);
    lo_bundle_free_recursive(outer);
}

}  // namespace
