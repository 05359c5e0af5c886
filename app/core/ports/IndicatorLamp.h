#pragma once

namespace rollmode::core {

// An indicator lamp: state 0, 1, 2 shows red, yellow, green. Set from a worker thread.
class IndicatorLamp {
public:
    virtual ~IndicatorLamp() = default;
    virtual void SetState(int state) = 0;
};

}  // namespace rollmode::core
