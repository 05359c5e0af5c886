#pragma once

namespace rollmode::core {

// A value label that the core drives from any thread (record size, live voltages).
class ValueSink {
public:
    virtual ~ValueSink() = default;
    virtual double MainValue() const = 0;
    virtual void SetMainValue(double value) = 0;
};

}  // namespace rollmode::core
