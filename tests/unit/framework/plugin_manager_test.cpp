#include "framework/plugin_manager.h"

#include <gtest/gtest.h>

#include <cstring>

#include "effect/quellix.h"

namespace {

uint32_t Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A registry whose stored definitions a test can reach, to give them events.
class Registry : public CFFGLPluginManager {
  public:
    Registry() : CFFGLPluginManager(false) {}
    void SetEvents(uint32_t index, uint64_t events) {
        FindParameter(index)->pendingEvents = events;
    }
    ParameterDefinition& At(size_t position) { return Parameters()[position]; }
};

TEST(ParameterRegistry, EffectDeclaresSixParametersAndOneInput) {
    Quellix effect;
    EXPECT_EQ(effect.GetParameterCount(), 6u);
    EXPECT_STREQ(effect.GetParameterName(0), "Flare X");
    EXPECT_STREQ(effect.GetParameterName(4), "Auto Move");
    EXPECT_EQ(effect.GetParameterType(3), FF_TYPE_STANDARD);
    EXPECT_EQ(effect.GetParameterType(6), FF_FAIL);
    EXPECT_EQ(effect.GetParameterDefault(2), Bits(0.9f));
    EXPECT_EQ(effect.GetMinimumInputs(), 1);
    EXPECT_EQ(effect.GetMaximumInputs(), 1);
    EXPECT_TRUE(effect.IsTimeSupported());
    EXPECT_FALSE(effect.GetCapability16Switch());
}

TEST(ParameterRegistry, TypeTenDefaultsAreClampedOthersAreNot) {
    Registry registry;
    registry.DeclareParameter(0, "high", FF_TYPE_STANDARD, 1.5f);
    registry.DeclareParameter(1, "low", FF_TYPE_STANDARD, -0.2f);
    registry.DeclareParameter(2, "free", 11, 1.5f);
    EXPECT_EQ(registry.GetParameterDefault(0), Bits(1.0f));
    EXPECT_EQ(registry.GetParameterDefault(1), Bits(0.0f));
    EXPECT_EQ(registry.GetParameterDefault(2), Bits(1.5f));
}

TEST(ParameterRegistry, ElementsOfADeclaredParameter) {
    Registry registry;
    registry.DeclareParameter(2, "p", FF_TYPE_STANDARD, 0.5f);
    EXPECT_EQ(registry.GetElementCount(2), 1u);
    EXPECT_STREQ(registry.GetElementName(2, 0), "");
    EXPECT_EQ(registry.GetElementName(2, 1), nullptr);
    EXPECT_EQ(registry.GetElementValue(2, 0), 0u);
    EXPECT_EQ(registry.SetElementValue(2, 0, 0.25f), FF_SUCCESS);
    EXPECT_EQ(registry.GetElementValue(2, 0), Bits(0.25f));
    EXPECT_EQ(registry.SetElementValue(2, 1, 0.25f), FF_FAIL);
    EXPECT_EQ(registry.SetElementValue(3, 0, 0.25f), FF_FAIL);
    EXPECT_EQ(registry.GetSeparator(2, 0), FF_FAIL);
    EXPECT_EQ(registry.GetFileExtension(2, 0), nullptr);
}

TEST(ParameterRegistry, RepeatedIndexAnswersTheFirstDeclaration) {
    Registry registry;
    registry.DeclareParameter(7, "first", FF_TYPE_STANDARD, 0.1f);
    registry.DeclareParameter(7, "second", FF_TYPE_TEXT, 0.2f);
    EXPECT_EQ(registry.GetParameterCount(), 2u);
    EXPECT_STREQ(registry.GetParameterName(7), "first");
    EXPECT_EQ(registry.GetParameterType(7), FF_TYPE_STANDARD);
}

TEST(ParameterRegistry, TextParametersAnswerTheirDefaultTextPointer) {
    Registry registry;
    registry.DeclareParameter(0, "path", FF_TYPE_FILE, 0.5f);
    registry.DeclareParameter(1, "text", FF_TYPE_TEXT, 0.5f);
    for (uint32_t index : {0u, 1u}) {
        const auto* text = reinterpret_cast<const char*>(
            static_cast<uintptr_t>(registry.GetParameterDefault(index)));
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "");
    }
}

TEST(ParameterRegistry, EventsAreTakenUpToTheCapacityAndClearedOnlyWhenReported) {
    Registry registry;
    registry.DeclareParameter(4, "a", FF_TYPE_STANDARD, 0.0f);
    registry.DeclareParameter(9, "b", FF_TYPE_STANDARD, 0.0f);
    registry.DeclareParameter(5, "c", FF_TYPE_STANDARD, 0.0f);
    EXPECT_EQ(registry.GetPendingEventCount(), 0u);
    registry.SetEvents(4, 0x3);
    registry.SetEvents(5, uint64_t{1} << 40);

    EventEntry entries[2] = {{99, 99}, {99, 99}};
    EXPECT_EQ(registry.GetPendingEventCount(), 2u);
    EXPECT_EQ(registry.TakePendingEvents(entries, 1), 1u);
    EXPECT_EQ(entries[0].ParameterNumber, 4u);
    EXPECT_EQ(entries[0].EventFlags, 0x3u);
    EXPECT_EQ(entries[1].ParameterNumber, 99u) << "nothing written past the capacity";
    EXPECT_EQ(registry.GetPendingEventCount(), 1u);

    EXPECT_EQ(registry.TakePendingEvents(entries, 0), 0u);
    EXPECT_EQ(registry.TakePendingEvents(entries, 2), 1u);
    EXPECT_EQ(entries[0].ParameterNumber, 5u);
    EXPECT_EQ(entries[0].EventFlags, uint64_t{1} << 40);
    EXPECT_EQ(registry.GetPendingEventCount(), 0u);
}

}  // namespace
