#include "obs/plugin_output.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <obs-module.h>

#include <cstdio>

namespace ffglobs {

namespace {

constexpr int kLogLines = 50;
constexpr int kPollMs = 100;

// A close-on-exec copy at 10 or above, clear of the descriptors the worker is given.
int HighFd(int fd) {
    const int high = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 10) : -1;
    if (fd >= 0) {
        close(fd);
    }
    return high;
}

}  // namespace

PluginOutput::PluginOutput(std::string describe) : describe_(std::move(describe)) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    readFd_ = HighFd(ends[0]);
    writeFd_ = HighFd(ends[1]);
    if (readFd_ < 0 || writeFd_ < 0) {
        close(readFd_);
        close(writeFd_);
        readFd_ = writeFd_ = -1;
        return;
    }
    thread_ = std::thread([this] { Read(); });
}

PluginOutput::~PluginOutput() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    close(readFd_);
    close(writeFd_);
}

void PluginOutput::Read() {
    std::string pending;
    char buffer[4096];
    // Until the filter ends; a worker ending closes only its own copy of the pipe.
    while (!stopping_) {
        pollfd watched{readFd_, POLLIN, 0};
        if (poll(&watched, 1, kPollMs) <= 0) {
            continue;
        }
        const ssize_t count = read(readFd_, buffer, sizeof buffer);
        if (count <= 0) {
            continue;
        }
        pending.append(buffer, static_cast<size_t>(count));
        size_t start = 0;
        for (size_t end = pending.find('\n'); end != std::string::npos;
             end = pending.find('\n', start)) {
            Forward(pending.substr(start, end - start));
            start = end + 1;
        }
        pending.erase(0, start);
    }
    if (!pending.empty()) {
        Forward(pending);
    }
}

void PluginOutput::Forward(const std::string& line) {
    ++lines_;
    if (lines_ <= kLogLines) {
        blog(LOG_INFO, "%s", line.c_str());
        return;
    }
    if (lines_ == kLogLines + 1) {
        blog(LOG_WARNING,
             "[ffgl-obs] %s keeps printing (%d lines so far); its further lines go to OBS's "
             "standard error only",
             describe_.c_str(), kLogLines);
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace ffglobs
