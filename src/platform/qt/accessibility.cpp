#include "platform/qt/accessibility.h"

#include <QEvent>
#include <QLabel>
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
    // A label with text is read as its text, whatever it says by then (a status line changes
    // all the time): an accessible name would freeze the first one.
    const auto* label = qobject_cast<const QLabel*>(w);
    if (label == nullptr || !(spoken.isEmpty() || spoken == label->text())) {
        w->setAccessibleName(spoken);
    }
    w->setAccessibleDescription(description.isEmpty() ? objectName : description);
}

namespace {

class TitleFollower final : public QObject {
  public:
    explicit TitleFollower(QWidget* window) : QObject(window) {
        window->setAccessibleName(window->windowTitle());
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) {
            auto* window = static_cast<QWidget*>(watched);
            window->setAccessibleName(window->windowTitle());
        }
        return false;
    }
};

}  // namespace

void Follow_Title(QWidget* window) {
    if (window != nullptr) {
        new TitleFollower(window);
    }
}

}  // namespace lcdprog::platform
