// Parameter values given on the command line as NAME=VALUE, matched to the plug-in's
// parameters by name.
#ifndef FFGLHOST_PARAMETER_SETTINGS_H
#define FFGLHOST_PARAMETER_SETTINGS_H

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "ffgl/abi.h"
#include "plugin_report.h"

namespace ffglhost {

struct ParameterSetting {
    uint32_t index = 0;
    std::string name;  // as the plug-in spells it
    bool isText = false;
    float value = 0.0f;  // float-valued parameters
    std::string text;    // text-valued parameters
};

// The position in `parameters` of the one named `name`: compared without regard to
// case, and failing that with spaces, '-' and '_' ignored too ("auto_move" finds
// "Auto Move") when that leaves exactly one candidate.
std::optional<size_t> FindParameter(const std::vector<ParameterReport>& parameters,
                                    const std::string& name);

// The one check of a value a person gave (--set, a preset, OSC): a finite number inside
// the parameter's range passes as it is; anything else throws HostError with one line
// that says the range: "\"Size\" takes values from 0 to 1, got 2". A range the plug-in
// gives the wrong way round is not enforced.
float CheckValue(const ParameterReport& parameter, double value);

// A video tool's 0..1 slider onto the parameter's range, clamped into 0..1 first (NaN
// is 0); switches (boolean and event parameters) turn at one half. ToSlider goes back.
// (Inline: the frei0r module uses them without the rest of the host library.)
inline float FromSlider(const ParameterReport& parameter, double fraction) {
    const double clamped = std::isnan(fraction) ? 0.0 : std::min(std::max(fraction, 0.0), 1.0);
    if (parameter.type == FF_TYPE_BOOLEAN || parameter.type == FF_TYPE_EVENT) {
        return clamped >= 0.5 ? parameter.max : parameter.min;
    }
    return static_cast<float>(parameter.min + clamped * (parameter.max - parameter.min));
}
inline double ToSlider(const ParameterReport& parameter, float value) {
    const double span = static_cast<double>(parameter.max) - parameter.min;
    const double mapped = span != 0.0 ? (value - parameter.min) / span : 0.0;
    return std::min(std::max(mapped, 0.0), 1.0);
}

// Parses "NAME=VALUE" into a setting of the named parameter. Float-valued parameters
// take a finite decimal number inside the parameter's range; text-valued ones take VALUE
// as it is. Throws HostError for a missing '=', an unknown name (the message lists the
// valid ones), a value that is not a number or one outside the range.
ParameterSetting ParseParameterSetting(const std::string& assignment,
                                       const std::vector<ParameterReport>& parameters);

}  // namespace ffglhost

#endif  // FFGLHOST_PARAMETER_SETTINGS_H
