#pragma once

#include <QString>

class QGroupBox;
class QWidget;

namespace lcdprog::platform {

// Both windows are drawn in twips (left, top, width, height inside the container).
void Place(QWidget* w, int left, int top, int width, int height);

// A frame with its caption, placed in twips and named for screen readers by its caption.
QGroupBox* Frame(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                 int width, int height);

}  // namespace lcdprog::platform
