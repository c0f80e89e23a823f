#include "framework/plugin_description.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

uint32_t NoFactory(CFFGLPlugin** instance) {
    *instance = nullptr;
    return FF_FAIL;
}

// Builds a description without letting it replace the module's registered one.
struct ScopedDescription {
    template <typename... Args>
    explicit ScopedDescription(Args... args)
        : previous(PluginDescription::Current()), description(args...) {
        PluginDescription::Register(previous);
    }
    PluginDescription* previous;
    PluginDescription description;
};

std::string Field(const char* field, size_t width) {
    return std::string(field, width);
}

TEST(PluginDescription, ModuleDescriptionIsRegisteredAtLoad) {
    const PluginDescription* description = PluginDescription::Current();
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(static_cast<const void*>(description->GetInfoRecord()),
              static_cast<const void*>(description));
    EXPECT_EQ(reinterpret_cast<const char*>(description->GetExtendedInfoRecord()),
              reinterpret_cast<const char*>(description) + sizeof(PluginInfoStruct));
    EXPECT_EQ(Field(description->GetInfoRecord()->PluginName, 16),
              std::string("Quellix Shine\0\0\0", 16));
    EXPECT_EQ(Field(description->GetInfoRecord()->PluginUniqueID, 4), "QX01");
    EXPECT_EQ(description->GetInitHook(), nullptr);
    EXPECT_EQ(description->GetDeinitHook(), nullptr);
}

TEST(PluginDescription, NameAndIdentifierAreCutToTheirFields) {
    ScopedDescription twenty(NoFactory, "ABCDEFG", "ABCDEFGHIJKLMNOPQRST", 2u, 1u, 1u, 0u, 0u, "d",
                             "a");
    const PluginInfoStruct* info = twenty.description.GetInfoRecord();
    EXPECT_EQ(Field(info->PluginName, 16), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(Field(info->PluginUniqueID, 4), "ABCD");
    EXPECT_EQ(info->PluginType, 0u);  // the byte after the name is not touched

    ScopedDescription sixteen(NoFactory, "AB", "ABCDEFGHIJKLMNOP", 2u, 1u, 1u, 0u, 0u, "d", "a");
    EXPECT_EQ(Field(sixteen.description.GetInfoRecord()->PluginName, 16), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(Field(sixteen.description.GetInfoRecord()->PluginUniqueID, 4),
              std::string("AB\0\0", 4));

    ScopedDescription fifteen(NoFactory, "QX01", "ABCDEFGHIJKLMNO", 2u, 1u, 1u, 0u, 0u, "d", "a");
    EXPECT_EQ(Field(fifteen.description.GetInfoRecord()->PluginName, 16),
              std::string("ABCDEFGHIJKLMNO\0", 16));
}

TEST(PluginDescription, TextsAreCopies) {
    char description[] = "first description";
    char about[] = "first about";
    ScopedDescription scoped(NoFactory, "QX01", "n", 2u, 1u, 3u, 0u, 0u, description, about);
    std::strcpy(description, "changed");
    std::strcpy(about, "changed");
    const PluginExtendedInfoStruct* extended = scoped.description.GetExtendedInfoRecord();
    EXPECT_STREQ(extended->Description, "first description");
    EXPECT_STREQ(extended->About, "first about");
    EXPECT_EQ(extended->PluginMajorVersion, 3u);
}

TEST(PluginDescription, ExtendedDataNeedsBothASizeAndAPointer) {
    const unsigned char block[3] = {1, 2, 3};
    ScopedDescription sizeOnly(NoFactory, "QX01", "n", 2u, 1u, 1u, 0u, 0u, "d", "a", 3u,
                               static_cast<const void*>(nullptr));
    EXPECT_EQ(sizeOnly.description.GetExtendedInfoRecord()->FreeFrameExtendedDataSize, 0u);
    EXPECT_EQ(sizeOnly.description.GetExtendedInfoRecord()->FreeFrameExtendedDataBlock, nullptr);

    ScopedDescription pointerOnly(NoFactory, "QX01", "n", 2u, 1u, 1u, 0u, 0u, "d", "a", 0u,
                                  static_cast<const void*>(block));
    EXPECT_EQ(pointerOnly.description.GetExtendedInfoRecord()->FreeFrameExtendedDataSize, 0u);
    EXPECT_EQ(pointerOnly.description.GetExtendedInfoRecord()->FreeFrameExtendedDataBlock, nullptr);

    ScopedDescription both(NoFactory, "QX01", "n", 2u, 1u, 1u, 0u, 0u, "d", "a", 3u,
                           static_cast<const void*>(block));
    const PluginExtendedInfoStruct* extended = both.description.GetExtendedInfoRecord();
    ASSERT_EQ(extended->FreeFrameExtendedDataSize, 3u);
    EXPECT_NE(extended->FreeFrameExtendedDataBlock, block) << "the block is copied";
    EXPECT_EQ(0, std::memcmp(extended->FreeFrameExtendedDataBlock, block, 3));
}

}  // namespace
