// The event-pump throttle: long loops let pending events (a Cancel button) through at most
// about 30 times a second, however often they ask -- a pump per block or per file would
// cost more than the work itself.
#pragma once
#include <chrono>

namespace pvcommon {

class PumpThrottle {
public:
    static constexpr std::chrono::milliseconds kInterval{33};
    // True when events are due now (and the interval starts again), false otherwise.
    bool Due() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < kInterval) return false;
        last_ = now;
        return true;
    }
    // Makes the next Due() true.
    void Reset() { last_ = {}; }

private:
    std::chrono::steady_clock::time_point last_{};
};

} // namespace pvcommon
