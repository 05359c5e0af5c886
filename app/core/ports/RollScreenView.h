#pragma once
#include <cstdint>

namespace rollmode::core {

// Something the flow manager can show or hide (a screen, the "Display off" label).
// Called on the user-interface thread.
class ShowableControl {
public:
    virtual ~ShowableControl() = default;
    virtual void SetShown(bool shown) = 0;
};

// A roll screen as the data flow sees it.
class RollScreenView : public ShowableControl {
public:
    // Processing thread: fold and draw `count` stream words; the block is valid only
    // during the call.
    virtual void ProcessBlock(const uint16_t* words, uint32_t count) = 0;
    // User-interface thread: reset at acquisition start, and clear on request.
    virtual void PrepareDisplay() = 0;
    virtual void ClearDisplay() = 0;
};

}  // namespace rollmode::core
