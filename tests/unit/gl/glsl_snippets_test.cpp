#include "gl/glsl_snippets.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(GlslSnippets, TableHoldsTheThreeSnippetsWithTheirLengths) {
    const auto& sources = SnippetSources();
    ASSERT_EQ(sources.size(), 3u);
    const std::pair<SnippetId, size_t> expected[] = {
        {RandomSnippet, 507}, {MapSnippet, 553}, {NoiseSnippet, 1260}};
    for (const auto& [id, length] : expected) {
        const char* text = FindSnippet(id);
        ASSERT_NE(text, nullptr) << "snippet " << id;
        EXPECT_EQ(std::strlen(text), length) << "snippet " << id;
        EXPECT_EQ(text, sources.at(id).c_str()) << "snippet " << id;
    }
}

TEST(GlslSnippets, OtherNumbersAreAbsent) {
    for (int32_t number : {-1, 3, 100, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(FindSnippet(number), nullptr) << "snippet " << number;
    }
}

// Snippets are pasted one after another and in front of a shader body, so each
// must start and end on a line of its own and leave declarations to the shader.
TEST(GlslSnippets, TextsAreSelfDelimitedAndDeclareNoUniformsOrVersion) {
    for (const auto& [id, text] : SnippetSources()) {
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.front(), '\n') << "snippet " << id;
        EXPECT_EQ(text.back(), '\n') << "snippet " << id;
        EXPECT_EQ(text.find("uniform"), std::string::npos) << "snippet " << id;
        EXPECT_EQ(text.find("#version"), std::string::npos) << "snippet " << id;
    }
}
