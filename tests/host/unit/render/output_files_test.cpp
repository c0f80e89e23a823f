// Staged outputs: nothing of a run appears under a final name before Commit, a Discard
// leaves the folder exactly as it was, and sinks write only to their staged paths.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "lib/host_error.h"
#include "lib/io/staged_outputs.h"
#include "lib/render/last_frame_sink.h"
#include "lib/render/png_sequence_sink.h"

namespace {

namespace fs = std::filesystem;
using ffglhost::Image;
using ffglhost::StagedOutputs;

class OutputFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("ffgl-host-out-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Every entry with its permissions and content.
    std::map<std::string, std::string> State() const {
        std::map<std::string, std::string> state;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            std::string content = "dir";
            if (entry.is_regular_file()) {
                std::ifstream file(entry.path(), std::ios::binary);
                content.assign(std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>());
            }
            state[fs::relative(entry.path(), root_).string()] =
                std::to_string(static_cast<unsigned>(entry.status().permissions())) + ":" + content;
        }
        return state;
    }
    std::string At(const std::string& name) const { return (root_ / name).string(); }
    void Put(const std::string& name, const std::string& content, fs::perms mode) const {
        std::ofstream(At(name)) << content;
        fs::permissions(At(name), mode);
    }

    fs::path root_;
};

TEST_F(OutputFiles, DiscardLeavesTheFolderAsItWasAfterFramesWereWritten) {
    fs::create_directories(At("frames"));
    Put("frames/frame_0000.png", "earlier", fs::perms::owner_read | fs::perms::owner_write);
    Put("last.png", "earlier last", fs::perms::owner_all);
    const auto before = State();
    StagedOutputs outputs("t1");
    const auto& frames = outputs.Add(At("frames/"), true);
    EXPECT_EQ(frames.stagedPath, At(".ffgl-host-t1-frames"));
    outputs.Add(At("new/dirs/last.png"), false);
    outputs.Prepare();
    ffglhost::PngSequenceSink sink(outputs.Outputs()[0], 3);
    sink.Write(Image(2, 2), 0);
    sink.Write(Image(2, 2), 1);
    ffglhost::LastFrameSink last(outputs.Outputs()[1]);
    last.Write(Image(2, 2), 0);
    last.Finish();
    EXPECT_EQ(State().count("frames/frame_0001.png"), 0u) << "nothing final before Commit";
    outputs.Discard();
    EXPECT_EQ(State(), before);
}

TEST_F(OutputFiles, CommitMovesFramesBesideOthersAndReplacedFilesKeepTheirPermissions) {
    fs::create_directories(At("frames"));
    Put("frames/notes.txt", "keep me", fs::perms::owner_read | fs::perms::owner_write);
    Put("frames/frame_0000.png", "old", fs::perms::owner_read | fs::perms::owner_write);
    Put("last.png", "old", fs::perms::owner_all | fs::perms::group_read);
    StagedOutputs outputs("t2");
    outputs.Add(At("frames"), true);
    outputs.Add(At("last.png"), false);
    outputs.Add(At("fresh"), true);
    outputs.Prepare();
    std::ofstream(outputs.Outputs()[0].stagedPath + "/frame_0000.png") << "new";
    std::ofstream(outputs.Outputs()[1].stagedPath) << "new last";
    std::ofstream(outputs.Outputs()[2].stagedPath + "/frame_0000.png") << "fresh";
    outputs.Commit();
    const auto after = State();
    const std::string rw =
        std::to_string(static_cast<unsigned>(fs::perms::owner_read | fs::perms::owner_write));
    const std::string rwxr =
        std::to_string(static_cast<unsigned>(fs::perms::owner_all | fs::perms::group_read));
    EXPECT_EQ(after.at("frames/frame_0000.png"), rw + ":new");
    EXPECT_EQ(after.at("frames/notes.txt"), rw + ":keep me");
    EXPECT_EQ(after.at("last.png"), rwxr + ":new last");
    EXPECT_EQ(after.at("fresh/frame_0000.png").substr(after.at("fresh/frame_0000.png").find(':')),
              ":fresh");
    EXPECT_EQ(after.size(), 6u) << "no staging entries left";
}

TEST_F(OutputFiles, PrepareFailuresNameTheOutputAndTheReason) {
    Put("file", "x", fs::perms::owner_all);
    const std::pair<std::string, std::string> cases[] = {
        {"file", "cannot write " + At("file") + ": Not a directory"},
        {"file/sub/x.png", "cannot create directory " + At("file")},
    };
    for (const auto& [name, message] : cases) {
        StagedOutputs outputs("t3");
        outputs.Add(At(name), name == "file");
        try {
            outputs.Prepare();
            ADD_FAILURE() << name;
        } catch (const ffglhost::HostError& error) {
            EXPECT_EQ(std::string(error.what()).find(message), 0u) << error.what();
        }
        outputs.Discard();
    }
    EXPECT_EQ(State().size(), 1u);
}

TEST_F(OutputFiles, OlderFramesAfterAShorterRunAreCounted) {
    fs::create_directories(At("frames"));
    for (int i = 0; i < 5; ++i) {
        Put("frames/" + ffglhost::SequenceFrameName(i, 4), "x", fs::perms::owner_all);
    }
    EXPECT_EQ(
        ffglhost::OlderFramesNote(At("frames"), 2, 4),
        "3 older frames after frame_0001.png in " + At("frames") + " are left from an earlier run");
    EXPECT_EQ(ffglhost::OlderFramesNote(At("frames"), 5, 4), "");
    EXPECT_EQ(ffglhost::SequenceDigits(20000), 5);
    EXPECT_EQ(ffglhost::SequenceFrameName(12345, 5), "frame_12345.png");
}

TEST_F(OutputFiles, LastFrameSinkWithoutAFrameIsAHostError) {
    ffglhost::LastFrameSink empty({At("none.png"), At(".staged-none.png"), false});
    EXPECT_THROW(empty.Finish(), ffglhost::HostError);
}

}  // namespace
