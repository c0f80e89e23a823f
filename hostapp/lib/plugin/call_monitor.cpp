#include "call_monitor.h"

#include <chrono>

namespace ffglhost {

namespace {

CallRecord localRecord;
CallRecord* published = &localRecord;

const char* FunctionName(uint32_t code) {
    switch (code) {
        case 0:
            return "information";
        case 2:
            return "deinitialise";
        case 4:
            return "number of parameters";
        case 5:
            return "parameter name";
        case 6:
            return "parameter default";
        case 7:
            return "parameter display text";
        case 8:
            return "set parameter";
        case 9:
            return "get parameter";
        case 10:
            return "plug-in capability";
        case 13:
            return "extended information";
        case 15:
            return "parameter type";
        case 16:
            return "input status";
        case 17:
            return "process frame";
        case 18:
            return "instantiate";
        case 19:
            return "deinstantiate";
        case 20:
            return "set host time";
        case 21:
            return "connect";
        case 22:
            return "disconnect";
        case 23:
            return "resize";
        case 34:
            return "initialise";
        case 39:
            return "host information";
        case 40:
            return "audio sample rate";
        case 41:
            return "parameter range";
        case 42:
            return "thumbnail";
        default:
            return nullptr;
    }
}

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
    const char* name = FunctionName(code);
    return "in function code " + std::to_string(code) +
           (name ? std::string(" (") + name + ")" : "");
}

}  // namespace ffglhost
