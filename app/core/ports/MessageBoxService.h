#pragma once
// Modal message boxes as the core asks for them; the shell shows real ones,
// tests script the answers.
#include <string>

namespace rollmode::core {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { Error, Warning, Information, Confirmation };
enum class MsgResult { Ok, Cancel, Yes, No };

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows the box and returns the button pressed.
    virtual MsgResult Show(const std::string& text, MsgButtons buttons, MsgIcon icon) = 0;
};

}  // namespace rollmode::core
