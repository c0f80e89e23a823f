#include "parameter_settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ffgl/abi.h"
#include "lib/host_error.h"
#include "lib/plugin/plugin_text.h"

namespace ffglhost {

namespace {

std::string Lowercase(const std::string& text) {
    std::string result;
    for (char c : text) {
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

std::string Loose(const std::string& text) {
    std::string result;
    for (char c : Lowercase(text)) {
        if (c != ' ' && c != '-' && c != '_') {
            result += c;
        }
    }
    return result;
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    const size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string ValidNames(const std::vector<ParameterReport>& parameters) {
    if (parameters.empty()) {
        return "the plug-in has no parameters";
    }
    std::string names = "valid names: ";
    for (size_t i = 0; i < parameters.size(); ++i) {
        names += (i == 0 ? "\"" : ", \"") + parameters[i].name + "\"";
    }
    return names;
}

// A finite number written in full; nothing else may follow it.
std::optional<float> ParseNumber(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        return std::nullopt;
    }
    const auto single = static_cast<float>(value);
    if (!std::isfinite(single)) {
        return std::nullopt;
    }
    return single;
}

}  // namespace

std::optional<size_t> FindParameter(const std::vector<ParameterReport>& parameters,
                                    const std::string& name) {
    const std::string wanted = Lowercase(Trim(name));
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (Lowercase(parameters[i].name) == wanted) {
            return i;
        }
    }
    const std::string loose = Loose(name);
    std::optional<size_t> found;
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (!loose.empty() && Loose(parameters[i].name) == loose) {
            if (found) {
                return std::nullopt;  // ambiguous
            }
            found = i;
        }
    }
    return found;
}

ParameterSetting ParseParameterSetting(const std::string& assignment,
                                       const std::vector<ParameterReport>& parameters) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        throw HostError("--set needs NAME=VALUE, got \"" + assignment + "\"");
    }
    const std::string name = assignment.substr(0, equals);
    const std::string value = Trim(assignment.substr(equals + 1));
    const std::optional<size_t> position = FindParameter(parameters, name);
    if (!position) {
        throw HostError("unknown parameter \"" + Trim(name) + "\"; " + ValidNames(parameters));
    }
    const ParameterReport& parameter = parameters[*position];
    ParameterSetting setting;
    setting.index = parameter.index;
    setting.name = parameter.name;
    setting.isText = parameter.isText;
    if (parameter.isText) {
        setting.text = assignment.substr(equals + 1);
        return setting;
    }
    const std::optional<float> number = ParseNumber(value);
    if (!number) {
        throw HostError("parameter \"" + parameter.name + "\" needs a number, got \"" + value +
                        "\"");
    }
    try {
        setting.value = CheckValue(parameter, *number);
    } catch (const HostError& error) {
        throw HostError(std::string("parameter ") + error.what());
    }
    return setting;
}

float CheckValue(const ParameterReport& parameter, double value) {
    const auto single = static_cast<float>(value);
    const bool ordered = parameter.min <= parameter.max;
    if (!std::isfinite(single) || (ordered && (single < parameter.min || single > parameter.max))) {
        throw HostError("\"" + parameter.name + "\" takes values from " +
                        FormatFloat(parameter.min) + " to " + FormatFloat(parameter.max) +
                        ", got " + FormatFloat(single));
    }
    return single;
}

}  // namespace ffglhost
