// The parameter values every front end keeps: finding a parameter, the one check, the
// slider mapping, printing, and carrying values over to the plug-in as it is now.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ffgl/abi.h"
#include "lib/host_error.h"
#include "lib/plugin/parameter_values.h"

namespace {

using ffglhost::HostError;
using ffglhost::ParameterReport;
using ffglhost::ParameterValues;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Indices are the declared ones, not positions: "Flare X" 0..1 (default 0.5), "Flare Y"
// -2..3 (default 1), "Auto Move" a switch from 0 to 1, "Title" a text.
std::vector<ParameterReport> Parameters() {
    std::vector<ParameterReport> parameters;
    const struct {
        uint32_t index;
        const char* name;
        uint32_t type;
        float min, max, defaultValue;
    } declared[] = {{0, "Flare X", 10, 0, 1, 0.5f},
                    {1, "Flare Y", 10, -2, 3, 1},
                    {7, "Auto Move", FF_TYPE_BOOLEAN, 0, 1, 0},
                    {9, "Title", 100, 0, 1, 0}};
    for (const auto& d : declared) {
        ParameterReport parameter;
        parameter.index = d.index;
        parameter.name = d.name;
        parameter.type = d.type;
        parameter.isText = d.type == 100;
        parameter.min = d.min;
        parameter.max = d.max;
        parameter.defaultValue = d.defaultValue;
        parameter.defaultText = parameter.isText ? "hello" : "";
        parameters.push_back(parameter);
    }
    return parameters;
}

template <class Action>
std::string ErrorOf(Action action) {
    try {
        action();
    } catch (const HostError& error) {
        return error.what();
    }
    return "";
}

std::string AssignError(const std::string& assignment) {
    ParameterValues values(Parameters());
    return ErrorOf([&] { values.Assign(assignment); });
}

TEST(ParameterValues, FindIgnoresCaseAndThenSeparatorsWhenThatLeavesOne) {
    ParameterValues values(Parameters());
    EXPECT_EQ(values.Find("flare x"), 0u);
    EXPECT_EQ(values.Find(" Auto Move "), 2u);
    EXPECT_EQ(values.Find("auto_move"), 2u);
    EXPECT_EQ(values.Find("automove"), 2u);
    EXPECT_EQ(values.Find("Flare"), std::nullopt);
    EXPECT_EQ(values.Find(""), std::nullopt);
    EXPECT_EQ(values.PositionOf(7), 2u);
    EXPECT_EQ(values.PositionOf(2), std::nullopt);
    auto parameters = Parameters();
    parameters.push_back(parameters[0]);
    parameters.back().name = "flare-x";
    const ParameterValues twins(parameters);
    EXPECT_EQ(twins.Find("FLARE-X"), 4u);  // exact beats loose
    EXPECT_EQ(twins.Find("flarex"), std::nullopt);
}

// A value a person gives: kept at both ends of the range, refused just past them and
// when it is not a finite number, saying the range; nothing changes on a refusal.
TEST(ParameterValues, SetKeepsEveryValueInsideTheRangeAndRefusesTheRest) {
    const struct {
        size_t position;
        double value;
        const char* error;  // empty: kept
    } cases[] = {
        {0, 0.0, ""},
        {0, 1.0, ""},
        {0, 1.5, "\"Flare X\" takes values from 0 to 1, got 1.5"},
        {0, -0.01, "\"Flare X\" takes values from 0 to 1, got -0.01"},
        {1, -2.0, ""},
        {1, 3.0, ""},
        {1, 3.5, "\"Flare Y\" takes values from -2 to 3, got 3.5"},
        {1, -2.5, "\"Flare Y\" takes values from -2 to 3, got -2.5"},
        {1, kNaN, "\"Flare Y\" takes values from -2 to 3, got nan"},
        {1, 1e39, "\"Flare Y\" takes values from -2 to 3, got inf"},
        {2, 1.0, ""},
        {3, 0.5, "\"Title\" takes a text"},
    };
    for (const auto& c : cases) {
        ParameterValues values(Parameters());
        const ParameterValues before = values;
        EXPECT_EQ(ErrorOf([&] { values.Set(c.position, c.value); }), c.error) << c.value;
        if (*c.error == '\0') {
            EXPECT_EQ(values.Value(c.position), static_cast<float>(c.value));
        } else {
            EXPECT_TRUE(values.ChangesSince(before).empty()) << c.value;
        }
    }
    ParameterValues values(Parameters());
    EXPECT_EQ(ErrorOf([&] { values.SetText(0, "x"); }), "\"Flare X\" takes a number");
    values.SetText(3, "");
    EXPECT_EQ(values.Text(3), "");
}

TEST(ParameterValues, AReversedRangeIsNotEnforced) {
    auto parameters = Parameters();
    std::swap(parameters[1].min, parameters[1].max);
    ParameterValues values(parameters);
    values.Set(1, 10.0);
    EXPECT_EQ(values.Value(1), 10.0f);
    EXPECT_EQ(values.Clamp(1, 10.0), 3.0f);
}

TEST(ParameterValues, AssignTakesNameEqualsValue) {
    ParameterValues values(Parameters());
    values.Assign("auto move=1");
    values.Assign("Flare X= 1e-1 ");
    values.Assign("flare y=-2");
    values.Assign("title= Hello = World");
    EXPECT_EQ(values.Value(2), 1.0f);
    EXPECT_EQ(values.Value(0), 0.1f);
    EXPECT_EQ(values.Value(1), -2.0f);
    EXPECT_EQ(values.Text(3), " Hello = World");
    values.Assign("Flare X=.5");
    EXPECT_EQ(values.Value(0), 0.5f);
    for (const char* value : {"abc", "0.5x", "", " ", "nan", "inf", "1e999", "0,5"}) {
        EXPECT_NE(AssignError(std::string("Flare X=") + value).find("needs a number"),
                  std::string::npos)
            << value;
    }
    EXPECT_EQ(AssignError("Flare X=1.5"),
              "parameter \"Flare X\" takes values from 0 to 1, got 1.5");
    EXPECT_EQ(AssignError("Glow=1"),
              "unknown parameter \"Glow\"; valid names: \"Flare X\", \"Flare Y\", "
              "\"Auto Move\", \"Title\"");
    EXPECT_EQ(AssignError("Flare X"), "--set needs NAME=VALUE, got \"Flare X\"");
    ParameterValues none{std::vector<ParameterReport>()};
    EXPECT_NE(ErrorOf([&] { none.Assign("X=1"); }).find("the plug-in has no parameters"),
              std::string::npos);
}

// A video tool's 0..1 onto each kind of range, and back; a switch turns at one half.
TEST(ParameterValues, SlidersMapOntoTheRangeAndBack) {
    const struct {
        size_t position;
        double fraction;
        float value;
        double back;
    } cases[] = {
        {1, 0.0, -2.0f, 0.0},  {1, 1.0, 3.0f, 1.0}, {1, 0.5, 0.5f, 0.5},
        {1, -1.0, -2.0f, 0.0}, {1, 7.0, 3.0f, 1.0}, {1, kNaN, -2.0f, 0.0},
        {2, 0.49, 0.0f, 0.0},  {2, 0.5, 1.0f, 1.0}, {0, 0.25, 0.25f, 0.25},
    };
    for (const auto& c : cases) {
        ParameterValues values(Parameters());
        values.SetSlider(c.position, c.fraction);
        EXPECT_EQ(values.Value(c.position), c.value) << c.position << " " << c.fraction;
        EXPECT_DOUBLE_EQ(values.Slider(c.position), c.back) << c.position << " " << c.fraction;
    }
}

TEST(ParameterValues, ClampPrintAndReset) {
    ParameterValues values(Parameters());
    EXPECT_EQ(values.Clamp(1, 9.0), 3.0f);
    EXPECT_EQ(values.Clamp(1, -9.0), -2.0f);
    EXPECT_EQ(values.Clamp(1, kNaN), 1.0f);  // the default
    EXPECT_EQ(values.Clamp(0, 0.9), 0.9f);
    EXPECT_EQ(values.Format(0), "0.9");
    EXPECT_EQ(values.Format(3), "hello");
    EXPECT_EQ(values.RangeText(1), "from -2 to 3");
    values.Reset();
    EXPECT_EQ(values.Value(0), 0.5f);
}

// Values go by position onto the plug-in as it is now: the same range keeps the value,
// another range the slider's place, another kind its own default; only what differs
// from what was sent goes again.
TEST(ParameterValues, TakeFromAndChangesSince) {
    ParameterValues before(Parameters());
    before.Set(0, 0.2);
    before.Set(1, 3.0);
    before.SetText(3, "bye");
    auto now = Parameters();
    now[1].min = 0;
    now[1].max = 10;
    now[3].isText = false;
    now[3].type = 10;
    ParameterValues values(now);
    const ParameterValues sent = values;
    values.TakeFrom(before);
    EXPECT_EQ(values.Value(0), 0.2f);
    EXPECT_EQ(values.Value(1), 10.0f);
    EXPECT_EQ(values.Value(3), 0.0f);
    const std::vector<ffglhost::ParameterChange> changes = values.ChangesSince(sent);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].index, 0u);
    EXPECT_EQ(changes[1].index, 1u);
    EXPECT_EQ(changes[1].value, 10.0f);
    // A change from the other side is taken only by a parameter of its kind.
    EXPECT_TRUE(before.Apply(changes[1]));
    EXPECT_EQ(before.Value(1), 10.0f);
    EXPECT_FALSE(before.Apply(ffglhost::ParameterChange{9, false, 1.0f, ""}));
    EXPECT_FALSE(before.Apply(ffglhost::ParameterChange{5, false, 1.0f, ""}));
}

}  // namespace
