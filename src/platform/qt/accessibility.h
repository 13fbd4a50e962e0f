#pragma once

#include <QString>

class QWidget;

namespace lcdprog::platform {

// Gives a control the three names tools and people use to find it: objectName (the program's
// own control name, used by tests and scripts), accessibleName (what a screen reader speaks:
// the caption or the label text) and accessibleDescription (the tool tip, or the control's
// name when it has none, so that no control is left undescribed).
void Name_Control(QWidget* w, const QString& objectName, const QString& accessibleName,
                  const QString& description);

}  // namespace lcdprog::platform
