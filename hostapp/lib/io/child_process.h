// A helper program (ffmpeg, ffprobe) run with one pipe to it or from it, started without
// a shell so file names need no quoting. Its standard error is kept for error messages.
#ifndef FFGLHOST_CHILD_PROCESS_H
#define FFGLHOST_CHILD_PROCESS_H

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace ffglhost {

// The full path of `program` found through PATH, or empty when it is not there.
std::string FindOnPath(const std::string& program);

class ChildProcess {
  public:
    enum class Pipe { kToChild, kFromChild };

    // Starts argv[0] (a path, or a name looked up in PATH) with its standard input
    // (kToChild) or standard output (kFromChild) connected to this process; the other
    // one is /dev/null. Throws HostError when it cannot be started.
    ChildProcess(const std::vector<std::string>& argv, Pipe pipe);
    // Closes the pipe; a child that has not been waited for is terminated and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all of `data`; false when the child no longer reads (it has exited). Needs
    // SIGPIPE ignored, which the host program does at start-up.
    bool Write(const void* data, size_t size);
    // Reads until `size` bytes have arrived or the child's output ends; returns the
    // number of bytes read.
    size_t Read(void* data, size_t size);
    // Reads everything the child writes until its output ends.
    std::string ReadAll();
    // Closes this side of the pipe, which tells a reading child that input has ended.
    void ClosePipe();
    // Waits for the child to exit; answers its exit status, or 128 + the signal number
    // when a signal ended it.
    int Wait();
    // The last non-empty line the child wrote to its standard error, or empty.
    std::string LastErrorLine() const;

    // Kills every child still running, at once: for a run that must stop while a child
    // blocks it. Safe from any thread.
    static void KillAll();

  private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    std::FILE* errors_ = nullptr;
    bool waited_ = false;
    int status_ = 0;
};

}  // namespace ffglhost

#endif  // FFGLHOST_CHILD_PROCESS_H
