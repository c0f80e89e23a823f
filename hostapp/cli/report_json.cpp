#include "report_json.h"

#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "lib/plugin/plugin_text.h"

namespace {

using Json = nlohmann::ordered_json;

// The shortest decimal that reads back as the float; JSON has no NaN or infinity, so
// such values are null.
Json Number(float value) {
    return std::isfinite(value) ? Json(std::stod(ffglhost::FormatFloat(value))) : Json();
}

Json Pair(const char* first, uint32_t a, const char* second, uint32_t b) {
    return Json{{first, a}, {second, b}};
}

}  // namespace

void PrintReportJson(std::FILE* out, const PluginSummary& summary) {
    const ffglhost::PluginReport& r = summary.report;
    Json parameters = Json::array();
    for (const ffglhost::ParameterReport& p : r.parameters) {
        parameters.push_back({{"index", p.index},
                              {"name", p.name},
                              {"type", p.type},
                              {"text", p.isText},
                              {"default", p.isText ? Json(p.defaultText) : Number(p.defaultValue)},
                              {"display", summary.hasDisplayTexts ? Json(p.display) : Json()},
                              {"min", Number(p.min)},
                              {"max", Number(p.max)}});
    }
    const Json report = {
        {"file", summary.path},
        {"id", r.id},
        {"name", r.name},
        {"type", r.type},
        {"typeName", ffglhost::PluginTypeName(r.type)},
        {"apiVersion", Pair("major", r.apiMajor, "minor", r.apiMinor)},
        {"version", Pair("major", r.versionMajor, "minor", r.versionMinor)},
        {"description", r.description},
        {"about", r.about},
        {"inputs",
         r.inputsKnown ? Pair("minimum", r.minimumInputs, "maximum", r.maximumInputs) : Json()},
        {"hostTime", r.supportsHostTime},
        {"logCallback", summary.hasLogCallback},
        {"thumbnail", summary.thumbnailWidth != 0
                          ? Pair("width", summary.thumbnailWidth, "height", summary.thumbnailHeight)
                          : Json()},
        {"parameters", parameters},
    };
    // Plug-in texts carry no declared encoding: UTF-8 passes, other bytes are replaced so
    // the output stays valid JSON.
    std::fprintf(out, "%s\n", report.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}
