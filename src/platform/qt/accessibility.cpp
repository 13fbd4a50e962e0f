#include "platform/qt/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>
#include <QWidget>

namespace lcdprog::platform {
namespace {

const char kRoleProperty[] = "lcdprogAccessibleRole";

// Qt asks each factory for each class of an object, most derived first; this one answers for the
// windows named here, the first time it is asked.
QAccessibleInterface* Role_Factory(const QString& className, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (w == nullptr || className != QLatin1String(object->metaObject()->className())) {
        return nullptr;
    }
    const QVariant role = w->property(kRoleProperty);
    return role.isValid() ? new QAccessibleWidget(w, static_cast<QAccessible::Role>(role.toInt()))
                          : nullptr;
}

}  // namespace

void Name_Control(QWidget* w, const QString& objectName, const QString& accessibleName,
                  const QString& description) {
    if (w == nullptr) {
        return;
    }
    w->setObjectName(objectName);
    // A caption such as "&Esci" carries an access-key marker that a screen reader must not spell,
    // and "Stop " a blank it would pause on.
    QString spoken = accessibleName;
    spoken.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    spoken.remove(QLatin1Char('&'));
    spoken.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    spoken = spoken.trimmed();
    // A label with text is read as its text, whatever it says by then (a status line changes
    // all the time): an accessible name would freeze the first one.
    const auto* label = qobject_cast<const QLabel*>(w);
    if (label == nullptr || !(spoken.isEmpty() || spoken == label->text().trimmed())) {
        Set_Spoken_Name(w, spoken);
    }
    if (!description.isEmpty()) {
        w->setToolTip(description);
    }
    if (w->accessibleDescription() != description) {
        w->setAccessibleDescription(description);
    }
}

void Set_Spoken_Name(QWidget* w, const QString& name) {
    if (w != nullptr && w->accessibleName() != name) {
        w->setAccessibleName(name);
    }
}

void Name_Window(QWidget* window, const QString& objectName) {
    // Installing the same factory again changes nothing.
    QAccessible::installFactory(Role_Factory);
    window->setProperty(kRoleProperty, static_cast<int>(QAccessible::Window));
    window->setObjectName(objectName);
}

void Pass_Focus(QWidget* from, QWidget* to) {
    if (from != nullptr && to != nullptr && from->hasFocus() && to->isEnabled()) {
        to->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace lcdprog::platform
