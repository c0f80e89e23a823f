// A plug-in's parameters and the values they hold: the one place that knows each
// parameter's default, range and kind, checks a value a person gives, maps a video
// tool's slider onto the range and prints a value. Every front end and the worker keep
// their values in it.
#ifndef FFGLHOST_PARAMETER_VALUES_H
#define FFGLHOST_PARAMETER_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugin_report.h"

namespace ffglhost {

// One parameter's value, by the index the plug-in declared: what goes to the worker and
// on to the plug-in.
struct ParameterChange {
    uint32_t index = 0;
    bool isText = false;
    float value = 0.0f;
    std::string text;
};

// Boolean and event parameters: shown as switches, on in the upper half of the range.
bool IsSwitch(const ParameterReport& parameter);

class ParameterValues {
  public:
    ParameterValues() = default;
    // Every parameter at its default.
    explicit ParameterValues(std::vector<ParameterReport> parameters);

    size_t Size() const { return parameters_.size(); }
    const std::vector<ParameterReport>& Parameters() const { return parameters_; }
    const ParameterReport& Parameter(size_t position) const { return parameters_.at(position); }
    // The position of the parameter named `name`: compared without regard to case, and
    // failing that with spaces, '-' and '_' ignored too ("auto_move" finds "Auto Move")
    // when that leaves exactly one candidate.
    std::optional<size_t> Find(const std::string& name) const;
    // The position of the parameter the plug-in declared with `index`.
    std::optional<size_t> PositionOf(uint32_t index) const;

    float Value(size_t position) const { return values_.at(position); }
    const std::string& Text(size_t position) const { return texts_.at(position); }
    ParameterChange Change(size_t position) const;
    // The value as the host writes it: the text, or the shortest decimal that reads back
    // as the same float ("0.9").
    std::string Format(size_t position) const;
    // "from 0 to 1"
    std::string RangeText(size_t position) const;

    // A value a person gave (--set, a preset, OSC): a finite number inside the range is
    // kept as it is; anything else throws HostError with one line that says the range
    // ("\"Size\" takes values from 0 to 1, got 2") and changes nothing. A range the
    // plug-in gives the wrong way round is not enforced.
    void Set(size_t position, double value);
    // Throws HostError for a parameter that takes a number.
    void SetText(size_t position, const std::string& text);
    // "NAME=VALUE" as --set takes it: a text parameter takes VALUE as it is; a number
    // parameter a decimal number inside its range. Throws HostError for a missing '=',
    // an unknown name (the message lists the valid ones), a value that is not a number or
    // one outside the range.
    void Assign(const std::string& assignment);
    // A value from a control that cannot be checked as it is typed (a tool's own settings,
    // a panel): clamped into the range, NaN giving the default. Answers the value kept.
    float Clamp(size_t position, double value);
    // A video tool's 0..1 slider onto the range, clamped into 0..1 first (NaN is 0);
    // switches (boolean and event parameters) turn at one half. Slider() goes back.
    void SetSlider(size_t position, double fraction);
    double Slider(size_t position) const;
    void Reset(size_t position);
    void Reset();

    // A value checked where it was given (a client's request in the worker): taken as it
    // is when it names a parameter of its kind. Answers the parameter's position; none
    // when it names no such parameter.
    std::optional<size_t> Apply(const ParameterChange& change);
    // The values of `other`, position by position, which may describe the plug-in as it
    // was: a parameter of the same kind and range takes the value as it is, a number
    // with another range keeps its place on the slider, and one of another kind (or
    // beyond `other`'s end) keeps its own.
    void TakeFrom(const ParameterValues& other);
    // Whether `other` holds the same value at `position` for the same parameter.
    bool SameAt(size_t position, const ParameterValues& other) const;
    // What must be sent to make `sent` hold these values, in position order.
    std::vector<ParameterChange> ChangesSince(const ParameterValues& sent) const;

  private:
    std::vector<ParameterReport> parameters_;
    std::vector<float> values_;
    std::vector<std::string> texts_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PARAMETER_VALUES_H
