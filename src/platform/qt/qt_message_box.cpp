#include "platform/qt/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <cstdio>

namespace lcdprog::platform {

// Qt's own texts for the detail button, in Italian even where Qt's translations are not
// installed: the button is the only way to the reason, so it must read like the rest.
class QtMessageBox::DetailButtonTexts final : public QTranslator {
  public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        (void)disambiguation;
        (void)n;
        if (qstrcmp(context, "QMessageBox") != 0) {
            return {};
        }
        if (qstrcmp(source, "Show Details...") == 0) {
            return QStringLiteral("Mostra dettagli...");
        }
        if (qstrcmp(source, "Hide Details...") == 0) {
            return QStringLiteral("Nascondi dettagli...");
        }
        return {};
    }
};

QtMessageBox::QtMessageBox(QWidget* parent) : parent_(parent) {}

QtMessageBox::~QtMessageBox() {
    if (detailTexts_ != nullptr) {
        QCoreApplication::removeTranslator(detailTexts_.get());
    }
}

void QtMessageBox::Show(const std::string& text, const std::string& title, MessageIcon icon) {
    ShowDetailed(text, title, icon, {});
}

void QtMessageBox::ShowDetailed(const std::string& text, const std::string& title, MessageIcon icon,
                                const std::string& detail) {
    QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
    // The texts use CR LF line ends; a label shows a lone CR as a box, so only LF is kept.
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning,
                    QString::fromStdString(title), body, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if (!detail.empty()) {
        // Installed at the first box that needs it: installing tells every window the language
        // changed, which a program that never shows a detail should not go through.
        if (detailTexts_ == nullptr) {
            detailTexts_ = std::make_unique<DetailButtonTexts>();
            QCoreApplication::installTranslator(detailTexts_.get());
        }
        box.setDetailedText(QString::fromStdString(detail));
    }
    // The same words on standard error: a box on a display nobody is looking at (a remote
    // session, a kiosk, an offscreen smoke test) still leaves them where they can be read.
    std::fprintf(stderr, "lcdprog: %s: %s%s%s\n", title.c_str(), body.toLocal8Bit().constData(),
                 detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stderr);
    box.exec();
}

SaveChoice QtMessageBox::AskSave(const std::string& text, const std::string& title) {
    QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* save = box.addButton(QStringLiteral("Salva"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("Non salvare"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (box.clickedButton() == save) {
        return SaveChoice::Save;
    }
    return box.clickedButton() == discard ? SaveChoice::Discard : SaveChoice::Cancel;
}

bool QtMessageBox::AskTwo(const std::string& text, const std::string& title,
                          const std::string& first, const std::string& second) {
    QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = box.addButton(QString::fromStdString(first), QMessageBox::AcceptRole);
    QPushButton* no = box.addButton(QString::fromStdString(second), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == yes;
}

std::size_t QtMessageBox::AskChoice(const std::string& text, const std::string& title,
                                    const std::vector<std::string>& choices) {
    QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    std::vector<QPushButton*> buttons;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const bool last = i + 1 == choices.size();
        buttons.push_back(box.addButton(QString::fromStdString(choices[i]),
                                        last ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
    }
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons.back());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) {
            return i;
        }
    }
    return choices.size() - 1;
}

}  // namespace lcdprog::platform
