#pragma once

#include <string>

namespace fwu::window {

enum class MessageIcon { Critical, Warning };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// A modal message box over the window. Title and text are UTF-8. The default answer is the one
// Enter and Escape give.
struct MessageBoxRequest {
    MessageIcon icon = MessageIcon::Critical;
    std::string title;
    std::string text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageAnswer defaultAnswer = MessageAnswer::Ok;

    bool operator==(const MessageBoxRequest&) const = default;
};

}  // namespace fwu::window
