#include "stdout_lines.h"

#include <fcntl.h>
#include <unistd.h>

#include "lib/io/unique_fd.h"
#include "lib/plugin/plugin_text.h"

namespace ffglhost {

namespace {

void ShowLine(const std::string& prefix, const std::string& line) {
    const std::string out = prefix + PrintableText(line) + "\n";
    (void)!write(2, out.data(), out.size());
}

void Forward(int fd, const std::string& prefix) {
    std::string pending;
    char chunk[4096];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
        pending.append(chunk, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            ShowLine(prefix, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        if (pending.size() > 4096) {  // a line without end: shown in pieces
            ShowLine(prefix, pending);
            pending.clear();
        }
    }
    if (!pending.empty()) {
        ShowLine(prefix, pending);
    }
    close(fd);
}

}  // namespace

StdoutLines::StdoutLines(std::string prefix) {
    std::fflush(stdout);
    int fds[2];
    UniqueFd saved(fcntl(1, F_DUPFD_CLOEXEC, 0));
    if (!saved.Valid() || pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    std::FILE* output = fdopen(saved.Get(), "w");
    if (output == nullptr) {
        return;
    }
    saved.Release();  // the stream owns it
    output_ = output;
    dup2(writeEnd.Get(), 1);  // without close-on-exec: standard output stays a child's
    setvbuf(stdout, nullptr, _IOLBF, 0);
    reader_ = std::thread(Forward, readEnd.Release(), std::move(prefix));
}

StdoutLines::~StdoutLines() {
    if (!reader_.joinable()) {
        return;
    }
    std::fflush(stdout);
    std::fflush(output_);
    // Standard output back to the original: the pipe's last writer closes, the reader
    // sees its end.
    dup2(fileno(output_), 1);
    reader_.join();
    std::fclose(output_);
}

}  // namespace ffglhost
