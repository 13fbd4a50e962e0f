#pragma once

// Listens as a screen reader on Linux does: every accessibility event the program raises is
// taken as Qt 6.4's AT-SPI bridge puts it on the bus, with the object's role and name as a reader
// asks for them right after. What a reader speaks of it is Orca's rule: a notification shown is
// spoken wherever the focus is; a focus change speaks the new control.

#include <QAccessible>
#include <string>
#include <vector>

namespace lcdprog::test {

class ScreenReader {
  public:
    struct Event {
        QAccessible::Event type;
        const void* object;  // the accessible object, to tell two of the same name apart
        std::string id;      // its AccessibleId ("" for a grid's cell)
        QAccessible::Role role;
        std::string name;
    };

    ScreenReader();
    ~ScreenReader();
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    // Every notification shown, by what it said.
    std::vector<std::string> Announced() const;
    // The controls the focus came to, by AccessibleId.
    std::vector<std::string> Focused() const;
    // "id: name" of every name change that told the name the object already had.
    std::vector<std::string> Repeated_Names() const;
    const std::vector<Event>& Events() const { return events_; }
    // Forgets what was heard; the control that has the focus is remembered.
    void Clear();

    void Hear(QAccessibleEvent* event);

  private:
    std::vector<Event> events_;
    std::string focusBefore_;  // where the focus was when the events were last cleared
    QAccessible::UpdateHandler previous_;
    bool wasActive_;
};

}  // namespace lcdprog::test
