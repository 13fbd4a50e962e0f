#pragma once

#include <QString>

class QWidget;

namespace lcdprog::platform {

// Gives a control the names tools and people use to find it: objectName (the program's own
// control name, which tests and scripts use and the accessibility bus hands out as the control's
// AccessibleId, never spoken), accessibleName (what a screen reader speaks: the caption or the
// label text, without its "&" and without the blanks a caption may carry at its ends) and
// accessibleDescription, which is the tool tip: `description` becomes both, and a control without
// one has neither (a screen reader speaks the description after the name).
// A label that shows text keeps no accessible name of its own: it is read as its text.
void Name_Control(QWidget* w, const QString& objectName, const QString& accessibleName,
                  const QString& description);

// Changes what a screen reader calls `w`, and tells it only when the name really changed: Qt
// announces every call, and a reader re-reads a focused control each time it hears one.
void Set_Spoken_Name(QWidget* w, const QString& name);

// A top-level widget that is a window of its own (not a dialog, not a QMainWindow) is presented
// as a window named by its title, as a main window is; Qt would present it as a nameless filler.
// Call first in the window's constructor, before anything asks Qt about the window: Qt keeps
// what it answered first.
void Name_Window(QWidget* window, const QString& objectName);

// When the keyboard focus is on `from`, which is about to be disabled, it goes to `to` first:
// Qt would otherwise walk it down the Tab chain, through each control about to be disabled too,
// and a screen reader would speak every one of them.
void Pass_Focus(QWidget* from, QWidget* to);

}  // namespace lcdprog::platform
