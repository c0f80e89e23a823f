// Running the ffgl-host binary from tests, and the files it leaves behind.
#ifndef QUELLIX_TESTS_HOST_RUN_H
#define QUELLIX_TESTS_HOST_RUN_H

#include <map>
#include <string>
#include <vector>

#include "lib/io/image.h"

struct HostRun {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs the host binary with `arguments` inside `directory`, with `environment` entries
// (NAME=VALUE) added or replaced.
HostRun RunHost(const std::string& directory, const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {});

// Runs a shell command line; answers its exit code and captures its standard output.
int RunShell(const std::string& command, std::string* output = nullptr);

// A single-quoted shell word.
std::string ShellQuote(const std::string& text);

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Every file below the directory, relative to it, sorted.
    std::vector<std::string> Files() const;

  private:
    std::string path_;
};

// True when both ffmpeg and ffprobe are on PATH.
bool HaveFfmpeg();

// Frame count (decoded), width, height, frame rate and duration in seconds of the first
// video stream, from ffprobe.
struct VideoFacts {
    int frames = -1;
    int width = -1;
    int height = -1;
    double fps = -1;
    double seconds = -1;
};
VideoFacts ProbeVideoFile(const std::string& path);

// Each stream's codec and the seconds its packets span, in stream order.
struct StreamFacts {
    std::string codec;
    double seconds = 0;
};
std::vector<StreamFacts> ProbeStreams(const std::string& path);

// The mean absolute difference of the RGB channels of two same-sized pictures over the
// square of `radius` pixels around (x, y).
double MeanDifference(const ffglhost::Image& a, const ffglhost::Image& b, uint32_t x, uint32_t y,
                      uint32_t radius);

// Every entry below `directory` (hidden ones included) with its permissions and content,
// to compare a folder before and after a run byte for byte.
std::map<std::string, std::string> Snapshot(const std::string& directory);

// Puts `content` into `path` with the permissions `mode`.
void WriteFileWithMode(const std::string& path, const std::string& content, unsigned mode);

// The lines of `text` that start with "ffgl-host: ".
std::vector<std::string> HostLines(const std::string& text);

// Paths fixed at build time.
extern const char* const kHostBinary;
extern const char* const kModulePath;
extern const char* const kRefusingPluginPath;
extern const char* const kNoEntryLibraryPath;
extern const char* const kHostilePluginPath;

#endif  // QUELLIX_TESTS_HOST_RUN_H
