#include "platform/qt/layout.h"

#include <QGroupBox>

#include "platform/qt/accessibility.h"
#include "platform/qt/twips.h"

namespace lcdprog::platform {

void Place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
}

QGroupBox* Frame(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                 int width, int height) {
    auto* frame = new QGroupBox(caption, parent);
    Place(frame, left, top, width, height);
    Name_Control(frame, name, caption, QString());
    return frame;
}

}  // namespace lcdprog::platform
