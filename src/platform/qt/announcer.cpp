#include "platform/qt/announcer.h"

#include <QAccessibleWidget>

namespace lcdprog::platform {
namespace {

// The announcer as a screen reader sees it: a notification named by the last sentence. The name
// is read from the announcer, not set on the widget: Qt would put every new name on the bus as a
// change of its own, a second message for a reader that speaks those.
class Notice final : public QAccessibleWidget {
  public:
    explicit Notice(Announcer* announcer)
        : QAccessibleWidget(announcer, QAccessible::Notification), announcer_(announcer) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? announcer_->Said() : QAccessibleWidget::text(t);
    }

  private:
    Announcer* announcer_;
};

QAccessibleInterface* Notice_Factory(const QString&, QObject* object) {
    auto* announcer = dynamic_cast<Announcer*>(object);
    return announcer != nullptr ? new Notice(announcer) : nullptr;
}

}  // namespace

Announcer::Announcer(QWidget* window) : QWidget(window) {
    // Installing the same factory again changes nothing.
    QAccessible::installFactory(Notice_Factory);
    setObjectName(QStringLiteral("ntf_Annuncio"));
    // One pixel in the corner, drawing nothing and taking no click: the window's own controls
    // already show the words.
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void Announcer::Say(const QString& text) {
    hide();
    said_ = text.trimmed();
    if (!said_.isEmpty() && parentWidget()->isVisible()) {
        show();
    }
}

}  // namespace lcdprog::platform
