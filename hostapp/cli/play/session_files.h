// What the window writes and reads beside its preset: the preset itself and the
// snapshots of the frame on screen. Each answers the status line for the panel, and
// says failures on standard error as well.
#ifndef FFGLHOST_CLI_PLAY_SESSION_FILES_H
#define FFGLHOST_CLI_PLAY_SESSION_FILES_H

#include <string>

#include "lib/io/image.h"
#include "play_session.h"

// "looks/warm.json" -> "looks/warm-0003.png", the first number not yet taken.
std::string SnapshotPath(const std::string& presetPath);

// Writes `frame` to the next snapshot beside the preset.
std::string WriteSnapshot(const PlaySession& session, const ffglhost::Image& frame);
// Saves the session's values to its preset, or loads them from it (values stay as they
// were when the preset cannot be read).
std::string SavePreset(const PlaySession& session);
std::string LoadPreset(PlaySession& session);

#endif  // FFGLHOST_CLI_PLAY_SESSION_FILES_H
