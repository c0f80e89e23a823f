// What a filter's plug-in writes (its log lines and its standard output, as the worker
// forwards them) goes into OBS's log, up to a number of lines per filter; then one
// warning says the plug-in keeps printing, and later lines go to OBS's standard error
// only, so that a plug-in printing every frame cannot flood the log.
#ifndef FFGL_OBS_PLUGIN_OUTPUT_H
#define FFGL_OBS_PLUGIN_OUTPUT_H

#include <atomic>
#include <string>
#include <thread>

namespace ffglobs {

class PluginOutput {
  public:
    // `describe` names the plug-in in the warning.
    explicit PluginOutput(std::string describe);
    ~PluginOutput();
    PluginOutput(const PluginOutput&) = delete;
    PluginOutput& operator=(const PluginOutput&) = delete;

    // The descriptor for the worker's standard error; -1 when no pipe could be made (the
    // lines then go to OBS's standard error).
    int WriteFd() const { return writeFd_; }

  private:
    void Read();
    void Forward(const std::string& line);

    std::string describe_;
    int readFd_ = -1;
    int writeFd_ = -1;
    int lines_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace ffglobs

#endif  // FFGL_OBS_PLUGIN_OUTPUT_H
