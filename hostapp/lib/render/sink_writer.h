// Feeds a sink from its own thread, so that encoding and file writing overlap with
// rendering. Frames travel through a bounded queue; their buffers are handed back for
// reuse.
#ifndef FFGLHOST_SINK_WRITER_H
#define FFGLHOST_SINK_WRITER_H

#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "bounded_queue.h"
#include "frame_sink.h"

namespace ffglhost {

class SinkWriter {
  public:
    SinkWriter(FrameSink& sink, size_t queueCapacity);
    // Stops the thread; frames still queued are dropped. The sink is not finished.
    ~SinkWriter();
    SinkWriter(const SinkWriter&) = delete;
    SinkWriter& operator=(const SinkWriter&) = delete;

    // A buffer for the next frame: one the writer is done with, or a new one.
    Image TakeBuffer();
    // Queues a frame, waiting while the queue is full. Throws the sink's error if
    // writing an earlier frame failed.
    void Push(Image frame);
    // Waits until every queued frame is written, then finishes the sink.
    // Throws the sink's error.
    void Finish();

  private:
    void Run();
    void RethrowFailure();

    FrameSink& sink_;
    BoundedQueue<Image> queue_;
    std::mutex mutex_;  // guards spare_ and failure_
    std::vector<Image> spare_;
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_SINK_WRITER_H
