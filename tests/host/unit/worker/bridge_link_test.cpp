// The link block a frei0r module carries, and the module names made from plug-in names.
#include <gtest/gtest.h>

#include "lib/host_error.h"
#include "lib/worker/bridge_link.h"

namespace {

TEST(BridgeLink, RoundTripsFillsTheBlockAndRefusesWhatCannotBeStored) {
    const std::string block = ffglhost::FormatBridgeLink({"/a b/P.so", "../w/ffgl-worker"});
    ASSERT_EQ(block.size(), ffglhost::kBridgeLinkBytes);
    const ffglhost::BridgeLink link = ffglhost::ParseBridgeLink(block.data());
    EXPECT_EQ(link.plugin, "/a b/P.so");
    EXPECT_EQ(link.worker, "../w/ffgl-worker");
    EXPECT_THROW(ffglhost::FormatBridgeLink({"/a\nworker=/evil", "w"}), ffglhost::HostError);
    EXPECT_THROW(ffglhost::FormatBridgeLink({std::string(70000, 'p'), "w"}), ffglhost::HostError);
}

TEST(BridgeLink, CarriesTheDescriptionAndNamesWhatChanged) {
    ffglhost::BridgeLink link("/p.so", "/w");
    link.pluginBytes = 123;
    link.pluginNanoseconds = 456;
    link.described = true;
    link.report.name = "Odd\tname\\ with\nbreaks";
    link.report.about = "Someone";
    link.report.inputsKnown = true;
    link.report.minimumInputs = link.report.maximumInputs = 1;
    ffglhost::ParameterReport size;
    size.index = 7;
    size.type = 10;
    size.name = "Size";
    size.min = -2.5f;
    size.max = 0.1f;
    size.defaultValue = 0.3f;
    ffglhost::ParameterReport text = size;
    text.isText = true;
    text.type = 100;
    text.defaultText = "a\tb";
    link.report.parameters = {size, text};
    const ffglhost::BridgeLink read =
        ffglhost::ParseBridgeLink(ffglhost::FormatBridgeLink(link).data());
    ASSERT_TRUE(read.described);
    EXPECT_EQ(read.pluginBytes, 123u);
    EXPECT_EQ(read.pluginNanoseconds, 456);
    EXPECT_EQ(ffglhost::DescribeChanges(link.report, read.report), "");
    EXPECT_EQ(read.report.name, link.report.name);
    EXPECT_EQ(read.report.parameters[1].defaultText, "a\tb");
    EXPECT_FALSE(ffglhost::ParseBridgeLink("FFGL-FREI0R-LINK v2\nplugin=/p\ntype=0\n").described);

    ffglhost::PluginReport now = link.report;
    now.parameters[0].name = "Scale";
    now.parameters[0].max = 1.0f;
    now.parameters.pop_back();
    EXPECT_EQ(ffglhost::DescribeChanges(link.report, now),
              "parameter 1 is \"Scale\" (was \"Size\"), parameter 1 ranges -2.5 to 1 (was -2.5 "
              "to 0.100000001), 1 parameter (was 2)");
}

TEST(BridgeLink, NamesModulesLowercaseWithUnderscores) {
    const std::pair<const char*, const char*> cases[] = {
        {"Quellix Shine", "quellix_shine"},
        {"My.FX-2", "my_fx_2"},
        {"\xc3\xa9t\xc3\xa9", "__t__"},
        {"...", "ffgl_plugin"},
        {"", "ffgl_plugin"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(ffglhost::Frei0rModuleName(name), expected) << name;
    }
}

}  // namespace
