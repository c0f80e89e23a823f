// PNG files read and written as RGBA pictures, through libpng's simplified interface.
#ifndef FFGLHOST_PNG_FILE_H
#define FFGLHOST_PNG_FILE_H

#include <string>

#include "image.h"
#include "picture_file.h"

namespace ffglhost {

// The size from the IHDR chunk and the orientation from an eXIf chunk, found by walking
// the chunk headers without inflating anything. Throws HostError when the file cannot
// be opened or does not start with a PNG signature and IHDR.
PictureHeader ReadPngHeader(const std::string& path);

// Reads any PNG (palette, grey, 16-bit, with or without alpha) as RGBA8 of its stored
// values: no gamma conversion, 16-bit samples scaled with rounding (png_read.cpp).
// Throws HostError when the file cannot be opened or decoded.
Image ReadPng(const std::string& path);

// Writes `image` as an RGBA PNG to exactly `path`, favouring speed over file size.
// Throws HostError on failure; the caller decides where the file goes and whether a
// partial file is removed (see StagedOutputs).
void WritePng(const std::string& path, const Image& image);

// Writes `image` like WritePng, for frames of a sequence, which are intermediate files:
// each row as the difference to the row above ("up" filter) at zlib level 1. On rendered
// frames this compresses about twice as fast as WritePng and the files come out smaller.
void WriteFramePng(const std::string& path, const Image& image);

}  // namespace ffglhost

#endif  // FFGLHOST_PNG_FILE_H
