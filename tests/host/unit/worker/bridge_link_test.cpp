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
