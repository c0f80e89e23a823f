#include "call_monitor.h"

#include <chrono>

#include "ffgl/abi.h"

namespace ffglhost {

namespace {

CallRecord localRecord;
CallRecord* published = &localRecord;

}  // namespace

void PublishCallsTo(CallRecord* record) {
    published = record != nullptr ? record : &localRecord;
}

CallRecord& PublishedCalls() {
    return *published;
}

int64_t MonotonicMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

CallScope::CallScope(uint32_t code) {
    published->code.store(code);
    published->startedMs.store(MonotonicMs());
    published->inCall.store(1);
    published->sequence.fetch_add(1);
}

CallScope::~CallScope() {
    published->inCall.store(0);
}

std::string DescribeCall(uint32_t code) {
    switch (code) {
        case kNoCall:
            return "outside any plug-in call";
        case kLoadingLibrary:
            return "while its library was loading";
        case kUnloadingLibrary:
            return "while its library was unloading";
        case kSettingLogCallback:
            return "in SetLogCallback";
        default:
            break;
    }
    const FFFunctionInfo* info = FindFunction(code);
    return "in function code " + std::to_string(code) +
           (info != nullptr ? std::string(" (") + info->name + ")" : "");
}

}  // namespace ffglhost
