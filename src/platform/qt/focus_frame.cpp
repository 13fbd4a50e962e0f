#include "platform/qt/focus_frame.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace lcdprog::platform {
namespace {

class FocusFrame final : public QWidget {
  public:
    explicit FocusFrame(QWidget* box) : QWidget(box) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(box->rect());
        hide();
        box->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
                setGeometry(parentWidget()->rect());
                show();
                raise();
                break;
            case QEvent::FocusOut:
                hide();
                break;
            case QEvent::Resize:
                setGeometry(parentWidget()->rect());
                break;
            default:
                break;
        }
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QPen pen(palette().color(QPalette::Highlight));
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};

}  // namespace

void Add_Focus_Frame(QWidget* box) {
    if (box != nullptr) {
        new FocusFrame(box);
    }
}

}  // namespace lcdprog::platform
