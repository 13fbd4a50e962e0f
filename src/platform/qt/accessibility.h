#pragma once

#include <QString>

class QWidget;

namespace lcdprog::platform {

// Gives a control the three names tools and people use to find it: objectName (the program's
// own control name, used by tests and scripts), accessibleName (what a screen reader speaks:
// the caption or the label text) and accessibleDescription (the tool tip, or the control's
// name when it has none, so that no control is left undescribed).
// A label that shows text keeps no accessible name of its own: it is read as its text.
void Name_Control(QWidget* w, const QString& objectName, const QString& accessibleName,
                  const QString& description);

// The window's accessible name follows its title from now on, so that a screen reader says what
// the title bar shows (the project, the unsaved mark, a wait).
void Follow_Title(QWidget* window);

}  // namespace lcdprog::platform
