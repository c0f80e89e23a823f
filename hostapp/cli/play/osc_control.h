// OSC control of the parameters over UDP: "/param/<index> f" and "/param/<name> f", the
// name as `info` lists it with spaces as '_'. Messages are decoded with liblo on a
// thread of this class; the window takes the accepted changes each frame. A message for
// an unknown address, of another type or with a value out of range is ignored with one
// line on standard error.
#ifndef FFGLHOST_CLI_PLAY_OSC_CONTROL_H
#define FFGLHOST_CLI_PLAY_OSC_CONTROL_H

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/io/unique_fd.h"

#include "lib/plugin/parameter_settings.h"
#include "lib/plugin/plugin_report.h"

struct OscChange {
    ffglhost::ParameterSetting setting;
    std::chrono::steady_clock::time_point received;
};

class OscControl {
  public:
    // Listens on `port` of `host`'s addresses (every address the name resolves to);
    // empty `host`: the loopback interface only (127.0.0.1 and ::1). Throws HostError.
    OscControl(const std::string& host, int port,
               std::vector<ffglhost::ParameterReport> parameters);
    ~OscControl();
    OscControl(const OscControl&) = delete;
    OscControl& operator=(const OscControl&) = delete;

    // The changes received since the last call, oldest first.
    std::vector<OscChange> Take();
    // "127.0.0.1:9000, [::1]:9000"
    const std::string& Listening() const { return listening_; }

    // The address of each parameter ("/param/Flare_X").
    static std::string NameAddress(const std::string& name);
    // Decodes one datagram (a message or a bundle) into accepted changes; what is
    // ignored is said on standard error. Public for the tests.
    static void Decode(const char* data, size_t size,
                       const std::vector<ffglhost::ParameterReport>& parameters,
                       std::vector<ffglhost::ParameterSetting>& accepted, int depth = 0);

  private:
    void Run();

    std::vector<ffglhost::ParameterReport> parameters_;
    std::vector<ffglhost::UniqueFd> sockets_;
    std::string listening_;
    ffglhost::UniqueFd wakeRead_;
    ffglhost::UniqueFd wakeWrite_;
    std::mutex mutex_;
    std::vector<OscChange> changes_;
    std::thread thread_;
};

#endif  // FFGLHOST_CLI_PLAY_OSC_CONTROL_H
