#include "plugin_log.h"

#include "plugin_text.h"

namespace ffglhost {

namespace {

// The plug-in's log function takes no context pointer, so the receiving log is global.
PluginLog* active = nullptr;

// One line per message: trailing line breaks are dropped, inner ones become spaces.
std::string Clean(const char* message) {
    std::string line = ReadBoundedText(message);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return line;
}

}  // namespace

PluginLog::PluginLog(const PluginLibrary& plugin, std::FILE* stream, std::string prefix)
    : plugin_(plugin), stream_(stream), prefix_(std::move(prefix)) {
    active = this;
    plugin_.SetLogCallback(&PluginLog::Receive);
}

PluginLog::~PluginLog() {
    plugin_.SetLogCallback(nullptr);
    active = nullptr;
}

void PluginLog::Receive(const char* message) {
    if (active == nullptr || message == nullptr) {
        return;
    }
    std::string line = Clean(message);
    if (active->holding_) {
        active->held_.push_back(std::move(line));
    } else {
        active->Show(line);
    }
}

void PluginLog::Show(const std::string& line) const {
    if (stream_ != nullptr) {
        std::fprintf(stream_, "%s%s\n", prefix_.c_str(), PrintableText(line).c_str());
        std::fflush(stream_);
    }
}

void PluginLog::Release() {
    holding_ = false;
    for (const std::string& line : TakeHeld()) {
        Show(line);
    }
}

std::vector<std::string> PluginLog::TakeHeld() {
    std::vector<std::string> lines;
    lines.swap(held_);
    return lines;
}

std::string PluginLog::HeldSummary() {
    std::string text;
    for (const std::string& line : TakeHeld()) {
        text += (text.empty() ? "" : "; ") + line;
    }
    return text.empty() ? "" : " (plug-in log: " + text + ")";
}

}  // namespace ffglhost
