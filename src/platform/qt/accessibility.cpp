#include "platform/qt/accessibility.h"

#include <QWidget>

namespace lcdprog::platform {

void Name_Control(QWidget* w, const QString& objectName, const QString& accessibleName,
                  const QString& description) {
    if (w == nullptr)
        return;
    w->setObjectName(objectName);
    // A caption such as "&Esci" carries an access-key marker that a screen reader must not spell.
    QString spoken = accessibleName;
    spoken.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    spoken.remove(QLatin1Char('&'));
    spoken.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    w->setAccessibleName(spoken);
    w->setAccessibleDescription(description.isEmpty() ? objectName : description);
}

}  // namespace lcdprog::platform
