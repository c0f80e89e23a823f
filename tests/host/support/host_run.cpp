#include "host_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lib/io/child_process.h"

const char* const kHostBinary = FFGL_HOST_BINARY;
const char* const kModulePath = QUELLIX_MODULE_PATH;
const char* const kRefusingPluginPath = REFUSING_PLUGIN_PATH;
const char* const kNoEntryLibraryPath = NO_ENTRY_LIBRARY_PATH;
const char* const kHostilePluginPath = HOSTILE_PLUGIN_PATH;

namespace fs = std::filesystem;

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int ExitCodeOf(int status) {
    if (status == -1) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int RunShell(const std::string& command, std::string* output) {
    if (output == nullptr) {
        return ExitCodeOf(std::system(command.c_str()));
    }
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    output->clear();
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output->append(buffer, got);
    }
    return ExitCodeOf(pclose(pipe));
}

HostRun RunHost(const std::string& directory, const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment) {
    // The captured streams live outside `directory`, whose contents tests inspect.
    TempDir capture;
    std::string command = "cd " + ShellQuote(directory) + " && env";
    for (const std::string& entry : environment) {
        command += " " + ShellQuote(entry);
    }
    command += " " + ShellQuote(kHostBinary);
    for (const std::string& argument : arguments) {
        command += " " + ShellQuote(argument);
    }
    command += " >" + ShellQuote(capture / "out") + " 2>" + ShellQuote(capture / "err");
    HostRun run;
    run.exitCode = RunShell(command);
    run.out = ReadWhole(capture / "out");
    run.err = ReadWhole(capture / "err");
    return run;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ffgl-host-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::Files() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(path_)) {
        if (!entry.is_directory()) {
            files.push_back(fs::relative(entry.path(), path_).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool HaveFfmpeg() {
    return !ffglhost::FindOnPath("ffmpeg").empty() && !ffglhost::FindOnPath("ffprobe").empty();
}

VideoFacts ProbeVideoFile(const std::string& path) {
    std::string output;
    RunShell(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames,width,height,avg_frame_rate:format=duration "
        "-of default=noprint_wrappers=1 " +
            ShellQuote(path),
        &output);
    VideoFacts facts;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const char* text = line.c_str() + equals + 1;
        const int value = std::atoi(text);
        if (key == "avg_frame_rate") {
            const char* slash = std::strchr(text, '/');
            const double denominator = slash != nullptr ? std::atof(slash + 1) : 1.0;
            facts.fps = denominator > 0 ? std::atof(text) / denominator : -1;
        } else if (key == "duration") {
            facts.seconds = std::atof(text);
        } else if (key == "nb_read_frames") {
            facts.frames = value;
        } else if (key == "width") {
            facts.width = value;
        } else if (key == "height") {
            facts.height = value;
        }
    }
    return facts;
}

std::vector<StreamFacts> ProbeStreams(const std::string& path) {
    std::string output;
    // One line a stream: its codec, and its first packet to the end of its last.
    RunShell(
        "ffprobe -v error -show_entries stream=codec_name:packet=stream_index,pts_time,"
        "duration_time -of csv " +
            ShellQuote(path) +
            " | awk -F, '$1==\"stream\" {c[n++]=$2} $1==\"packet\" && $3!=\"N/A\" {i=$2; "
            "if (!(i in a) || $3<a[i]) a[i]=$3; if ($3+$4>b[i]) b[i]=$3+$4} "
            "END {for (k=0; k<n; k++) print c[k], b[k]-a[k]}'",
        &output);
    std::vector<StreamFacts> streams;
    std::istringstream lines(output);
    for (StreamFacts stream; lines >> stream.codec >> stream.seconds;) {
        streams.push_back(stream);
    }
    return streams;
}

double MeanDifference(const ffglhost::Image& a, const ffglhost::Image& b, uint32_t x, uint32_t y,
                      uint32_t radius) {
    double sum = 0;
    int count = 0;
    for (uint32_t py = y - radius; py <= y + radius; ++py) {
        for (uint32_t px = x - radius; px <= x + radius; ++px) {
            for (int c = 0; c < 3; ++c) {
                sum += std::abs(a.Pixel(px, py)[c] - b.Pixel(px, py)[c]);
                ++count;
            }
        }
    }
    return count > 0 ? sum / count : 0.0;
}

std::map<std::string, std::string> Snapshot(const std::string& directory) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        const auto mode = static_cast<unsigned>(entry.symlink_status().permissions());
        const std::string content = entry.is_regular_file() ? ReadWhole(entry.path()) : "(dir)";
        entries[fs::relative(entry.path(), directory).string()] =
            std::to_string(mode) + ":" + content;
    }
    return entries;
}

void WriteFileWithMode(const std::string& path, const std::string& content, unsigned mode) {
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, static_cast<fs::perms>(mode));
}

std::vector<std::string> HostLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (line.rfind("ffgl-host: ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}
