#include "report_json.h"

#include <cmath>

#include "lib/plugin/plugin_text.h"

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            // Plug-in texts carry no declared encoding: UTF-8 passes, other bytes are
            // replaced so the output stays valid JSON.
            const size_t length = ffglhost::Utf8SequenceLength(text, i);
            if (length == 0) {
                json += "\\ufffd";
            } else {
                json.append(text, i, length);
                i += length - 1;
            }
            continue;
        }
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\t':
                json += "\\t";
                break;
            case '\r':
                json += "\\r";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    json += escaped;
                } else {
                    json += c;
                }
        }
    }
    return json + "\"";
}

namespace {

// JSON has no NaN or infinity; such values are written as null.
std::string JsonNumber(float value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    return ffglhost::FormatFloat(value);
}

}  // namespace

void PrintReportJson(std::FILE* out, const PluginSummary& summary) {
    const ffglhost::PluginReport& r = summary.report;
    std::fprintf(out, "{\n");
    std::fprintf(out, "  \"file\": %s,\n", JsonString(summary.path).c_str());
    std::fprintf(out, "  \"id\": %s,\n", JsonString(r.id).c_str());
    std::fprintf(out, "  \"name\": %s,\n", JsonString(r.name).c_str());
    std::fprintf(out, "  \"type\": %u,\n", r.type);
    std::fprintf(out, "  \"typeName\": %s,\n",
                 JsonString(ffglhost::PluginTypeName(r.type)).c_str());
    std::fprintf(out, "  \"apiVersion\": {\"major\": %u, \"minor\": %u},\n", r.apiMajor,
                 r.apiMinor);
    std::fprintf(out, "  \"version\": {\"major\": %u, \"minor\": %u},\n", r.versionMajor,
                 r.versionMinor);
    std::fprintf(out, "  \"description\": %s,\n", JsonString(r.description).c_str());
    std::fprintf(out, "  \"about\": %s,\n", JsonString(r.about).c_str());
    if (r.inputsKnown) {
        std::fprintf(out, "  \"inputs\": {\"minimum\": %u, \"maximum\": %u},\n", r.minimumInputs,
                     r.maximumInputs);
    } else {
        std::fprintf(out, "  \"inputs\": null,\n");
    }
    std::fprintf(out, "  \"hostTime\": %s,\n", r.supportsHostTime ? "true" : "false");
    std::fprintf(out, "  \"logCallback\": %s,\n", summary.hasLogCallback ? "true" : "false");
    if (summary.thumbnailWidth != 0) {
        std::fprintf(out, "  \"thumbnail\": {\"width\": %u, \"height\": %u},\n",
                     summary.thumbnailWidth, summary.thumbnailHeight);
    } else {
        std::fprintf(out, "  \"thumbnail\": null,\n");
    }
    std::fprintf(out, "  \"parameters\": [");
    for (size_t i = 0; i < r.parameters.size(); ++i) {
        const ffglhost::ParameterReport& p = r.parameters[i];
        const std::string defaultValue =
            p.isText ? JsonString(p.defaultText) : JsonNumber(p.defaultValue);
        const std::string display = summary.hasDisplayTexts ? JsonString(p.display) : "null";
        std::fprintf(out,
                     "%s\n    {\"index\": %u, \"name\": %s, \"type\": %u, \"text\": %s, "
                     "\"default\": %s, \"display\": %s, \"min\": %s, \"max\": %s}",
                     i == 0 ? "" : ",", p.index, JsonString(p.name).c_str(), p.type,
                     p.isText ? "true" : "false", defaultValue.c_str(), display.c_str(),
                     JsonNumber(p.min).c_str(), JsonNumber(p.max).c_str());
    }
    std::fprintf(out, "%s]\n}\n", r.parameters.empty() ? "" : "\n  ");
}
