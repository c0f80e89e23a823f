// The OBS module's plug-in catalog: which files become filters, the lines about the rest,
// and the cache that spares OBS's start from running plug-ins it knows.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "obs/plugin_catalog.h"

namespace {

using ffglobs::PluginFolder;
using ffglobs::ScanPlugins;
using ffglobs::ScanResult;

struct Catalog : ::testing::Test {
    std::string dir;
    int described = 0;

    void SetUp() override {
        char pattern[] = "/tmp/ffgl-obs-catalog-XXXXXX";
        dir = mkdtemp(pattern);
        for (const char* file :
             {"a/quellix.so", "a/source.so", "a/broken.so", "a/notes.txt", "b/same_name.so"}) {
            mkdir((dir + "/" + std::string(file, 1)).c_str(), 0755);
            std::fclose(std::fopen((dir + "/" + file).c_str(), "w"));
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    ScanResult Scan() {
        const std::vector<PluginFolder> folders = {{dir + "/a", true},
                                                   {dir + "/listed_missing", true},
                                                   {dir + "/b", false},
                                                   {dir + "/default_missing", false}};
        return ScanPlugins(folders, dir + "/cache/plugins.json", [this](const std::string& path) {
            ++described;
            if (path.find("broken") != std::string::npos) {
                throw std::runtime_error("no plugMain");
            }
            ffglhost::PluginReport report;
            report.name = "Quellix Shine";
            report.type = path.find("source") != std::string::npos ? 1 : 0;
            return report;
        });
    }
};

bool Says(const ScanResult& result, const std::string& text) {
    for (const std::string& line : result.lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST_F(Catalog, OffersEffectsOnceSaysWhyNotAndDescribesOnlyWhatChanged) {
    ScanResult first = Scan();
    ASSERT_EQ(first.filters.size(), 1u);
    EXPECT_EQ(first.filters[0].path, dir + "/a/quellix.so");
    EXPECT_EQ(first.filters[0].kindId, "ffgl_quellix_shine");
    EXPECT_EQ(first.described, 4);
    for (const std::string& text : std::vector<std::string>{
             "cannot read the plug-in folder " + dir + "/listed_missing",
             "broken.so is not offered as a filter: it cannot be used: no plugMain",
             "source.so is not offered as a filter: it is a source",
             "same_name.so is not offered as a filter: its id ffgl_quellix_shine is taken by"}) {
        EXPECT_TRUE(Says(first, text)) << text;
    }
    EXPECT_EQ(first.lines.size(), 4u);  // nothing about a default folder that is absent

    EXPECT_EQ(Scan().described, 0);  // all known, failures too
    ASSERT_EQ(truncate((dir + "/a/quellix.so").c_str(), 10), 0);
    ScanResult changed = Scan();
    EXPECT_EQ(changed.described, 1);
    EXPECT_EQ(changed.filters.size(), 1u);
}

}  // namespace
