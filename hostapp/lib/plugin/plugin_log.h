// The log function the host installs into a plug-in through SetLogCallback. Lines are
// shown on standard error as "[plugin] ...", or held back (while instantiating, so that
// a refusal can be reported in one line together with what the plug-in said).
#ifndef FFGLHOST_PLUGIN_LOG_H
#define FFGLHOST_PLUGIN_LOG_H

#include <cstdio>
#include <string>
#include <vector>

#include "plugin_library.h"

namespace ffglhost {

class PluginLog {
  public:
    // Installs the log function into `plugin`; lines go to `stream` (null drops them),
    // each after `prefix`. One PluginLog at a time.
    PluginLog(const PluginLibrary& plugin, std::FILE* stream, std::string prefix = "[plugin] ");
    // Removes the log function from the plug-in.
    ~PluginLog();
    PluginLog(const PluginLog&) = delete;
    PluginLog& operator=(const PluginLog&) = delete;

    // Keeps lines back instead of showing them.
    void Hold() { holding_ = true; }
    // Shows the lines held back and stops holding.
    void Release();
    // Forgets the lines held back and answers them.
    std::vector<std::string> TakeHeld();
    // The held lines joined into one text ("" when none): " (plug-in log: a; b)".
    std::string HeldSummary();

  private:
    static void Receive(const char* message);
    void Show(const std::string& line) const;

    const PluginLibrary& plugin_;
    std::FILE* stream_;
    std::string prefix_;
    bool holding_ = false;
    std::vector<std::string> held_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PLUGIN_LOG_H
