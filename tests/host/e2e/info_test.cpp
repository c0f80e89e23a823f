// `ffgl-host info` on the built module: the report, its JSON form and the thumbnail.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/support/host_run.h"
#include "lib/io/png_file.h"
#include "lib/plugin/plugin_library.h"

namespace {

const char* const kParameterNames[] = {"Flare X", "Flare Y",   "Intensity",
                                       "Size",    "Auto Move", "Strobe"};

TEST(InfoCommand, ReportsTheModuleAndWritesItsThumbnail) {
    TempDir dir;
    const HostRun run = RunHost(dir.Path(), {"info", kModulePath, "--thumbnail", "thumb.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("QX01  Quellix Shine"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("FFGL API:     2.1"), std::string::npos);
    EXPECT_NE(run.out.find("version:      3.0"), std::string::npos);
    EXPECT_NE(run.out.find("inputs:       1 to 1"), std::string::npos);
    // Each parameter's row: index, name, type 10, its display text and the range.
    EXPECT_NE(run.out.find("2     Intensity        10    0.9        0.900000         0..1"),
              std::string::npos)
        << run.out;
    for (const char* name : kParameterNames) {
        EXPECT_NE(run.out.find(name), std::string::npos) << name;
    }
    // The plug-in's own log lines are marked and kept off standard output.
    EXPECT_NE(run.err.find("[plugin] Quellix v3.0: InitGL SUCCESS"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("[plugin]"), std::string::npos);

    // The PNG holds the words of code 42, whose bytes in memory are B, G, R, A.
    const ffglhost::Image png = ffglhost::ReadPng(dir / "thumb.png");
    ASSERT_EQ(png.width, 160u);
    ASSERT_EQ(png.height, 120u);
    ffglhost::PluginLibrary module(kModulePath);
    std::vector<uint8_t> bytes(160 * 120 * 4);
    ThumbnailRecord record{0, 0, bytes.data()};
    ASSERT_EQ(ffglhost::PluginLibrary::Low(module.Call(FF_GET_THUMBNAIL, &record)), FF_SUCCESS);
    size_t mismatches = 0;
    for (size_t i = 0; i < 160 * 120; ++i) {
        const uint8_t* bgra = &bytes[i * 4];
        const uint8_t* rgba = &png.rgba[i * 4];
        if (rgba[0] != bgra[2] || rgba[1] != bgra[1] || rgba[2] != bgra[0] || rgba[3] != bgra[3]) {
            ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(dir.Files(), std::vector<std::string>{"thumb.png"});
}

TEST(InfoCommand, JsonReportCarriesTheSameFactsAndNothingElseOnStandardOutput) {
    TempDir dir;
    const HostRun run = RunHost(dir.Path(), {"info", kModulePath, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
    EXPECT_NE(run.out.find("\"id\": \"QX01\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"name\": \"Quellix Shine\""), std::string::npos);
    const nlohmann::json report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["version"], nlohmann::json::parse(R"({"major": 3, "minor": 0})"));
    EXPECT_EQ(report["thumbnail"], nlohmann::json::parse(R"({"width": 160, "height": 120})"));
    EXPECT_EQ(report["parameters"][2],
              nlohmann::json::parse(R"({"index": 2, "name": "Intensity", "type": 10,
                  "text": false, "default": 0.9, "display": "0.900000", "min": 0, "max": 1})"));
    for (const char* name : kParameterNames) {
        EXPECT_NE(run.out.find("\"name\": \"" + std::string(name) + "\""), std::string::npos)
            << name;
    }
    EXPECT_EQ(run.out.find("[plugin]"), std::string::npos);
}

}  // namespace
