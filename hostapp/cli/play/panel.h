// The panel at the window's top left: a row for each parameter (the control shows the
// plug-in's own display text), Reset all, the preset's name with Save and Load, and the
// status line. Drawn with Dear ImGui between its NewFrame and Render.
#ifndef FFGLHOST_CLI_PLAY_PANEL_H
#define FFGLHOST_CLI_PLAY_PANEL_H

#include <string>
#include <vector>

#include "play_session.h"

constexpr float kPanelWidth = 400.0f;

enum class PanelAction { kNone, kSave, kLoad };

// Draws the panel over `session`'s values; `changed` is set when a value changed.
PanelAction DrawPanel(PlaySession& session, const std::vector<std::string>& displays,
                      const std::string& status, bool& changed);

#endif  // FFGLHOST_CLI_PLAY_PANEL_H
