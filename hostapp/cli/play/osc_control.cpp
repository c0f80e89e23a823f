#include "osc_control.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <lo/lo.h>

#include "cli/staged_run.h"
#include "lib/host_error.h"

using ffglhost::HostError;
using ffglhost::ParameterReport;
using ffglhost::ParameterSetting;

namespace {

constexpr size_t kMaxDatagram = 65536;
constexpr int kMaxBundleDepth = 8;

uint32_t BigEndian32(const char* bytes) {
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return ntohl(value);
}

// The parameter a "/param/..." address names, or null.
const ParameterReport* Addressed(const std::string& address,
                                 const std::vector<ParameterReport>& parameters) {
    const std::string prefix = "/param/";
    if (address.compare(0, prefix.size(), prefix) != 0 || address.size() == prefix.size()) {
        return nullptr;
    }
    const std::string key = address.substr(prefix.size());
    if (key.find_first_not_of("0123456789") == std::string::npos) {
        if (key.size() > 5) {
            return nullptr;
        }
        const unsigned long index = std::stoul(key);
        return index < parameters.size() ? &parameters[index] : nullptr;
    }
    std::string name = key;
    for (char& c : name) {
        c = c == '_' ? ' ' : c;
    }
    const std::optional<size_t> found = ffglhost::FindParameter(parameters, name);
    return found ? &parameters[*found] : nullptr;
}

void Ignore(const std::string& address, const std::string& why) {
    PrintError("OSC " + address + " ignored: " + why);
}

void DecodeMessage(char* data, size_t size, const std::vector<ParameterReport>& parameters,
                   std::vector<ParameterSetting>& accepted) {
    int result = 0;
    lo_message message = lo_message_deserialise(data, size, &result);
    const char* path = message != nullptr ? lo_get_path(data, static_cast<ssize_t>(size)) : nullptr;
    if (message == nullptr || path == nullptr) {
        if (message != nullptr) {
            lo_message_free(message);
        }
        PrintError("OSC: ignored a datagram that is not an OSC message");
        return;
    }
    const std::string address = path;
    const std::string types = lo_message_get_types(message);
    lo_arg** arguments = lo_message_get_argv(message);
    const ParameterReport* parameter = Addressed(address, parameters);
    ParameterSetting setting;
    if (parameter == nullptr) {
        Ignore(address, "unknown address (the addresses are /param/<index> and /param/<name>)");
    } else if (parameter->isText && types == "s") {
        setting.text = &arguments[0]->s;
        setting.isText = true;
    } else if (parameter->isText || (types != "f" && types != "d" && types != "i")) {
        Ignore(address, "\"" + parameter->name + "\" takes one " +
                            (parameter->isText ? "string (s)" : "float (f)") + ", got \"" + types +
                            "\"");
        parameter = nullptr;
    } else {
        const double value = types == "f"   ? arguments[0]->f
                             : types == "d" ? arguments[0]->d
                                            : arguments[0]->i;
        try {
            setting.value = ffglhost::CheckValue(*parameter, value);
        } catch (const HostError& error) {
            Ignore(address, error.what());
            parameter = nullptr;
        }
    }
    if (parameter != nullptr) {
        setting.index = parameter->index;
        setting.name = parameter->name;
        accepted.push_back(setting);
    }
    lo_message_free(message);
}

}  // namespace

std::string OscControl::NameAddress(const std::string& name) {
    std::string address = "/param/" + name;
    for (char& c : address) {
        c = c == ' ' ? '_' : c;
    }
    return address;
}

void OscControl::Decode(const char* data, size_t size,
                        const std::vector<ParameterReport>& parameters,
                        std::vector<ParameterSetting>& accepted, int depth) {
    static const char kBundle[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
    if (size < 16 || std::memcmp(data, kBundle, 8) != 0) {
        std::vector<char> copy(data, data + size);  // liblo wants a writable buffer
        DecodeMessage(copy.data(), copy.size(), parameters, accepted);
        return;
    }
    if (depth >= kMaxBundleDepth) {
        PrintError("OSC: ignored bundles nested too deeply");
        return;
    }
    // "#bundle", a time tag (taken as "now"), then elements of a size and its bytes.
    size_t offset = 16;
    while (offset + 4 <= size) {
        const uint32_t length = BigEndian32(data + offset);
        offset += 4;
        if (length > size - offset) {
            PrintError("OSC: ignored the rest of a truncated bundle");
            return;
        }
        Decode(data + offset, length, parameters, accepted, depth + 1);
        offset += length;
    }
}

OscControl::OscControl(const std::string& host, int port, std::vector<ParameterReport> parameters)
    : parameters_(std::move(parameters)) {
    if (port < 1 || port > 65535) {
        throw HostError("--osc-port needs a UDP port from 1 to 65535");
    }
    const std::vector<std::string> hosts =
        host.empty() ? std::vector<std::string>{"127.0.0.1", "::1"} : std::vector{host};
    std::string lastError;
    for (const std::string& name : hosts) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const int status = getaddrinfo(name.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (status != 0) {
            lastError = name + ": " + gai_strerror(status);
            continue;
        }
        for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
            ffglhost::UniqueFd fd(
                socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
            const int one = 1;
            if (fd.Valid() && a->ai_family == AF_INET6) {
                setsockopt(fd.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
            }
            if (!fd.Valid() || bind(fd.Get(), a->ai_addr, a->ai_addrlen) != 0) {
                lastError = name + ": " + std::strerror(errno);
                continue;
            }
            char text[INET6_ADDRSTRLEN] = {};
            const void* raw = a->ai_family == AF_INET6
                                  ? static_cast<const void*>(
                                        &reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr)
                                  : static_cast<const void*>(
                                        &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
            inet_ntop(a->ai_family, raw, text, sizeof text);
            const std::string shown =
                a->ai_family == AF_INET6 ? "[" + std::string(text) + "]" : text;
            listening_ += (listening_.empty() ? "" : ", ") + shown + ":" + std::to_string(port);
            sockets_.push_back(std::move(fd));
        }
        freeaddrinfo(found);
    }
    // The loopback needs only one of its two addresses (a system without IPv6).
    if (sockets_.empty()) {
        throw HostError("cannot listen for OSC on UDP port " + std::to_string(port) + " (" +
                        lastError + ")");
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw HostError(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    wakeRead_.Reset(ends[0]);
    wakeWrite_.Reset(ends[1]);
    thread_ = std::thread([this] { Run(); });
}

OscControl::~OscControl() {
    if (thread_.joinable()) {
        const char byte = 0;
        (void)!write(wakeWrite_.Get(), &byte, 1);
        thread_.join();
    }
}

std::vector<OscChange> OscControl::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<OscChange> taken;
    taken.swap(changes_);
    return taken;
}

void OscControl::Run() {
    std::vector<pollfd> polled;
    for (const ffglhost::UniqueFd& fd : sockets_) {
        polled.push_back({fd.Get(), POLLIN, 0});
    }
    polled.push_back({wakeRead_.Get(), POLLIN, 0});
    std::vector<char> buffer(kMaxDatagram);
    while (true) {
        if (poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (polled.back().revents != 0) {
            return;
        }
        for (size_t i = 0; i + 1 < polled.size(); ++i) {
            if ((polled[i].revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t size = recv(polled[i].fd, buffer.data(), buffer.size(), 0);
            if (size <= 0) {
                continue;
            }
            const auto received = std::chrono::steady_clock::now();
            std::vector<ParameterSetting> accepted;
            Decode(buffer.data(), static_cast<size_t>(size), parameters_, accepted);
            std::lock_guard<std::mutex> lock(mutex_);
            for (ParameterSetting& setting : accepted) {
                changes_.push_back({std::move(setting), received});
            }
        }
    }
}
