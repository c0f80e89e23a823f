// The writer thread between the frame loop and a sink.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "lib/host_error.h"
#include "lib/render/sink_writer.h"

namespace {

using ffglhost::HostError;
using ffglhost::Image;

// Records what reaches it; can be told to fail at a given frame, and to be slow.
class RecordingSink : public ffglhost::FrameSink {
  public:
    explicit RecordingSink(uint64_t failAt = UINT64_MAX, int delayMs = 0)
        : failAt_(failAt), delayMs_(delayMs) {}
    void Write(const Image& frame, uint64_t index) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
        if (index == failAt_) {
            throw HostError("disk full");
        }
        marks.push_back(frame.rgba.at(0));
        indices.push_back(index);
    }
    void Finish() override { ++finished; }
    std::string Describe() const override { return ""; }

    std::vector<uint8_t> marks;
    std::vector<uint64_t> indices;
    int finished = 0;

  private:
    uint64_t failAt_;
    int delayMs_;
};

Image Marked(uint8_t mark) {
    Image image(2, 2);
    image.rgba[0] = mark;
    return image;
}

TEST(SinkWriter, DeliversEveryFrameInOrderThenFinishes) {
    RecordingSink sink(UINT64_MAX, 1);
    {
        ffglhost::SinkWriter writer(sink, 2);
        for (uint8_t i = 0; i < 20; ++i) {
            writer.Push(Marked(i));
        }
        writer.Finish();
    }
    ASSERT_EQ(sink.marks.size(), 20u);
    for (uint8_t i = 0; i < 20; ++i) {
        EXPECT_EQ(sink.marks[i], i);
        EXPECT_EQ(sink.indices[i], i);
    }
    EXPECT_EQ(sink.finished, 1);
}

TEST(SinkWriter, HandsBackBuffersOnceWritten) {
    RecordingSink sink;
    ffglhost::SinkWriter writer(sink, 4);
    EXPECT_TRUE(writer.TakeBuffer().rgba.empty());  // nothing written yet
    writer.Push(Marked(1));
    Image spare;
    for (int tries = 0; tries < 1000 && spare.rgba.empty(); ++tries) {
        spare = writer.TakeBuffer();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(spare.rgba.size(), 16u);
    writer.Finish();
}

TEST(SinkWriter, ASinkFailureReachesTheProducerAndTheSinkIsNotFinished) {
    RecordingSink sink(3);
    ffglhost::SinkWriter writer(sink, 2);
    bool thrown = false;
    try {
        for (uint8_t i = 0; i < 100; ++i) {
            writer.Push(Marked(i));
        }
        writer.Finish();
    } catch (const HostError& error) {
        thrown = true;
        EXPECT_STREQ(error.what(), "disk full");
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(sink.marks.size(), 3u);
    EXPECT_EQ(sink.finished, 0);
}

TEST(SinkWriter, DestroyingAnUnfinishedWriterDoesNotWaitForTheQueue) {
    RecordingSink sink(UINT64_MAX, 50);
    const auto started = std::chrono::steady_clock::now();
    {
        ffglhost::SinkWriter writer(sink, 8);
        for (uint8_t i = 0; i < 8; ++i) {
            writer.Push(Marked(i));
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 0.3);  // writing all eight would take 0.4 s
    EXPECT_LT(sink.marks.size(), 8u);
    EXPECT_EQ(sink.finished, 0);
}

}  // namespace
