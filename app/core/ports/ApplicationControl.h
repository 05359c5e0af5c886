#pragma once

namespace rollmode::core {

// The core's way to ask the program to end (the user declined to go on).
class ApplicationControl {
public:
    virtual ~ApplicationControl() = default;
    virtual void RequestTerminate() = 0;
};

}  // namespace rollmode::core
