#include "loaded_module.h"

namespace {

std::vector<std::string>& CapturedLines() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureLine(const char* message) {
    CapturedLines().emplace_back(message);
}

}  // namespace

const ffglhost::PluginLibrary& Module() {
    static const ffglhost::PluginLibrary module(QUELLIX_MODULE_PATH);
    return module;
}

void HostLog::Install() {
    Module().SetLogCallback(CaptureLine);
}
void HostLog::Clear() {
    CapturedLines().clear();
}
const std::vector<std::string>& HostLog::Lines() {
    return CapturedLines();
}
