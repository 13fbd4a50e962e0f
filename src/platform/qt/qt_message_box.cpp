#include "platform/qt/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace lcdprog::platform {

void QtMessageBox::Show(const std::string& text, const std::string& title, MessageIcon icon) {
    QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
    // The texts use CR LF line ends; a label shows a lone CR as a box, so only LF is kept.
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning,
                    QString::fromStdString(title), body, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace lcdprog::platform
