// `ffgl-host play` driven as a person drives it, on the virtual display this binary runs
// under (xvfb-run, a 1600x900 screen, no window manager: the window sits at 0,0 and the
// keyboard follows the pointer): keys and slider drags through xdotool, OSC through
// oscsend, the window read back with ImageMagick's import and the S key's pictures.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "host/support/host_run.h"
#include "lib/io/png_file.h"
#include "lib/io/test_picture.h"

namespace {

// The panel's layout (Dear ImGui's default style, the panel at the window's corner):
// parameter row i is centred at y = 38 + 23 i, its slider spans x = 8 .. 208.
constexpr int kSliderLeft = 8;
int RowY(int row) {
    return 38 + 23 * row;
}
constexpr int kButtonsY = 203;  // Save at x 246 .. 282, Load at 290 .. 326
constexpr int kSaveX = 264;
constexpr int kLoadX = 308;

std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool WaitFor(const std::function<bool()>& done, double seconds = 90) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

int FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// Where the flare is: the light it adds to the built-in picture in a 40 x 20 box around
// (x, y), kept inside the frame, is at least ten times its mean over the frame.
bool FlareNear(const ffglhost::Image& frame, int x, int y) {
    if (frame.width == 0) {
        return false;
    }
    const ffglhost::Image input = ffglhost::MakeTestPicture(frame.width, frame.height);
    const int left = std::clamp(x - 20, 0, static_cast<int>(frame.width) - 40);
    const int top = std::clamp(y - 10, 0, static_cast<int>(frame.height) - 20);
    double inBox = 0;
    double all = 0;
    for (uint32_t py = 0; py < frame.height; ++py) {
        for (uint32_t px = 0; px < frame.width; ++px) {
            double gain = 0;
            for (int c = 0; c < 3; ++c) {
                gain += std::abs(frame.Pixel(px, py)[c] - input.Pixel(px, py)[c]);
            }
            all += gain;
            const bool boxed = static_cast<int>(px) >= left && static_cast<int>(px) < left + 40 &&
                               static_cast<int>(py) >= top && static_cast<int>(py) < top + 20;
            inBox += boxed ? gain : 0;
        }
    }
    return inBox / (40 * 20) > 10 * all / (static_cast<double>(frame.width) * frame.height);
}

class Play {
  public:
    Play(const TempDir& dir, const std::string& plugin, const std::vector<std::string>& options,
         const std::string& environment = "")
        : dir_(dir) {
        // In the sanitizer build, the window system's GL driver, unloaded when the window
        // closes, leaves allocations LeakSanitizer cannot attribute to any module; and a
        // plug-in's crash must reach the worker as the signal it is, not as ASan's exit.
        std::string command = "ASAN_OPTIONS=handle_segv=0:handle_abort=0:detect_leaks=0 " +
                              ShellQuote(kHostBinary) + " play " + ShellQuote(plugin);
        for (const std::string& option : options) {
            command += " " + ShellQuote(option);
        }
        RunShell("cd " + ShellQuote(dir.Path()) + " && { " + environment + " " + command +
                 " > play.out 2> play.err & echo $! > play.pid; wait $!; echo $? > play.rc; } "
                 "> /dev/null 2>&1 &");
    }
    ~Play() {
        if (!Exited()) {
            Key("Escape");
            if (!WaitFor([this] { return Exited(); }, 20)) {
                RunShell("kill -KILL " + ReadText(dir_ / "play.pid"));
            }
        }
    }

    bool Exited() const { return !ReadText(dir_ / "play.rc").empty(); }
    int ExitCode() const { return std::stoi(ReadText(dir_ / "play.rc")); }
    std::string Out() const { return ReadText(dir_ / "play.out"); }
    std::string Err() const { return ReadText(dir_ / "play.err"); }

    // The pointer in the window gives it the keyboard.
    void Key(const std::string& key) const { RunShell("xdotool mousemove 900 600 key " + key); }
    void Click(int x, int y) const {
        RunShell("xdotool mousemove " + Pos(x, y) +
                 " sleep 0.3 click 1 sleep 0.3 mousemove 900 600");
    }
    void Drag(int fromX, int toX, int y) const {
        RunShell("xdotool mousemove " + Pos(fromX, y) +
                 " sleep 0.3 mousedown 1 sleep 0.3 mousemove " + Pos((fromX + toX) / 2, y) +
                 " sleep 0.3 mousemove " + Pos(toX, y) +
                 " sleep 0.3 mouseup 1 sleep 0.3 mousemove 900 600");
    }
    void Osc(const std::string& address, const std::string& value) const {
        RunShell("oscsend 127.0.0.1 " + std::to_string(port) + " " + address + " f " + value);
    }
    // The S key's next picture, once written.
    ffglhost::Image Snapshot() {
        char name[32];
        std::snprintf(name, sizeof name, "Quellix-%04d.png", ++snapshots_);
        const std::string line = "wrote " + std::string(name) + "\n";
        Key("s");
        if (!WaitFor([&] { return Out().find(line) != std::string::npos; }, 30)) {
            return {};
        }
        return ffglhost::ReadPng(dir_ / name);
    }
    // A part of the screen.
    ffglhost::Image Capture(int x, int y, int w, int h) const {
        const std::string file = dir_ / "capture.png";
        RunShell("import -window root -crop " + std::to_string(w) + "x" + std::to_string(h) + "+" +
                 std::to_string(x) + "+" + std::to_string(y) + " +repage " + ShellQuote(file));
        return ffglhost::ReadPng(file);
    }
    // Presses S until the first frame is out.
    bool Started() {
        return WaitFor([this] {
            if (Snapshot().width == 0) {
                --snapshots_;
                return false;
            }
            return true;
        });
    }

    int port = 0;

  private:
    static std::string Pos(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }

    const TempDir& dir_;
    int snapshots_ = 0;
};

ffglhost::Image Crop(const ffglhost::Image& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    ffglhost::Image part(w, h);
    for (uint32_t row = 0; row < h && image.width > 0; ++row) {
        std::copy_n(image.Pixel(x, y + row), w * 4, part.Row(row));
    }
    return part;
}

ffglhost::Image PanelRows(const Play& play) {
    return play.Capture(0, 26, 360, 140);
}

TEST(PlayTest, OscSlidersAndPresetsDriveTheFrameThatRenderGives) {
    TempDir dir;
    const int port = FreeUdpPort();
    Play play(dir, kModulePath,
              {"--paused", "--set", "Auto Move=0", "--osc-port", std::to_string(port)});
    play.port = port;
    ASSERT_TRUE(WaitFor([&] { return play.Out().find("OSC: listening") != std::string::npos; }));
    EXPECT_NE(play.Out().find("127.0.0.1:" + std::to_string(port)), std::string::npos);
    EXPECT_NE(play.Out().find("  /param/0  /param/Flare_X  f 0..1\n"), std::string::npos);
    ASSERT_TRUE(play.Started());
    const ffglhost::Image panelBefore = PanelRows(play);

    // OSC moves the flare across, a slider dragged past its left end puts it at the bottom.
    play.Osc("/param/Flare_X", "0.2");
    play.Osc("/param/Flare_X", "1.5");
    play.Osc("/param/Glow", "0.5");
    play.Drag(100, kSliderLeft - 6, RowY(1));
    ffglhost::Image shot;
    EXPECT_TRUE(WaitFor([&] { return FlareNear(shot = play.Snapshot(), 256, 719); }));
    // The window shows that frame upright at its own size, away from the panel.
    EXPECT_EQ(play.Capture(400, 250, 880, 440).rgba, Crop(shot, 400, 250, 880, 440).rgba);
    EXPECT_NE(play.Err().find("ffgl-host: OSC /param/Flare_X ignored: \"Flare X\" takes values "
                              "from 0 to 1, got 1.5\n"),
              std::string::npos);
    EXPECT_NE(play.Err().find("ffgl-host: OSC /param/Glow ignored: unknown address"),
              std::string::npos);
    const ffglhost::Image panelAfter = PanelRows(play);
    EXPECT_NE(panelAfter.rgba, panelBefore.rgba);

    // Saved, changed, loaded: the frame is the one `render --preset` gives.
    play.Click(kSaveX, kButtonsY);
    ASSERT_TRUE(
        WaitFor([&] { return play.Out().find("saved Quellix.json") != std::string::npos; }));
    const std::string preset = ReadText(dir / "Quellix.json");
    EXPECT_NE(preset.find("\"Flare X\": 0.200000003,\n    \"Flare Y\": 0,"), std::string::npos)
        << preset;
    play.Osc("/param/0", "0.9");
    EXPECT_TRUE(WaitFor([&] { return FlareNear(play.Snapshot(), 1152, 719); }));
    play.Click(kLoadX, kButtonsY);
    const HostRun render = RunHost(dir.Path(), {"render", kModulePath, "--preset", "Quellix.json",
                                                "-n", "1", "--out", "r.png"});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    const ffglhost::Image rendered = ffglhost::ReadPng(dir / "r.png");
    EXPECT_TRUE(WaitFor([&] { return play.Snapshot().rgba == rendered.rgba; }));

    play.Key("Escape");
    ASSERT_TRUE(WaitFor([&] { return play.Exited(); }));
    EXPECT_EQ(play.ExitCode(), 0);
    EXPECT_NE(play.Out().find("OSC: 2 changes"), std::string::npos) << play.Out();

    // The panel after the changes is the panel of a window started with those values.
    TempDir other;
    Play same(other, kModulePath,
              {"--paused", "--set", "Auto Move=0", "--set", "Flare X=0.2", "--set", "Flare Y=0"});
    ASSERT_TRUE(same.Started());
    EXPECT_EQ(PanelRows(same).rgba, panelAfter.rgba);
}

TEST(PlayTest, CrashShowsItsLineInTheWindowAndRRestarts) {
    TempDir dir;
    Play play(dir, kHostilePluginPath, {}, "HOSTILE_MODE=crash:17");
    const std::string line =
        "ffgl-host: the plug-in crashed (segmentation fault) in function code 17";
    const auto crashes = [&] {
        size_t count = 0;
        for (size_t at = play.Err().find(line); at != std::string::npos;
             at = play.Err().find(line, at + 1)) {
            ++count;
        }
        return count;
    };
    ASSERT_TRUE(WaitFor([&] { return crashes() == 1; })) << play.Err();
    // The message's dark red box in the middle of the window, the panel at its corner.
    const ffglhost::Image middle = play.Capture(200, 340, 1200, 40);
    size_t red = 0;
    for (size_t i = 0; i < middle.rgba.size(); i += 4) {
        red += middle.rgba[i] > 100 && middle.rgba[i + 1] < 20 && middle.rgba[i + 2] < 20;
    }
    EXPECT_GT(red, 10000u);
    const ffglhost::Image panel = PanelRows(play);
    size_t lit = 0;
    for (uint8_t channel : panel.rgba) {
        lit += channel > 60 && channel < 255;
    }
    EXPECT_GT(lit, 10000u);
    play.Key("r");
    EXPECT_TRUE(WaitFor([&] { return crashes() == 2; })) << play.Err();
    play.Key("Escape");
    ASSERT_TRUE(WaitFor([&] { return play.Exited(); }));
    EXPECT_EQ(play.ExitCode(), 0);
}

// A frame that keeps the GPU busy is said in the window like a hung call; Esc while a call
// hangs with no limit closes the window at once.
TEST(PlayTest, ABusyGpuIsSaidAndEscLeavesAHungCallAtOnce) {
    TempDir dir;
    {
        Play play(dir, kHostilePluginPath, {"--call-timeout", "2"}, "HOSTILE_MODE=gpu-busy:5");
        EXPECT_TRUE(WaitFor([&] {
            return play.Err().find(
                       "ffgl-host: the plug-in did not finish its drawing within 2 s "
                       "in function code 17") != std::string::npos;
        })) << play.Err();
    }
    Play play(dir, kHostilePluginPath, {"--call-timeout", "0"},
              "HOSTILE_MODE=hang:17 HOSTILE_MARK=hung");
    ASSERT_TRUE(WaitFor([&] { return access((dir / "hung").c_str(), F_OK) == 0; }));
    const auto pressed = std::chrono::steady_clock::now();
    play.Key("Escape");
    ASSERT_TRUE(WaitFor([&] { return play.Exited(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(3));
    EXPECT_EQ(play.ExitCode(), 0);
}

// --set overrides the preset's value.
TEST(PlayTest, RenderTakesAPresetUnderTheSetValues) {
    TempDir dir;
    WriteFileWithMode(dir / "p.json", R"({"plugin": "QX01", "values": {"Flare X": 0.2}})", 0644);
    const std::vector<std::string> common = {"render", kModulePath, "-n",
                                             "1",      "--set",     "Flare X=0.9"};
    std::vector<std::string> withPreset = common;
    withPreset.insert(withPreset.end(), {"--preset", "p.json", "--out", "a.png"});
    std::vector<std::string> without = common;
    without.insert(without.end(), {"--out", "b.png"});
    ASSERT_EQ(RunHost(dir.Path(), withPreset).exitCode, 0);
    ASSERT_EQ(RunHost(dir.Path(), without).exitCode, 0);
    EXPECT_EQ(ffglhost::ReadPng(dir / "a.png").rgba, ffglhost::ReadPng(dir / "b.png").rgba);
}

// A preset for another plug-in, an unknown name, a value out of range or of the wrong kind
// and a file that is not JSON are refused on one line.
TEST(PlayTest, RenderRefusesABadPresetOnOneLine) {
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {R"({"plugin": "ABCD", "values": {}})",
         "the preset is for plug-in \"ABCD\", not for Quellix Shine"},
        {R"({"plugin": "QX01", "values": {"Glow": 1}})", "unknown parameter \"Glow\""},
        {R"({"plugin": "QX01", "values": {"Size": 2}})",
         "\"Size\" takes values from 0 to 1, got 2"},
        {R"({"plugin": "QX01", "values": {"Size": "big"}})", "\"Size\" takes a number"},
        {R"({"plugin": "QX01", "values": {"Size": 0.5,}})",
         "expected string literal at line 1, column 43"},
        // What JSON does not allow: signs and bare points in numbers, leading zeros, a high
        // surrogate without its low half, bytes that are not UTF-8.
        {R"({"plugin": "QX01", "values": {"Size": +1}})", "invalid literal; last read"},
        {R"({"plugin": "QX01", "values": {"Size": .5}})", "invalid literal; last read"},
        {R"({"plugin": "QX01", "values": {"Size": 01}})", "unexpected number literal"},
        {R"({"plugin": "QX01", "values": {"S\ud800\u0041": 1}})",
         "surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF"},
        {"{\"plugin\": \"QX01\", \"values\": {\"S\xff\": 1}}", "ill-formed UTF-8 byte"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFileWithMode(dir / "p.json", c.text, 0644);
        const HostRun run = RunHost(
            dir.Path(), {"render", kModulePath, "--preset", "p.json", "-n", "1", "--out", "r.png"});
        EXPECT_EQ(run.exitCode, 1);
        ASSERT_EQ(HostLines(run.err).size(), 1u) << run.err;
        const std::string line = HostLines(run.err)[0];
        EXPECT_EQ(line.rfind("ffgl-host: preset p.json: ", 0), 0u) << line;
        EXPECT_NE(line.find(c.line), std::string::npos) << line;
    }
}

}  // namespace
