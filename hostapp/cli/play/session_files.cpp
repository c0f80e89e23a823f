#include "session_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "cli/staged_run.h"
#include "lib/host_error.h"
#include "lib/io/png_file.h"
#include "lib/plugin/preset.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Said on standard output, for scripts, and answered for the panel.
std::string Done(const std::string& what) {
    std::printf("%s\n", what.c_str());
    std::fflush(stdout);
    return what;
}

std::string Failed(const ffglhost::HostError& error) {
    PrintError(error.what());
    return error.what();
}

}  // namespace

std::string SnapshotPath(const std::string& presetPath) {
    std::string stem = presetPath;
    const size_t slash = stem.find_last_of('/');
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) {
        stem.resize(dot);
    }
    for (int number = 1;; ++number) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%04d.png", number);
        if (!Exists(stem + suffix)) {
            return stem + suffix;
        }
    }
}

std::string WriteSnapshot(const PlaySession& session, const ffglhost::Image& frame) {
    const std::string path = SnapshotPath(session.presetPath);
    try {
        ffglhost::WritePng(path, frame);
        return Done("wrote " + path);
    } catch (const ffglhost::HostError& error) {
        return Failed(error);
    }
}

std::string SavePreset(const PlaySession& session) {
    try {
        ffglhost::WritePreset(session.presetPath, session.report, session.values);
        return Done("saved " + session.presetPath);
    } catch (const ffglhost::HostError& error) {
        return Failed(error);
    }
}

std::string LoadPreset(PlaySession& session) {
    try {
        ffglhost::ReadPreset(session.presetPath, session.report, session.values);
        return Done("loaded " + session.presetPath);
    } catch (const ffglhost::HostError& error) {
        return Failed(error);
    }
}
