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
#include <filesystem>
#include <optional>

#include "cli/staged_run.h"
#include "lib/host_error.h"

using ffglhost::HostError;
using ffglhost::ParameterValues;

namespace {

constexpr size_t kMaxDatagram = 65536;

// The position a "/param/..." address names, or none.
std::optional<size_t> Addressed(const std::string& address, const ParameterValues& values) {
    const std::string prefix = "/param/";
    if (address.compare(0, prefix.size(), prefix) != 0 || address.size() == prefix.size()) {
        return std::nullopt;
    }
    const std::string key = address.substr(prefix.size());
    if (key.find_first_not_of("0123456789") == std::string::npos) {
        if (key.size() > 5) {
            return std::nullopt;
        }
        const size_t position = std::stoul(key);
        return position < values.Size() ? std::optional<size_t>(position) : std::nullopt;
    }
    std::string name = key;
    for (char& c : name) {
        c = c == '_' ? ' ' : c;
    }
    return values.Find(name);
}

void Ignore(const std::string& address, const std::string& why) {
    PrintError("OSC " + address + " ignored: " + why);
}

// liblo says what it could not read through the dispatch's answer; nothing is printed.
void Quiet(int, const char*, const char*) {}

}  // namespace

std::string OscControl::NameAddress(const std::string& name) {
    std::string address = "/param/" + name;
    for (char& c : address) {
        c = c == ' ' ? '_' : c;
    }
    return address;
}

OscDecoder::OscDecoder(ParameterValues values) : values_(std::move(values)) {
    // liblo dispatches only through a server, and every server has a socket: this one's
    // is a Unix socket whose path is removed at once, so nothing can reach it.
    std::string directory = (std::filesystem::temp_directory_path() / "ffgl-osc-XXXXXX").string();
    if (mkdtemp(&directory[0]) == nullptr) {
        throw HostError("cannot make a folder for OSC decoding: " +
                        std::string(std::strerror(errno)));
    }
    const std::string path = directory + "/decoder";
    server_ = lo_server_new_with_proto(path.c_str(), LO_UNIX, Quiet);
    unlink(path.c_str());
    rmdir(directory.c_str());
    if (server_ == nullptr) {
        throw HostError("liblo cannot make an OSC decoder");
    }
    // Bundles are applied when they come, whatever their time tag says.
    lo_server_enable_queue(server_, 0, 1);
    lo_server_add_method(
        server_, nullptr, nullptr,
        [](const char* path, const char* types, lo_arg** arguments, int, lo_message,
           void* decoder) {
            static_cast<OscDecoder*>(decoder)->Take(path, types, arguments);
            return 0;
        },
        this);
}

OscDecoder::~OscDecoder() {
    lo_server_free(server_);
}

std::vector<ffglhost::ParameterChange> OscDecoder::Decode(void* data, size_t size) {
    accepted_.clear();
    if (lo_server_dispatch_data(server_, data, size) < 0) {
        PrintError("OSC: ignored a datagram that is not an OSC message or bundle" +
                   std::string(accepted_.empty() ? "" : " (after its first changes)"));
    }
    return std::move(accepted_);
}

void OscDecoder::Take(const std::string& address, const std::string& types, lo_arg** arguments) {
    const std::optional<size_t> position = Addressed(address, values_);
    if (!position) {
        Ignore(address, "unknown address (the addresses are /param/<index> and /param/<name>)");
        return;
    }
    const ffglhost::ParameterReport& parameter = values_.Parameter(*position);
    const bool isSwitch = ffglhost::IsSwitch(parameter);
    try {
        if (parameter.isText && types == "s") {
            values_.SetText(*position, &arguments[0]->s);
        } else if (!parameter.isText &&
                   (types == "f" || types == "d" || types == "i" || types == "h")) {
            values_.Set(*position, types == "f"   ? arguments[0]->f
                                   : types == "d" ? arguments[0]->d
                                   : types == "i" ? arguments[0]->i
                                                  : static_cast<double>(arguments[0]->h));
        } else if (isSwitch && (types == "T" || types == "F")) {
            values_.SetSlider(*position, types == "T" ? 1.0 : 0.0);
        } else {
            Ignore(address, "\"" + parameter.name + "\" takes one " +
                                (parameter.isText ? std::string("string (s)")
                                 : isSwitch       ? "number (f, d, i, h) or T/F"
                                                  : "number (f, d, i, h)") +
                                ", got \"" + types + "\"");
            return;
        }
    } catch (const HostError& error) {
        Ignore(address, error.what());
        return;
    }
    accepted_.push_back(values_.Change(*position));
}

OscControl::OscControl(const std::string& host, int port, const ParameterValues& values)
    : decoder_(values) {
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
            std::vector<ffglhost::ParameterChange> accepted =
                decoder_.Decode(buffer.data(), static_cast<size_t>(size));
            std::lock_guard<std::mutex> lock(mutex_);
            for (ffglhost::ParameterChange& change : accepted) {
                changes_.push_back({std::move(change), received});
            }
        }
    }
}
