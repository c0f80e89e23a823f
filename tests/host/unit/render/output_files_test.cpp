// Outputs appear under their final names only when complete, and vanish on failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lib/host_error.h"
#include "lib/io/pending_file.h"
#include "lib/render/last_frame_sink.h"
#include "lib/render/png_sequence_sink.h"

namespace {

namespace fs = std::filesystem;
using ffglhost::Image;

class OutputFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("ffgl-host-out-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            names.push_back(fs::relative(entry.path(), root_).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string At(const std::string& name) const { return (root_ / name).string(); }

    fs::path root_;
};

TEST_F(OutputFiles, PendingFileIsHiddenUntilCommittedAndRemovedOtherwise) {
    {
        ffglhost::PendingFile file(At("kept.txt"));
        std::ofstream(file.TemporaryPath()) << "done";
        EXPECT_EQ(fs::path(file.TemporaryPath()).parent_path(), root_);
        EXPECT_FALSE(fs::exists(At("kept.txt")));
        file.Commit();
    }
    {
        ffglhost::PendingFile file(At("new/dirs/dropped.txt"));
        std::ofstream(file.TemporaryPath()) << "half";
        EXPECT_TRUE(fs::exists(file.TemporaryPath()));
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"kept.txt"});
    // The extension stays last, for tools that choose a format by it.
    EXPECT_EQ(fs::path(ffglhost::PendingFile(At("a.mp4")).TemporaryPath()).extension(), ".mp4");
}

TEST_F(OutputFiles, UnfinishedSequenceRemovesItsFramesAndTheDirectoriesItMade) {
    std::ofstream(At("old.txt")) << "not ours";
    {
        ffglhost::PngSequenceSink sink(At("a/b/frames"), 3);
        sink.Write(Image(4, 4), 0);
        sink.Write(Image(4, 4), 1);
        EXPECT_TRUE(fs::exists(At("a/b/frames/frame_0001.png")));
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"old.txt"});
}

TEST_F(OutputFiles, SequenceInAnExistingDirectoryKeepsWhatWasThere) {
    fs::create_directories(At("frames"));
    std::ofstream(At("frames/notes.txt")) << "keep me";
    {
        ffglhost::PngSequenceSink sink(At("frames"), 20000);  // five digits
        sink.Write(Image(2, 2), 0);
        EXPECT_EQ(sink.FrameName(12345), "frame_12345.png");
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"frames", "frames/notes.txt"}));
    {
        ffglhost::PngSequenceSink sink(At("frames"), 2);
        sink.Write(Image(2, 2), 0);
        sink.Write(Image(2, 2), 1);
        sink.Finish();
        sink.Commit();
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"frames", "frames/frame_0000.png",
                                                   "frames/frame_0001.png", "frames/notes.txt"}));
}

TEST_F(OutputFiles, LastFrameAppearsOnlyOnCommit) {
    {
        ffglhost::LastFrameSink sink(At("last.png"));
        sink.Write(Image(2, 2), 0);
        sink.Finish();
        EXPECT_FALSE(fs::exists(At("last.png")));
    }
    EXPECT_TRUE(Entries().empty());
    ffglhost::LastFrameSink empty(At("none.png"));
    EXPECT_THROW(empty.Finish(), ffglhost::HostError);
}

TEST_F(OutputFiles, UnwritableDirectoryIsAHostError) {
    std::ofstream(At("file")) << "x";
    EXPECT_THROW(ffglhost::PngSequenceSink(At("file/frames"), 1), ffglhost::HostError);
    EXPECT_THROW(ffglhost::PendingFile(At("file/sub/x.png")), ffglhost::HostError);
    EXPECT_EQ(Entries(), std::vector<std::string>{"file"});
}

}  // namespace
