#include "preset.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <nlohmann/json.hpp>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kMaxPresetBytes = 1 << 20;
constexpr int kMaxDepth = 16;

// " at line L, column C" of the byte at `offset` (counted from 0).
std::string Where(const std::string& text, size_t offset) {
    size_t line = 1;
    size_t column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        column = text[i] == '\n' ? 1 : column + 1;
        line += text[i] == '\n' ? 1 : 0;
    }
    return " at line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The document, strictly as JSON has it: invalid UTF-8, bad escapes, lone surrogates and
// numbers such as +1, .5 or 01 are refused, naming the line and column.
Json Parse(const std::string& text) {
    const auto shallow = [](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaxDepth) {
            throw HostError("values nested more than " + std::to_string(kMaxDepth) + " deep");
        }
        return true;
    };
    try {
        return Json::parse(text, shallow);
    } catch (const Json::parse_error& error) {
        // nlohmann's own text after its position: "syntax error while parsing ...".
        std::string what = error.what();
        const size_t colon = what.find(": ");
        what = colon != std::string::npos ? what.substr(colon + 2) : what;
        throw HostError(what + Where(text, error.byte > 0 ? error.byte - 1 : 0));
    }
}

std::string FormatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// Whole numbers as integers ("0", not "0.0"), others with the nine digits that read back
// as the same float.
Json Number(float value) {
    if (std::nearbyint(value) == value && std::fabs(value) < 1e9f) {
        return Json(static_cast<int64_t>(value));
    }
    return Json(std::stod(FormatNumber(value)));
}

void SetFromJson(ParameterValues& values, size_t position, const Json& value) {
    const ParameterReport& parameter = values.Parameter(position);
    const std::string quoted = "\"" + parameter.name + "\"";
    if (parameter.isText) {
        if (!value.is_string()) {
            throw HostError(quoted + " takes a text");
        }
        values.SetText(position, value.get<std::string>());
    } else if (value.is_boolean()) {
        values.SetSlider(position, value.get<bool>() ? 1.0 : 0.0);
    } else if (value.is_number()) {
        values.Set(position, value.get<double>());
    } else {
        throw HostError(quoted + " takes a number");
    }
}

void SetFromPreset(const std::string& text, const PluginReport& report, ParameterValues& values) {
    const Json document = Parse(text);
    if (!document.is_object()) {
        throw HostError("not a preset: the file holds no JSON object");
    }
    const auto plugin = document.find("plugin");
    if (plugin == document.end() || !plugin->is_string()) {
        throw HostError("not a preset: no \"plugin\" identifier");
    }
    if (plugin->get<std::string>() != report.id) {
        throw HostError("the preset is for plug-in \"" + plugin->get<std::string>() +
                        "\", not for " + report.name + " (\"" + report.id + "\")");
    }
    const auto found = document.find("values");
    if (found == document.end() || !found->is_object()) {
        throw HostError("not a preset: no \"values\" object");
    }
    for (const auto& [name, value] : found->items()) {
        const std::optional<size_t> position = values.Find(name);
        if (!position) {
            throw HostError("unknown parameter \"" + name + "\"");
        }
        SetFromJson(values, *position, value);
    }
}

}  // namespace

void ReadPreset(const std::string& path, const PluginReport& report, ParameterValues& values) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw HostError("cannot read preset " + path + ": " + std::strerror(errno));
    }
    std::string text(kMaxPresetBytes + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > kMaxPresetBytes) {
        throw HostError("preset " + path + " is larger than 1 MiB");
    }
    try {
        ParameterValues read = values;
        SetFromPreset(text, report, read);
        values = std::move(read);
    } catch (const HostError& error) {
        throw HostError("preset " + path + ": " + error.what());
    }
}

ParameterValues ChooseValues(const PluginReport& report, const std::string& preset,
                             const std::vector<std::string>& assignments) {
    ParameterValues values(report.parameters);
    if (!preset.empty()) {
        ReadPreset(preset, report, values);
    }
    for (const std::string& assignment : assignments) {
        values.Assign(assignment);
    }
    return values;
}

std::string PresetText(const PluginReport& report, const ParameterValues& values) {
    Json preset = {{"plugin", report.id}, {"name", report.name}, {"values", Json::object()}};
    for (size_t i = 0; i < values.Size(); ++i) {
        const ParameterReport& parameter = values.Parameter(i);
        preset["values"][parameter.name] =
            parameter.isText ? Json(values.Text(i)) : Number(values.Value(i));
    }
    return preset.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void WritePreset(const std::string& path, const PluginReport& report,
                 const ParameterValues& values) {
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    const std::string text = PresetText(report, values);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = errno;
    if (file != nullptr && std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        std::remove(temporary.c_str());
        throw HostError("cannot write preset " + path + ": " + std::strerror(error));
    }
}

}  // namespace ffglhost
