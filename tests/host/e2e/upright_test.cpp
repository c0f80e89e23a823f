// Clips and photos shaped like the ones phones and cameras write, made here with ffmpeg:
// rendered with the flare off they must show what ffmpeg shows (upright, square pixels,
// the clip's colours), and a picture too large for the context is refused unread.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "host/support/host_run.h"

namespace {

// ffmpeg's PSNR over the RGB of two pictures or clips (first frames); 1000 for identical.
double Psnr(const std::string& a, const std::string& b) {
    std::string log;
    RunShell("ffmpeg -nostdin -i " + ShellQuote(a) + " -i " + ShellQuote(b) +
                 " -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' -frames:v 1 -f "
                 "null - 2>&1",
             &log);
    const size_t at = log.find("average:") + 8;  // npos + 8 is 7: no PSNR reads as 0
    return log.compare(at, 3, "inf") == 0 ? 1000 : std::atof(log.c_str() + at);
}

// Size, pixel aspect, colour tags and any rotation, one line each as ffprobe prints them.
std::string Describe(const std::string& path) {
    std::string text;
    RunShell(
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height,"
        "sample_aspect_ratio,color_space,color_primaries,color_transfer,color_range:"
        "stream_side_data=rotation -of compact=p=0 " +
            ShellQuote(path),
        &text);
    return text;
}

struct ClipCase {
    const char* name;
    const char* source;  // the lavfi graph of SMPTE bars the clip is made of
    const char* tags;    // options tagging the clip's colours
    const char* retag;   // options of a stream copy that adds a display rotation
    const char* shown;   // -vf that shows it as a player does; "" where ffmpeg does so itself
    int width;           // of the host's output
    int height;
    const char* summary;  // what the summary says about the input
};

const char* const kBt709 =
    "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv";

const ClipCase kClips[] = {
    {"rotated90", "smptebars=size=640x384", "", "-metadata:s:v rotate=90", "", 384, 640,
     "rotated 90 degrees counterclockwise"},
    {"rotated270", "smptebars=size=640x384", "", "-metadata:s:v rotate=270", "", 384, 640,
     "rotated 90 degrees clockwise"},
    {"anamorphic", "smptebars=size=720x576,setsar=16/15", "", "", "scale=iw*sar:ih", 768, 576,
     "720x576 with 16:15 pixels scaled to 768x576 square pixels"},
    {"bt709limited", "smptebars=size=640x384,scale=out_color_matrix=bt709:out_range=tv", kBt709, "",
     "", 640, 384, ""},
};

class UprightClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(UprightClip, MatchesFfmpegsOwnDecodeAndKeepsTheColourTags) {
    if (!HaveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH";
    }
    const ClipCase& clip = GetParam();
    TempDir dir;
    ASSERT_EQ(RunShell("cd " + ShellQuote(dir.Path()) + " && ffmpeg -v error -f lavfi -i " +
                       clip.source + " -frames:v 2 " + clip.tags +
                       " -pix_fmt yuv420p -c:v libx264 -crf 10 stored.mp4 && ffmpeg -v error -i "
                       "stored.mp4 -c copy " +
                       clip.retag + " in.mp4 && ffmpeg -v error -i in.mp4 " +
                       (*clip.shown ? std::string("-vf ") + clip.shown : "") +
                       " -frames:v 1 -pix_fmt rgba ffmpeg.png"),
              0);
    const auto render = [&dir](const char* frames, const char* out) {
        return RunHost(dir.Path(), {"render", kModulePath, "--input", "in.mp4", "--set",
                                    "Intensity=0", "-n", frames, "--out", out});
    };
    const HostRun first = render("1", "first.png");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find(clip.summary), std::string::npos) << first.out;
    const double framePsnr = Psnr(dir / "first.png", dir / "ffmpeg.png");
    EXPECT_GE(framePsnr, 40.0);

    const HostRun encoded = render("2", "out.mp4");
    ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
    const std::string colours = *clip.tags ? "tv|color_space=bt709|color_transfer=bt709|"
                                             "color_primaries=bt709"
                                           : "unknown|color_space=unknown|color_transfer="
                                             "unknown|color_primaries=unknown";
    EXPECT_EQ(Describe(dir / "out.mp4"),
              "width=" + std::to_string(clip.width) + "|height=" + std::to_string(clip.height) +
                  "|sample_aspect_ratio=1:1|color_range=" + colours + "\n");
    // Through H.264 at the host's quality; converted back with the wrong matrix, about 30.
    const double videoPsnr = Psnr(dir / "out.mp4", dir / "ffmpeg.png");
    EXPECT_GE(videoPsnr, 40.0);
    std::printf("input:  %soutput: %sPSNR frame %.2f dB, video %.2f dB\n",
                Describe(dir / "in.mp4").c_str(), Describe(dir / "out.mp4").c_str(), framePsnr,
                videoPsnr);
}

INSTANTIATE_TEST_SUITE_P(PhoneAndCameraClips, UprightClip, ::testing::ValuesIn(kClips),
                         [](const auto& info) { return std::string(info.param.name); });

// A JPEG with an Exif APP1 segment (big-endian TIFF) holding only the Orientation tag.
void AddExifOrientation(const std::string& from, const std::string& to, int orientation) {
    std::ifstream source(from, std::ios::binary);
    const std::string jpeg((std::istreambuf_iterator<char>(source)), {});
    const std::string segment = std::string(
                                    "\xFF\xE1\0\x22"
                                    "Exif\0\0"
                                    "MM\0\x2A\0\0\0\x08"
                                    "\0\x01"
                                    "\x01\x12\0\x03\0\0\0\x01\0",
                                    29) +
                                char(orientation) + std::string(6, '\0');
    std::ofstream(to, std::ios::binary) << jpeg.substr(0, 2) << segment << jpeg.substr(2);
}

TEST(UprightPhoto, ExifOrientationIsAppliedAsFfmpegAppliesIt) {
    if (!HaveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH";
    }
    TempDir dir;
    ASSERT_EQ(RunShell("cd " + ShellQuote(dir.Path()) +
                       " && ffmpeg -v error -f lavfi -i "
                       "smptebars=size=200x120 -frames:v 1 -q:v 1 -pix_fmt yuvj444p stored.jpg"),
              0);
    for (const int orientation : {6, 3}) {
        const std::string name = "photo" + std::to_string(orientation);
        AddExifOrientation(dir / "stored.jpg", dir / (name + ".jpg"), orientation);
        ASSERT_EQ(RunShell("cd " + ShellQuote(dir.Path()) + " && ffmpeg -v error -y -i " + name +
                           ".jpg -pix_fmt rgba ffmpeg.png"),
                  0);
        const HostRun run =
            RunHost(dir.Path(), {"render", kModulePath, "--input", name + ".jpg", "--set",
                                 "Intensity=0", "-n", "1", "--out", name + ".png"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(orientation == 6 ? "at 120x200" : "at 200x120"), std::string::npos)
            << run.out;
        const double psnr = Psnr(dir / (name + ".png"), dir / "ffmpeg.png");
        EXPECT_GE(psnr, 40.0) << orientation;
        std::printf("orientation %d: PSNR %.2f dB\n", orientation, psnr);
    }
}

std::string BigEndian32(uLong value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string PngChunk(const std::string& type, const std::string& body) {
    const std::string typed = type + body;
    const auto* bytes = reinterpret_cast<const Bytef*>(typed.data());
    return BigEndian32(body.size()) + typed + BigEndian32(crc32(0, bytes, typed.size()));
}

// A valid 30000 x 30000 black grey PNG of 0.9 MB: one deflate segment of 1000 rows that
// a full flush makes stand alone, 30 times, then the final block and the checksum.
void WriteHugePng(const std::string& path) {
    const uint32_t side = 30000;
    std::string rows(size_t{side + 1} * 1000, '\0');  // filter byte and samples per row
    z_stream z{};
    deflateInit(&z, 9);
    std::string out(deflateBound(&z, rows.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(rows.data());
    z.avail_in = static_cast<uInt>(rows.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FULL_FLUSH);
    const std::string segment = out.substr(2, z.total_out - 2);  // after the zlib header
    deflate(&z, Z_FINISH);
    const uLong rowsAdler = adler32(1, reinterpret_cast<const Bytef*>(rows.data()), rows.size());
    std::string data = out.substr(0, 2);
    uLong adler = 1;
    for (int i = 0; i < 30; ++i) {
        data += segment;
        adler = adler32_combine(adler, rowsAdler, static_cast<z_off_t>(rows.size()));
    }
    data += out.substr(2 + segment.size(), z.total_out - 2 - segment.size() - 4);
    deflateEnd(&z);
    std::ofstream(path, std::ios::binary)
        << "\x89PNG\r\n\x1a\n"
        << PngChunk("IHDR", BigEndian32(side) + BigEndian32(side) + std::string("\x08\0\0\0\0", 5))
        << PngChunk("IDAT", data + BigEndian32(adler)) << PngChunk("IEND", "");
}

TEST(HugePicture, IsRefusedFromItsHeaderWithinASecondAnd200MB) {
    TempDir dir;
    WriteHugePng(dir / "huge.png");
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen((dir / "err").c_str(), "w", stderr);
        execl(kHostBinary, kHostBinary, "render", kModulePath, "--input",
              (dir / "huge.png").c_str(), "-n", "1", "--out", (dir / "out.png").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string message;
    std::getline(std::ifstream(dir / "err"), message);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(message.find("is 30000x30000, larger than this OpenGL context takes (at most "),
              std::string::npos)
        << message;
    EXPECT_LT(seconds, 1.0);
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "kilobytes";
    std::printf("refused in %.3f s, peak %ld KB: %s\n", seconds, usage.ru_maxrss, message.c_str());
}

}  // namespace
