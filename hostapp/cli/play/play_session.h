// What the window plays: the plug-in's description, the values it holds (the one copy
// that counts, so a restart or a crash loses none), the renderer and OSC.
#ifndef FFGLHOST_CLI_PLAY_PLAY_SESSION_H
#define FFGLHOST_CLI_PLAY_PLAY_SESSION_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "osc_control.h"
#include "render_thread.h"

struct PlaySession {
    ffglhost::PluginReport report;
    ffglhost::ParameterValues values;
    std::string presetPath;  // saved to, loaded from, pictures beside it
    uint32_t width = 0;
    uint32_t height = 0;
    bool paused = false;
    uint64_t quitAfter = 0;
    std::unique_ptr<FrameRenderer> renderer;  // moved onto the render thread
    std::function<std::unique_ptr<ffglhost::FrameSource>()> openInput;
    std::unique_ptr<OscControl> osc;
};

// Runs the window until Esc, a close or `quitAfter` frames; throws HostError when no
// window can be opened. Answers the exit status.
int RunPlayWindow(PlaySession& session);

#endif  // FFGLHOST_CLI_PLAY_PLAY_SESSION_H
