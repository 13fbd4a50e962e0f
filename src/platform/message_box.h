#pragma once

#include <string>

namespace lcdprog::platform {

enum class MessageIcon { Critical, Exclamation };

// The answers to "save the changes first?".
enum class SaveChoice { Save, Discard, Cancel };

// A modal message box with one OK button; returns when the operator has closed it.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    // Asks with the three buttons "Salva", "Non salvare" and "Annulla" (Escape: Annulla). A box
    // that cannot ask anyone (a program without windows) answers Discard.
    virtual SaveChoice AskSave(const std::string& text, const std::string& title) {
        (void)text;
        (void)title;
        return SaveChoice::Discard;
    }
};

}  // namespace lcdprog::platform
