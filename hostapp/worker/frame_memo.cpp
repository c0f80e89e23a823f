#include "frame_memo.h"

#include <cstring>

namespace ffglhost {

namespace {

size_t Bytes(const FrameKey& key) {
    return size_t{key.width} * key.height * 4;
}

}  // namespace

bool FrameMemo::Matches(const FrameKey& key, const uint8_t* input) const {
    return known_ && key.step == key_.step && key.width == key_.width &&
           key.height == key_.height && key.hasInput == key_.hasInput &&
           key.seconds == key_.seconds && key.valueChanges == key_.valueChanges &&
           (!key.hasInput || std::memcmp(input, input_.data(), Bytes(key)) == 0);
}

void FrameMemo::Remember(FrameKey key, const uint8_t* input) {
    input_.assign(input, input + (key.hasInput ? Bytes(key) : 0));
    key_ = std::move(key);
    known_ = true;
}

}  // namespace ffglhost
