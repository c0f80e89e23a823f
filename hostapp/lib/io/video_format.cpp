#include "video_format.h"

#include <nlohmann/json.hpp>

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

namespace {

// A text field of ffprobe's JSON, empty where it is missing or says nothing.
std::string Tag(const nlohmann::json& stream, const char* key) {
    const auto found = stream.find(key);
    if (found == stream.end() || !found->is_string()) {
        return "";
    }
    const std::string value = found->get<std::string>();
    return value == "unknown" || value == "N/A" || value == "reserved" ? "" : value;
}

// "30000/1001" or "25" as frames per second; 0 when unreadable.
double Rate(const std::string& text) {
    const size_t slash = text.find('/');
    const double numerator = std::strtod(text.substr(0, slash).c_str(), nullptr);
    if (slash == std::string::npos) {
        return numerator;
    }
    const double denominator = std::strtod(text.substr(slash + 1).c_str(), nullptr);
    return denominator > 0 ? numerator / denominator : 0.0;
}

VideoFormat FormatOf(const nlohmann::json& stream) {
    VideoFormat format;
    format.width = stream.value("width", 0u);
    format.height = stream.value("height", 0u);
    const std::string aspect = Tag(stream, "sample_aspect_ratio");
    const size_t colon = aspect.find(':');
    const unsigned long numerator = std::strtoul(aspect.c_str(), nullptr, 10);
    const unsigned long denominator =
        colon == std::string::npos ? 0 : std::strtoul(aspect.c_str() + colon + 1, nullptr, 10);
    // 0:1 means unknown; absurd ratios are taken as square too.
    if (numerator > 0 && denominator > 0 && numerator <= 1000 * denominator &&
        denominator <= 1000 * numerator) {
        format.aspectNumerator = static_cast<uint32_t>(numerator);
        format.aspectDenominator = static_cast<uint32_t>(denominator);
    }
    format.colour.matrix = Tag(stream, "color_space");
    format.colour.primaries = Tag(stream, "color_primaries");
    format.colour.transfer = Tag(stream, "color_transfer");
    format.colour.range = Tag(stream, "color_range");
    for (const nlohmann::json& side : stream.value("side_data_list", nlohmann::json::array())) {
        // Three rows "00000000:        65536           0           0".
        std::istringstream rows(Tag(side, "displaymatrix"));
        int32_t matrix[9] = {};
        int read = 0;
        for (std::string row; read < 9 && std::getline(rows, row);) {
            std::istringstream numbers(row.substr(std::min(row.find(':') + 1, row.size())));
            for (int32_t value = 0; read < 9 && numbers >> value;) {
                matrix[read++] = value;
            }
        }
        if (read == 9) {
            format.orientation = OrientationFromDisplayMatrix(matrix);
        }
    }
    return format;
}

}  // namespace

ClipProbe ParseProbe(const std::string& json) {
    ClipProbe probe;
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (!document.is_object()) {
        return probe;
    }
    bool video = false;
    for (const nlohmann::json& stream : document.value("streams", nlohmann::json::array())) {
        const std::string kind = Tag(stream, "codec_type");
        if (kind == "video" && !video) {
            video = true;
            probe.format = FormatOf(stream);
            const double average = Rate(Tag(stream, "avg_frame_rate"));
            probe.fps = average > 0 ? average : Rate(Tag(stream, "r_frame_rate"));
        } else if (kind == "audio" && probe.audioCodec.empty()) {
            probe.audioCodec = Tag(stream, "codec_name");
        }
    }
    return probe;
}

ClipProbe ProbeClip(const std::string& path) {
    ChildProcess ffprobe(
        {"ffprobe", "-v", "error", "-show_streams", "-of", "json", "-i", "file:" + path},
        ChildProcess::Pipe::kFromChild);
    const std::string output = ffprobe.ReadAll();
    const int status = ffprobe.Wait();
    const ClipProbe probe = ParseProbe(output);
    if (status != 0 || probe.format.width == 0 || probe.format.height == 0) {
        const std::string reason = ffprobe.LastErrorLine();
        throw HostError("cannot read video " + path + ": " +
                        (reason.empty() ? "no video stream" : reason));
    }
    return probe;
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
