#include "panel.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>

#include "ffgl/abi.h"
#include "lib/plugin/plugin_text.h"

namespace {

// '%' doubled, so a display text can be an ImGui format.
std::string AsFormat(const std::string& text) {
    std::string format;
    for (char c : ffglhost::PrintableText(text, 64)) {
        format += c;
        if (c == '%') {
            format += '%';
        }
    }
    return format;
}

// One row: the control showing the plug-in's display text, the name, a reset. Answers
// whether the value changed.
bool ParameterRow(PlaySession& session, size_t i, const std::string& display) {
    ffglhost::ParameterValues& values = session.values;
    const ffglhost::ParameterReport& parameter = values.Parameter(i);
    const std::string id = "##p" + std::to_string(i);
    ImGui::PushItemWidth(200.0f);
    bool changed = false;
    if (parameter.isText) {
        std::string text = values.Text(i);
        if ((changed = ImGui::InputText(id.c_str(), &text))) {
            values.SetText(i, text);
        }
    } else if (ffglhost::IsSwitch(parameter)) {
        // A checkbox, or a button that is on while it is held.
        bool on = values.Slider(i) >= 0.5;
        const bool was = on;
        if (parameter.type == FF_TYPE_BOOLEAN) {
            ImGui::Checkbox(id.c_str(), &on);
        } else {
            ImGui::Button(("fire" + id).c_str());
            on = ImGui::IsItemActive();
        }
        if ((changed = on != was)) {
            values.SetSlider(i, on ? 1.0 : 0.0);
        }
    } else {
        const float low = std::min(parameter.min, parameter.max);
        const float high = std::max(parameter.min, parameter.max);
        const std::string format = display.empty() ? "%.3f" : AsFormat(display);
        float value = values.Value(i);
        if ((changed = ImGui::SliderFloat(id.c_str(), &value, low, high, format.c_str(),
                                          ImGuiSliderFlags_AlwaysClamp))) {
            values.Clamp(i, value);
        }
    }
    ImGui::PopItemWidth();
    ImGui::SameLine();
    ImGui::TextUnformatted(ffglhost::PrintableText(parameter.name, 40).c_str());
    ImGui::SameLine(kPanelWidth - 60.0f);
    if (ImGui::SmallButton(("reset" + id).c_str())) {
        values.Reset(i);
        changed = true;
    }
    return changed;
}

}  // namespace

PanelAction DrawPanel(PlaySession& session, const std::vector<std::string>& displays,
                      const std::string& status, bool& changed) {
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(kPanelWidth, 0));
    ImGui::Begin("##panel", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings);
    ImGui::TextUnformatted(ffglhost::PrintableText(session.report.name, 60).c_str());
    ImGui::Separator();
    for (size_t i = 0; i < session.values.Size(); ++i) {
        changed |= ParameterRow(session, i, i < displays.size() ? displays[i] : "");
    }
    ImGui::Separator();
    if (ImGui::Button("Reset all")) {
        session.values.Reset();
        changed = true;
    }
    ImGui::PushItemWidth(230.0f);
    ImGui::InputText("##preset", &session.presetPath);
    ImGui::PopItemWidth();
    PanelAction action = PanelAction::kNone;
    ImGui::SameLine();
    if (ImGui::Button("Save")) {
        action = PanelAction::kSave;
    }
    ImGui::SameLine();
    if (ImGui::Button("Load")) {
        action = PanelAction::kLoad;
    }
    ImGui::TextUnformatted(status.empty() ? " " : status.c_str());
    ImGui::End();
    return action;
}
