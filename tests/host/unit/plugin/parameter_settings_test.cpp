// Matching NAME=VALUE settings to the plug-in's parameters.
#include <gtest/gtest.h>

#include "lib/host_error.h"
#include "lib/plugin/parameter_settings.h"

namespace {

using ffglhost::HostError;
using ffglhost::ParameterReport;
using ffglhost::ParseParameterSetting;

std::vector<ParameterReport> Parameters() {
    std::vector<ParameterReport> parameters;
    // Indices are the declared ones, not positions.
    const std::pair<uint32_t, const char*> declared[] = {
        {0, "Flare X"}, {1, "Flare Y"}, {7, "Auto Move"}, {9, "Title"}};
    for (const auto& [index, name] : declared) {
        ParameterReport parameter;
        parameter.index = index;
        parameter.name = name;
        parameter.isText = std::string(name) == "Title";
        parameter.type = parameter.isText ? 100 : 10;
        parameters.push_back(parameter);
    }
    return parameters;
}

std::string ErrorOf(const std::string& assignment) {
    try {
        ParseParameterSetting(assignment, Parameters());
    } catch (const HostError& error) {
        return error.what();
    }
    return "";
}

TEST(FindParameter, IgnoresCaseAndThenSeparators) {
    const auto parameters = Parameters();
    EXPECT_EQ(ffglhost::FindParameter(parameters, "flare x"), 0u);
    EXPECT_EQ(ffglhost::FindParameter(parameters, "FLARE Y"), 1u);
    EXPECT_EQ(ffglhost::FindParameter(parameters, " Auto Move "), 2u);
    EXPECT_EQ(ffglhost::FindParameter(parameters, "auto_move"), 2u);
    EXPECT_EQ(ffglhost::FindParameter(parameters, "automove"), 2u);
    EXPECT_EQ(ffglhost::FindParameter(parameters, "Flare"), std::nullopt);
    EXPECT_EQ(ffglhost::FindParameter(parameters, ""), std::nullopt);
}

TEST(FindParameter, LooseMatchMustBeUnique) {
    auto parameters = Parameters();
    ParameterReport twin;
    twin.index = 20;
    twin.name = "flare-x";
    parameters.push_back(twin);
    EXPECT_EQ(ffglhost::FindParameter(parameters, "FLARE-X"), 4u);  // exact beats loose
    EXPECT_EQ(ffglhost::FindParameter(parameters, "flarex"), std::nullopt);
}

TEST(ParseParameterSetting, TakesTheDeclaredIndexAndTheNumber) {
    const auto setting = ParseParameterSetting("auto move=0.25", Parameters());
    EXPECT_EQ(setting.index, 7u);
    EXPECT_EQ(setting.name, "Auto Move");
    EXPECT_FALSE(setting.isText);
    EXPECT_FLOAT_EQ(setting.value, 0.25f);
    EXPECT_FLOAT_EQ(ParseParameterSetting("Flare X= 1e-1 ", Parameters()).value, 0.1f);
    EXPECT_FLOAT_EQ(ParseParameterSetting("Flare X=-0", Parameters()).value, 0.0f);
    EXPECT_FLOAT_EQ(ParseParameterSetting("Flare X=.5", Parameters()).value, 0.5f);
}

TEST(ParseParameterSetting, TextParametersTakeTheValueAsItIs) {
    const auto setting = ParseParameterSetting("title= Hello = World", Parameters());
    EXPECT_EQ(setting.index, 9u);
    EXPECT_TRUE(setting.isText);
    EXPECT_EQ(setting.text, " Hello = World");
}

TEST(ParseParameterSetting, RejectsWhatIsNotAFiniteNumber) {
    for (const char* value : {"abc", "0.5x", "", " ", "nan", "inf", "1e999", "0,5"}) {
        EXPECT_NE(ErrorOf(std::string("Flare X=") + value).find("needs a number"),
                  std::string::npos)
            << value;
    }
}

TEST(ParseParameterSetting, NamesTheValidParametersWhenTheNameIsUnknown) {
    EXPECT_EQ(ErrorOf("Glow=1"),
              "unknown parameter \"Glow\"; valid names: \"Flare X\", \"Flare Y\", "
              "\"Auto Move\", \"Title\"");
    EXPECT_EQ(ErrorOf("Flare X"), "--set needs NAME=VALUE, got \"Flare X\"");
    try {
        ParseParameterSetting("X=1", {});
        FAIL();
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("the plug-in has no parameters"),
                  std::string::npos);
    }
}

}  // namespace

namespace {

TEST(ParseParameterSetting, RefusesValuesOutsideTheParametersRange) {
    auto parameters = Parameters();
    parameters[1].min = -2.0f;
    parameters[1].max = 3.0f;
    const std::pair<const char*, const char*> cases[] = {
        {"Flare X=1.5", "parameter \"Flare X\" takes values from 0 to 1, got 1.5"},
        {"Flare X=-0.01", "takes values from 0 to 1, got -0.01"},
        {"Flare Y=3.5", "parameter \"Flare Y\" takes values from -2 to 3, got 3.5"},
        {"Flare X=1", ""},
        {"Flare Y=-2", ""},
    };
    for (const auto& [assignment, message] : cases) {
        std::string error;
        try {
            ParseParameterSetting(assignment, parameters);
        } catch (const HostError& caught) {
            error = caught.what();
        }
        if (*message == '\0') {
            EXPECT_EQ(error, "") << assignment;
        } else {
            EXPECT_NE(error.find(message), std::string::npos) << assignment << ": " << error;
        }
    }
}

}  // namespace
