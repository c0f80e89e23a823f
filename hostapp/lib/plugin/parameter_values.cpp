#include "parameter_values.h"

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

bool IsSwitch(const ParameterReport& parameter) {
    return !parameter.isText &&
           (parameter.type == FF_TYPE_BOOLEAN || parameter.type == FF_TYPE_EVENT);
}

ParameterValues::ParameterValues(std::vector<ParameterReport> parameters)
    : parameters_(std::move(parameters)) {
    values_.resize(parameters_.size());
    texts_.resize(parameters_.size());
    Reset();
}

std::optional<size_t> ParameterValues::Find(const std::string& name) const {
    const std::string wanted = Lowercase(Trim(name));
    for (size_t i = 0; i < parameters_.size(); ++i) {
        if (Lowercase(parameters_[i].name) == wanted) {
            return i;
        }
    }
    const std::string loose = Loose(name);
    std::optional<size_t> found;
    for (size_t i = 0; i < parameters_.size(); ++i) {
        if (!loose.empty() && Loose(parameters_[i].name) == loose) {
            if (found) {
                return std::nullopt;  // ambiguous
            }
            found = i;
        }
    }
    return found;
}

std::optional<size_t> ParameterValues::PositionOf(uint32_t index) const {
    for (size_t i = 0; i < parameters_.size(); ++i) {
        if (parameters_[i].index == index) {
            return i;
        }
    }
    return std::nullopt;
}

ParameterChange ParameterValues::Change(size_t position) const {
    const ParameterReport& parameter = parameters_.at(position);
    ParameterChange change;
    change.index = parameter.index;
    change.isText = parameter.isText;
    change.value = values_[position];
    change.text = texts_[position];
    return change;
}

std::string ParameterValues::Format(size_t position) const {
    return parameters_.at(position).isText ? texts_[position] : FormatFloat(values_[position]);
}

std::string ParameterValues::RangeText(size_t position) const {
    const ParameterReport& parameter = parameters_.at(position);
    return "from " + FormatFloat(parameter.min) + " to " + FormatFloat(parameter.max);
}

void ParameterValues::Set(size_t position, double value) {
    const ParameterReport& parameter = parameters_.at(position);
    if (parameter.isText) {
        throw HostError("\"" + parameter.name + "\" takes a text");
    }
    const auto single = static_cast<float>(value);
    const bool ordered = parameter.min <= parameter.max;
    if (!std::isfinite(single) || (ordered && (single < parameter.min || single > parameter.max))) {
        throw HostError("\"" + parameter.name + "\" takes values " + RangeText(position) +
                        ", got " + FormatFloat(single));
    }
    values_[position] = single;
}

void ParameterValues::SetText(size_t position, const std::string& text) {
    const ParameterReport& parameter = parameters_.at(position);
    if (!parameter.isText) {
        throw HostError("\"" + parameter.name + "\" takes a number");
    }
    texts_[position] = text;
}

void ParameterValues::Assign(const std::string& assignment) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        throw HostError("--set needs NAME=VALUE, got \"" + assignment + "\"");
    }
    const std::string name = assignment.substr(0, equals);
    const std::optional<size_t> position = Find(name);
    if (!position) {
        throw HostError("unknown parameter \"" + Trim(name) + "\"; " + ValidNames(parameters_));
    }
    const ParameterReport& parameter = parameters_[*position];
    if (parameter.isText) {
        texts_[*position] = assignment.substr(equals + 1);
        return;
    }
    const std::string value = Trim(assignment.substr(equals + 1));
    const std::optional<float> number = ParseNumber(value);
    if (!number) {
        throw HostError("parameter \"" + parameter.name + "\" needs a number, got \"" + value +
                        "\"");
    }
    try {
        Set(*position, *number);
    } catch (const HostError& error) {
        throw HostError(std::string("parameter ") + error.what());
    }
}

float ParameterValues::Clamp(size_t position, double value) {
    const ParameterReport& parameter = parameters_.at(position);
    const double low = std::min(parameter.min, parameter.max);
    const double high = std::max(parameter.min, parameter.max);
    values_[position] = std::isnan(value)
                            ? parameter.defaultValue
                            : static_cast<float>(std::min(std::max(value, low), high));
    return values_[position];
}

void ParameterValues::SetSlider(size_t position, double fraction) {
    const ParameterReport& parameter = parameters_.at(position);
    const double clamped = std::isnan(fraction) ? 0.0 : std::min(std::max(fraction, 0.0), 1.0);
    if (IsSwitch(parameter)) {
        values_[position] = clamped >= 0.5 ? parameter.max : parameter.min;
    } else {
        values_[position] =
            static_cast<float>(parameter.min + clamped * (parameter.max - parameter.min));
    }
}

double ParameterValues::Slider(size_t position) const {
    const ParameterReport& parameter = parameters_.at(position);
    const double span = static_cast<double>(parameter.max) - parameter.min;
    const double mapped = span != 0.0 ? (values_[position] - parameter.min) / span : 0.0;
    return std::min(std::max(mapped, 0.0), 1.0);
}

void ParameterValues::Reset(size_t position) {
    values_.at(position) = parameters_[position].defaultValue;
    texts_[position] = parameters_[position].defaultText;
}

void ParameterValues::Reset() {
    for (size_t i = 0; i < parameters_.size(); ++i) {
        Reset(i);
    }
}

std::optional<size_t> ParameterValues::Apply(const ParameterChange& change) {
    const std::optional<size_t> position = PositionOf(change.index);
    if (!position || parameters_[*position].isText != change.isText) {
        return std::nullopt;
    }
    values_[*position] = change.value;
    texts_[*position] = change.text;
    return position;
}

void ParameterValues::TakeFrom(const ParameterValues& other) {
    for (size_t i = 0; i < parameters_.size() && i < other.parameters_.size(); ++i) {
        const ParameterReport& mine = parameters_[i];
        const ParameterReport& theirs = other.parameters_[i];
        if (mine.isText != theirs.isText) {
            continue;
        }
        if (mine.isText || (mine.min == theirs.min && mine.max == theirs.max)) {
            values_[i] = other.values_[i];
            texts_[i] = other.texts_[i];
        } else {
            SetSlider(i, other.Slider(i));
        }
    }
}

bool ParameterValues::SameAt(size_t position, const ParameterValues& other) const {
    return position < other.parameters_.size() &&
           other.parameters_[position].index == parameters_.at(position).index &&
           (parameters_[position].isText ? other.texts_[position] == texts_[position]
                                         : other.values_[position] == values_[position]);
}

std::vector<ParameterChange> ParameterValues::ChangesSince(const ParameterValues& sent) const {
    std::vector<ParameterChange> changes;
    for (size_t i = 0; i < parameters_.size(); ++i) {
        if (!SameAt(i, sent)) {
            changes.push_back(Change(i));
        }
    }
    return changes;
}

}  // namespace ffglhost
