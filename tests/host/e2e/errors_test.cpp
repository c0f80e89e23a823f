// Every failure a user can meet gives one line naming the problem, a non-zero exit
// code, and leaves no output behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "host/support/host_run.h"

namespace {

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class HostErrors : public ::testing::Test {
  protected:
    // Runs render with `arguments` after "render PLUGIN" and checks the common promise:
    // exit code 1, one "ffgl-host: " line on standard error containing `message`, and
    // no files in the directory but `keep`.
    void ExpectFailure(const std::string& plugin, const std::vector<std::string>& arguments,
                       const std::string& message, const std::vector<std::string>& keep = {},
                       const std::vector<std::string>& environment = {}) {
        std::vector<std::string> all = {"render", plugin};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const HostRun run = RunHost(dir_.Path(), all, environment);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const size_t line = run.err.find("ffgl-host: ");
        ASSERT_NE(line, std::string::npos) << run.err;
        const std::string error = run.err.substr(line);
        EXPECT_EQ(error.find('\n'), error.size() - 1) << "one line: " << error;
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(dir_.Files(), keep);
    }

    TempDir dir_;
};

TEST_F(HostErrors, PluginFileNotFound) {
    ExpectFailure(dir_ / "missing.so", {"--out", "frames"}, "plug-in not found");
}

TEST_F(HostErrors, PluginIsNotASharedLibrary) {
    WriteFile(dir_ / "fake.so", "this is text, not a library\n");
    ExpectFailure(dir_ / "fake.so", {"--out", "frames"}, "not a shared library", {"fake.so"});
}

TEST_F(HostErrors, LibraryWithoutPlugMain) {
    ExpectFailure(kNoEntryLibraryPath, {"--out", "frames"}, "no plugMain");
}

TEST_F(HostErrors, PluginRefusesToInstantiateAndItsLogIsQuoted) {
    ExpectFailure(kRefusingPluginPath, {"--out", "frames", "--sheet", "sheet.png"},
                  "the plug-in refused to instantiate (plug-in log: Refuser: no licence key "
                  "found)");
}

TEST_F(HostErrors, UnknownParameterNameListsTheValidOnes) {
    ExpectFailure(kModulePath, {"--set", "Brightness=1", "--out", "frames"},
                  "unknown parameter \"Brightness\"; valid names: \"Flare X\", \"Flare Y\", "
                  "\"Intensity\", \"Size\", \"Auto Move\", \"Strobe\"");
}

TEST_F(HostErrors, ParameterValueThatIsNotANumber) {
    ExpectFailure(kModulePath, {"--set", "Intensity=bright", "--out", "frames"},
                  "parameter \"Intensity\" needs a number, got \"bright\"");
    ExpectFailure(kModulePath, {"--set", "Size=0.5x", "--out", "frames"}, "needs a number");
}

TEST_F(HostErrors, InputPictureThatCannotBeDecoded) {
    WriteFile(dir_ / "broken.png", "\x89PNG\r\n\x1a\n but the rest is not a PNG at all");
    ExpectFailure(kModulePath, {"--input", "broken.png", "--out", "frames"},
                  "cannot decode picture broken.png", {"broken.png"});
    WriteFile(dir_ / "words.jpg", "plain words");
    ExpectFailure(kModulePath, {"--input", "words.jpg", "--out", "frames"},
                  "cannot decode picture words.jpg: not a PNG or JPEG file",
                  {"broken.png", "words.jpg"});
}

TEST_F(HostErrors, InputFileNotFound) {
    ExpectFailure(kModulePath, {"--input", "nothing.png", "--out", "frames"},
                  "input not found: nothing.png");
}

TEST_F(HostErrors, FfmpegMissingForVideoOutputOrInput) {
    const std::vector<std::string> noPath = {"PATH=" + dir_.Path() + "/no-such-dir"};
    ExpectFailure(kModulePath, {"--out", "clip.mp4"},
                  "ffmpeg is needed to write clip.mp4 but is not on PATH (install the Debian "
                  "package ffmpeg)",
                  {}, noPath);
    WriteFile(dir_ / "clip.mov", "not really a video");
    ExpectFailure(kModulePath, {"--input", "clip.mov", "--out", "frames"},
                  "ffmpeg is needed to read clip.mov", {"clip.mov"}, noPath);
}

TEST_F(HostErrors, NoOpenGlContext) {
    // With no EGL vendor library to load, no context can be made.
    ExpectFailure(kModulePath, {"--out", "frames", "--sheet", "sheet.png"},
                  "no OpenGL 4.1 core context could be made through EGL (Mesa's EGL and "
                  "llvmpipe come with the Debian packages libegl1 libegl-mesa0 libgl1-mesa-dri)",
                  {}, {"__EGL_VENDOR_LIBRARY_FILENAMES=" + dir_.Path() + "/none.json"});
}

TEST_F(HostErrors, FfmpegFailingMidwayLeavesNoVideoAndNoFrames) {
    // An ffmpeg that reads a little and then fails, first on PATH.
    mkdir((dir_ / "bin").c_str(), 0777);
    WriteFile(dir_ / "bin/ffmpeg",
              "#!/bin/sh\nhead -c 1000 >/dev/null\necho 'disk on fire' >&2\nexit 1\n");
    chmod((dir_ / "bin/ffmpeg").c_str(), 0755);
    const char* path = std::getenv("PATH");
    ExpectFailure(kModulePath,
                  {"-n", "30", "--size", "64x36", "--out", "clip.mp4", "--sheet", "sheet.png"},
                  "disk on fire", {"bin/ffmpeg"},
                  {"PATH=" + dir_.Path() + "/bin:" + (path != nullptr ? path : "/usr/bin:/bin")});
}

TEST_F(HostErrors, LateFailureRemovesTheFramesAlreadyWritten) {
    // The sheet can only be written at the end, and its directory is blocked by a file.
    WriteFile(dir_ / "blocker", "a file where a directory should be");
    ExpectFailure(
        kModulePath,
        {"-n", "3", "--size", "64x36", "--out", "out/frames", "--sheet", "blocker/sheet.png"},
        "cannot create directory", {"blocker"});
}

}  // namespace

namespace {

// A non-empty directory where a frame or the sheet must go cannot be replaced: the commit
// fails part-way, after other files were moved, and puts them back.
TEST(CommitFailures, PutBackWhatWasMovedAndNameTheFileAndTheReason) {
    for (const std::string blocker : {"frames/frame_0002.png", "sheet.png"}) {
        TempDir dir;
        mkdir((dir / "frames").c_str(), 0755);
        WriteFileWithMode(dir / "frames/frame_0000.png", "an earlier frame", 0640);
        WriteFileWithMode(dir / "frames/notes.txt", "keep me", 0600);
        mkdir((dir / blocker).c_str(), 0755);
        WriteFileWithMode(dir / (blocker + "/inside"), "in the way", 0644);
        const auto before = Snapshot(dir.Path());
        const HostRun run =
            RunHost(dir.Path(), {"render", kModulePath, "-q", "-n", "4", "--size", "32x18", "--out",
                                 "frames", "--sheet", "sheet.png"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(HostLines(run.err),
                  std::vector<std::string>{"ffgl-host: cannot write " + blocker +
                                           ": Is a directory; the files moved so far were put "
                                           "back and the outputs are as they were"});
        EXPECT_EQ(Snapshot(dir.Path()), before) << blocker;
    }
}

// Staged entries of a process that no longer exists are removed; others stay.
TEST(StagedLeftovers, OnlyThoseOfEndedRunsAreRemovedAndSaidOnOneLine) {
    TempDir dir;
    const std::string live = ".ffgl-host-" + std::to_string(getpid()) + "-sheet.png";
    const std::string dead = ".ffgl-host-999999999-";  // beyond any process id
    mkdir((dir / (dead + "frames")).c_str(), 0755);
    WriteFileWithMode(dir / (dead + "frames/frame_0000.png"), "half a run", 0644);
    WriteFileWithMode(dir / (dead + "sheet.png"), "half a sheet", 0644);
    WriteFileWithMode(dir / (dead + "sheet.png.replaced"), "what a commit replaced", 0644);
    WriteFileWithMode(dir / live, "a running run's", 0644);
    WriteFileWithMode(dir / ".ffgl-host-notes", "not staged", 0644);
    const HostRun run = RunHost(dir.Path(), {"render", kModulePath, "-q", "-n", "1", "--size",
                                             "32x18", "--out", "frames", "--sheet", "sheet.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(HostLines(run.err),
              std::vector<std::string>{"ffgl-host: removed 2 entries left by runs that ended "
                                       "without cleaning up: " +
                                       dead + "frames, " + dead + "sheet.png"});
    std::vector<std::string> kept = {dead + "sheet.png.replaced", live, ".ffgl-host-notes",
                                     "frames/frame_0000.png", "sheet.png"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(dir.Files(), kept);
}

}  // namespace
