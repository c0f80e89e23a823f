// Which plug-in call is in flight, published in a record that another process (the
// supervisor of a worker) can read: the call's function code and when it started. A
// crash is then reported against the call that caused it, and a call that never returns
// is noticed.
#ifndef FFGLHOST_CALL_MONITOR_H
#define FFGLHOST_CALL_MONITOR_H

#include <atomic>
#include <cstdint>
#include <string>

namespace ffglhost {

// Codes for the moments the plug-in's own code runs outside plugMain.
constexpr uint32_t kNoCall = 0xFFFFFFFFu;
constexpr uint32_t kLoadingLibrary = 0xFFFF0000u;
constexpr uint32_t kUnloadingLibrary = 0xFFFF0001u;
constexpr uint32_t kSettingLogCallback = 0xFFFF0002u;

// Seconds one plug-in call may take unless --call-timeout says otherwise.
constexpr double kDefaultCallTimeoutSeconds = 10.0;

// Lock-free atomics, so the record works in memory shared between processes.
struct CallRecord {
    // The latest call made; it stays set after the call returns, while the host reads
    // the answer, until the next call.
    std::atomic<uint32_t> code{kNoCall};
    std::atomic<uint32_t> inCall{0};    // 1 while the plug-in's code runs
    std::atomic<int64_t> startedMs{0};  // CLOCK_MONOTONIC milliseconds at its start
    // Counts the calls started: a watcher that sees it move knows the plug-in is making
    // progress, by its own clock.
    std::atomic<uint32_t> sequence{0};
};

// Where calls are published from now on; null goes back to a record of this process.
void PublishCallsTo(CallRecord* record);
CallRecord& PublishedCalls();

// Milliseconds of the steady clock (CLOCK_MONOTONIC on Linux, the same in every process).
int64_t MonotonicMs();

// Marks a call of the plug-in for as long as it lives.
class CallScope {
  public:
    explicit CallScope(uint32_t code);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
};

// "function code 13 (extended information)", "loading the library", ...
std::string DescribeCall(uint32_t code);

}  // namespace ffglhost

#endif  // FFGLHOST_CALL_MONITOR_H
