// What a clip says about how it is shown: the display rotation, the pixel aspect and the
// colour tags, and the ffmpeg filters and options that honour them when frames are
// decoded to RGBA and encoded back.
#ifndef FFGLHOST_VIDEO_FORMAT_H
#define FFGLHOST_VIDEO_FORMAT_H

#include <cstdint>
#include <string>
#include <vector>

#include "orientation.h"

namespace ffglhost {

// ffmpeg's names as ffprobe prints them ("bt709", "tv"); empty where the clip says nothing.
struct ColourTags {
    std::string matrix;     // color_space
    std::string primaries;  // color_primaries
    std::string transfer;   // color_transfer
    std::string range;      // color_range: "tv" (limited) or "pc" (full)
};

struct VideoFormat {
    uint32_t width = 0;  // as stored
    uint32_t height = 0;
    uint32_t aspectNumerator = 1;  // the sample (pixel) aspect ratio
    uint32_t aspectDenominator = 1;
    Orientation orientation;  // from the display matrix
    ColourTags colour;

    bool SquarePixels() const { return aspectNumerator == aspectDenominator; }
    // The stored frame scaled to square pixels at its display aspect: the side the
    // aspect shortens grows (720x576 at 16:15 is 768x576).
    void SquareSize(uint32_t* width, uint32_t* height) const;
    // SquareSize turned upright: what a player shows and the plug-in gets.
    void ShownSize(uint32_t* width, uint32_t* height) const;
};

// What one run of ffprobe says about a clip.
struct ClipProbe {
    VideoFormat format;      // of the first video stream
    double fps = 0.0;        // its frame rate; 0 when the file does not say
    std::string audioCodec;  // of the first audio stream as ffprobe names it; empty: none
};

// Asks ffprobe about every stream, once, and reads its JSON. Throws HostError when
// ffprobe cannot read the file or finds no video in it.
ClipProbe ProbeClip(const std::string& path);

// Reads ffprobe's JSON of -show_streams; what it lacks stays empty.
ClipProbe ParseProbe(const std::string& json);

// The -vf chain that turns decoded frames into upright, square-pixel RGBA frames of
// width x height (the shown size), converted with the clip's matrix and range.
std::string DecodeFilter(const VideoFormat& format, uint32_t width, uint32_t height);

// The filter that converts RGBA frames to 4:2:0 video with the tagged matrix and range,
// empty when neither is tagged (ffmpeg's defaults then apply, as on the way in).
std::string EncodeColourFilter(const ColourTags& colour);

// The output options that tag the encoded stream with the clip's colour tags.
std::vector<std::string> ColourTagArguments(const ColourTags& colour);

// "720x576 with 16:15 pixels scaled to 768x576 square pixels, rotated 90 degrees
// clockwise"; empty when the frames are used as stored.
std::string DescribeVideoFormat(const VideoFormat& format);

}  // namespace ffglhost

#endif  // FFGLHOST_VIDEO_FORMAT_H
