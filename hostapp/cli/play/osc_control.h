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

#include <lo/lo.h>

#include "lib/io/unique_fd.h"
#include "lib/plugin/parameter_values.h"

struct OscChange {
    ffglhost::ParameterChange change;
    std::chrono::steady_clock::time_point received;
};

// Decodes OSC packets, a message or a bundle of them (nested or not, its time tag taken
// as "now"), with liblo into changes checked against a copy of the values: a number
// (f, d, i, h) for a number parameter, T or F for a switch, a string (s) for a text one.
// What is ignored is said on standard error.
class OscDecoder {
  public:
    // Throws HostError when liblo cannot make its dispatcher.
    explicit OscDecoder(ffglhost::ParameterValues values);
    ~OscDecoder();
    OscDecoder(const OscDecoder&) = delete;
    OscDecoder& operator=(const OscDecoder&) = delete;

    // The changes one packet brings, in its order.
    std::vector<ffglhost::ParameterChange> Decode(void* data, size_t size);

  private:
    // Called by liblo for each message of the packet.
    void Take(const std::string& address, const std::string& types, lo_arg** arguments);

    ffglhost::ParameterValues values_;
    lo_server server_ = nullptr;  // listens nowhere: only dispatches
    std::vector<ffglhost::ParameterChange> accepted_;
};

class OscControl {
  public:
    // Listens on `port` of `host`'s addresses (every address the name resolves to);
    // empty `host`: the loopback interface only (127.0.0.1 and ::1). Throws HostError.
    OscControl(const std::string& host, int port, const ffglhost::ParameterValues& values);
    ~OscControl();
    OscControl(const OscControl&) = delete;
    OscControl& operator=(const OscControl&) = delete;

    // The changes received since the last call, oldest first.
    std::vector<OscChange> Take();
    // "127.0.0.1:9000, [::1]:9000"
    const std::string& Listening() const { return listening_; }

    // The address of each parameter ("/param/Flare_X").
    static std::string NameAddress(const std::string& name);

  private:
    void Run();

    OscDecoder decoder_;
    std::vector<ffglhost::UniqueFd> sockets_;
    std::string listening_;
    ffglhost::UniqueFd wakeRead_;
    ffglhost::UniqueFd wakeWrite_;
    std::mutex mutex_;
    std::vector<OscChange> changes_;
    std::thread thread_;
};

#endif  // FFGLHOST_CLI_PLAY_OSC_CONTROL_H
