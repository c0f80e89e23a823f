// Keeps a plug-in's standard output out of a program's own: from construction on,
// whatever is written to file descriptor 1 (printf in the plug-in included) goes to
// standard error as lines with a prefix, control characters made visible. The program's
// own output goes to Output(), the original standard output.
#ifndef FFGLHOST_STDOUT_LINES_H
#define FFGLHOST_STDOUT_LINES_H

#include <cstdio>
#include <string>
#include <thread>

namespace ffglhost {

class StdoutLines {
  public:
    explicit StdoutLines(std::string prefix);
    // Flushes what is pending, shows the last lines and puts standard output back.
    ~StdoutLines();
    StdoutLines(const StdoutLines&) = delete;
    StdoutLines& operator=(const StdoutLines&) = delete;

    // The original standard output (stdout itself when it could not be redirected).
    std::FILE* Output() const { return output_; }

  private:
    std::FILE* output_ = stdout;
    std::thread reader_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_STDOUT_LINES_H
