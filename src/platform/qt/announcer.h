#pragma once

#include <QString>
#include <QWidget>

namespace lcdprog::platform {

// Says a sentence to whoever listens with a screen reader, wherever the focus is: the end of a
// run, a port opened, a refusal, an undone step. A window's status line or panel still shows the
// same words; this only makes them heard.
//
// How it is heard: Qt 6.4's bridge to AT-SPI (the bus Linux screen readers listen on) has no
// announcement of its own (QAccessible::Alert goes nowhere) and puts a name change on the bus
// with the object instead of the new name, which Orca 43 cannot speak; it does not report a
// label's text change at all unless the label has the focus. What Orca speaks from any window
// without the user moving is an object with the notification role becoming shown
// (object:state-changed:showing): "notifica, <its name>". So the announcer is a tiny widget of
// that role in its window, named by the sentence, hidden and shown again for each sentence (the
// same sentence twice is said twice). Nothing is said while its window is not on screen.
class Announcer final : public QWidget {
  public:
    explicit Announcer(QWidget* window);

    void Say(const QString& text);
    // The last sentence said (or that would have been, with the window hidden).
    QString Said() const { return said_; }

  private:
    QString said_;
};

}  // namespace lcdprog::platform
