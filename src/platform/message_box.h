#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lcdprog::platform {

enum class MessageIcon { Critical, Exclamation };

// The answers to "save the changes first?".
enum class SaveChoice { Save, Discard, Cancel };

// A modal message box with one OK button; returns when the operator has closed it.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    // The same box with `detail` behind its "Mostra dettagli..." button: the reason of a refusal
    // whose message must stay as it is. A box with no room for it shows the text alone.
    virtual void ShowDetailed(const std::string& text, const std::string& title, MessageIcon icon,
                              const std::string& detail) {
        (void)detail;
        Show(text, title, icon);
    }
    // Asks with the three buttons "Salva", "Non salvare" and "Annulla" (Escape: Annulla). A box
    // that cannot ask anyone (a program without windows) answers Discard.
    virtual SaveChoice AskSave(const std::string& text, const std::string& title) {
        (void)text;
        (void)title;
        return SaveChoice::Discard;
    }
    // Asks with two buttons, `first` the default and `second` the one Escape presses; true for
    // `first`. A box that cannot ask anyone answers `second`, which always changes nothing.
    virtual bool AskTwo(const std::string& text, const std::string& title, const std::string& first,
                        const std::string& second) {
        (void)text;
        (void)title;
        (void)first;
        (void)second;
        return false;
    }
    // Asks with the buttons `choices` (two or more), the first the default and the last the one
    // Escape presses; the index of the one pressed. A box that cannot ask anyone answers the
    // last, which always changes nothing.
    virtual std::size_t AskChoice(const std::string& text, const std::string& title,
                                  const std::vector<std::string>& choices) {
        (void)text;
        (void)title;
        return choices.size() - 1;
    }
};

// Where nobody can close a box (the command line, the preview's compile), its texts are kept in
// order, for the caller to report in its own place.
class KeptMessages final : public MessageBox {
  public:
    void Show(const std::string& text, const std::string&, MessageIcon) override {
        texts.push_back(text);
    }
    void ShowDetailed(const std::string& text, const std::string&, MessageIcon,
                      const std::string& detail) override {
        texts.push_back(detail.empty() ? text : text + ": " + detail);
    }
    std::string Joined(const std::string& separator) const {
        std::string joined;
        for (const std::string& text : texts) {
            joined += (joined.empty() ? "" : separator) + text;
        }
        return joined;
    }
    std::vector<std::string> texts;
};

}  // namespace lcdprog::platform
