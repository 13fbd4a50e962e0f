#pragma once

#include <string>

namespace lcdprog::platform {

enum class MessageIcon { Critical, Exclamation };

// A modal message box with one OK button; returns when the operator has closed it.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};

}  // namespace lcdprog::platform
