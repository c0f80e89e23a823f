#include "video_format.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "child_process.h"
#include "lib/host_error.h"

namespace ffglhost {

namespace {

// Sides beyond this are never accepted by a GL context; keeps the arithmetic in range.
constexpr uint64_t kMaxScaledSide = 1 << 20;

bool OneOf(const std::string& value, const std::vector<std::string>& names) {
    return std::find(names.begin(), names.end(), value) != names.end();
}

// The tag names ffmpeg's -color_primaries and -color_trc options take.
const std::vector<std::string>& PrimariesNames() {
    static const std::vector<std::string> names = {
        "bt709",  "bt470m",   "bt470bg",  "smpte170m", "smpte240m", "film",
        "bt2020", "smpte428", "smpte431", "smpte432",  "jedec-p22", "ebu3213"};
    return names;
}

const std::vector<std::string>& TransferNames() {
    static const std::vector<std::string> names = {
        "bt709",     "gamma22",   "gamma28",      "smpte170m",   "smpte240m",    "linear",
        "log100",    "log316",    "iec61966-2-4", "bt1361e",     "iec61966-2-1", "bt2020-10",
        "bt2020-12", "smpte2084", "smpte428",     "arib-std-b67"};
    return names;
}

// The scale filter's name for a tagged matrix; empty for ffmpeg's default (BT.601),
// which is also what a matrix the scaler lacks falls back to, so that one is not tagged.
std::string ScaleMatrix(const std::string& matrix) {
    if (matrix == "bt709") {
        return "bt709";
    }
    if (matrix == "smpte170m" || matrix == "bt470bg") {
        return "bt601";
    }
    if (matrix == "bt2020nc") {
        return "bt2020";
    }
    if (matrix == "smpte240m" || matrix == "fcc") {
        return matrix;
    }
    return "";
}

std::string ScaleRange(const std::string& range) {
    return range == "tv" ? "limited" : range == "pc" ? "full" : "";
}

uint32_t Scaled(uint32_t side, uint32_t numerator, uint32_t denominator) {
    const uint64_t scaled = (uint64_t{side} * numerator + denominator / 2) / denominator;
    return static_cast<uint32_t>(std::min(std::max<uint64_t>(scaled, 1), kMaxScaledSide));
}

}  // namespace

void VideoFormat::SquareSize(uint32_t* w, uint32_t* h) const {
    *w = width;
    *h = height;
    if (aspectNumerator > aspectDenominator) {
        *w = Scaled(width, aspectNumerator, aspectDenominator);
    } else if (aspectNumerator < aspectDenominator) {
        *h = Scaled(height, aspectDenominator, aspectNumerator);
    }
}

void VideoFormat::ShownSize(uint32_t* w, uint32_t* h) const {
    uint32_t squareWidth = 0;
    uint32_t squareHeight = 0;
    SquareSize(&squareWidth, &squareHeight);
    OrientedSize(orientation, squareWidth, squareHeight, w, h);
}

VideoFormat ParseVideoFormat(const std::string& probeOutput) {
    VideoFormat format;
    int32_t matrix[9] = {};
    int matrixRows = -1;  // rows still to read after "displaymatrix="
    std::istringstream lines(probeOutput);
    for (std::string line; std::getline(lines, line);) {
        if (matrixRows >= 0 && matrixRows < 3) {
            // "00000001:        65536           0           0"
            std::istringstream row(line.substr(std::min(line.find(':') + 1, line.size())));
            for (int column = 0; column < 3; ++column) {
                row >> matrix[3 * matrixRows + column];
            }
            if (++matrixRows == 3) {
                format.orientation = OrientationFromDisplayMatrix(matrix);
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (value == "unknown" || value == "N/A" || value == "reserved") {
            value.clear();
        }
        if (key == "width") {
            format.width = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "height") {
            format.height = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "sample_aspect_ratio") {
            const size_t colon = value.find(':');
            const unsigned long numerator = std::strtoul(value.c_str(), nullptr, 10);
            const unsigned long denominator =
                colon == std::string::npos ? 0
                                           : std::strtoul(value.c_str() + colon + 1, nullptr, 10);
            // 0:1 means unknown; absurd ratios are taken as square too.
            if (numerator > 0 && denominator > 0 && numerator <= 1000 * denominator &&
                denominator <= 1000 * numerator) {
                format.aspectNumerator = static_cast<uint32_t>(numerator);
                format.aspectDenominator = static_cast<uint32_t>(denominator);
            }
        } else if (key == "color_space") {
            format.colour.matrix = value;
        } else if (key == "color_primaries") {
            format.colour.primaries = value;
        } else if (key == "color_transfer") {
            format.colour.transfer = value;
        } else if (key == "color_range") {
            format.colour.range = value;
        } else if (key == "displaymatrix") {
            matrixRows = 0;
        }
    }
    return format;
}

VideoFormat ProbeVideoFormat(const std::string& path) {
    ChildProcess probe({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                        "stream=width,height,sample_aspect_ratio,color_space,color_primaries,"
                        "color_transfer,color_range:stream_side_data=displaymatrix",
                        "-of", "default=noprint_wrappers=1", "-i", "file:" + path},
                       ChildProcess::Pipe::kFromChild);
    const std::string output = probe.ReadAll();
    const int status = probe.Wait();
    const VideoFormat format = ParseVideoFormat(output);
    if (status != 0 || format.width == 0 || format.height == 0) {
        const std::string reason = probe.LastErrorLine();
        throw HostError("cannot read video " + path + ": " +
                        (reason.empty() ? "no video stream" : reason));
    }
    return format;
}

std::string DecodeFilter(const VideoFormat& format, uint32_t width, uint32_t height) {
    // Scaled while still stored sideways, then turned: the size asked for is the shown one.
    uint32_t storedWidth = 0;
    uint32_t storedHeight = 0;
    OrientedSize(format.orientation, width, height, &storedWidth, &storedHeight);
    std::string filter =
        "scale=w=" + std::to_string(storedWidth) + ":h=" + std::to_string(storedHeight);
    const std::string matrix = ScaleMatrix(format.colour.matrix);
    if (!matrix.empty()) {
        filter += ":in_color_matrix=" + matrix;
    }
    const std::string range = ScaleRange(format.colour.range);
    if (!range.empty()) {
        filter += ":in_range=" + range;
    }
    filter += ",format=rgba";
    const std::string turn = OrientationFilters(format.orientation);
    return turn.empty() ? filter : filter + "," + turn;
}

std::string EncodeColourFilter(const ColourTags& colour) {
    const std::string matrix = ScaleMatrix(colour.matrix);
    const std::string range = ScaleRange(colour.range);
    if (matrix.empty() && range.empty()) {
        return "";
    }
    std::string filter = "scale=";
    if (!matrix.empty()) {
        filter += "out_color_matrix=" + matrix + (range.empty() ? "" : ":");
    }
    if (!range.empty()) {
        filter += "out_range=" + range;
    }
    return filter + ",format=yuv420p";
}

std::vector<std::string> ColourTagArguments(const ColourTags& colour) {
    std::vector<std::string> arguments;
    if (!ScaleMatrix(colour.matrix).empty()) {
        arguments.insert(arguments.end(), {"-colorspace", colour.matrix});
    }
    if (OneOf(colour.primaries, PrimariesNames())) {
        arguments.insert(arguments.end(), {"-color_primaries", colour.primaries});
    }
    if (OneOf(colour.transfer, TransferNames())) {
        arguments.insert(arguments.end(), {"-color_trc", colour.transfer});
    }
    if (colour.range == "tv" || colour.range == "pc") {
        arguments.insert(arguments.end(), {"-color_range", colour.range});
    }
    return arguments;
}

std::string DescribeVideoFormat(const VideoFormat& format) {
    std::string text;
    if (!format.SquarePixels()) {
        uint32_t width = 0;
        uint32_t height = 0;
        format.SquareSize(&width, &height);
        text = std::to_string(format.width) + "x" + std::to_string(format.height) + " with " +
               std::to_string(format.aspectNumerator) + ":" +
               std::to_string(format.aspectDenominator) + " pixels scaled to " +
               std::to_string(width) + "x" + std::to_string(height) + " square pixels";
    }
    const std::string turn = DescribeOrientation(format.orientation);
    if (!turn.empty()) {
        text += (text.empty() ? "" : ", ") + turn + " to stand upright";
    }
    return text;
}

}  // namespace ffglhost
