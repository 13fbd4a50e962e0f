#include "platform/qt/qt_controls.h"

#include <QColor>
#include <QLineEdit>
#include <QProgressBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>

namespace lcdprog::platform {
namespace {

// CR LF, a lone CR and a lone LF each become one paragraph break. `afterCr` says whether the
// text this piece continues ended with CR, whose LF then belongs to a break already made.
QString Render(const std::string& text, bool afterCr) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    bool previousCr = afterCr;
    for (const char c : text) {
        if (c == '\n' && previousCr) {
            previousCr = false;
            continue;
        }
        previousCr = c == '\r';
        out.append(c == '\r' || c == '\n'
                       ? QChar(u'\n')
                       : QChar(static_cast<char16_t>(static_cast<unsigned char>(c))));
    }
    return out;
}

}  // namespace

std::string QtTextControl::Text() const {
    return edit_.text().toStdString();
}

void QtTextControl::SetText(const std::string& text) {
    edit_.setText(QString::fromStdString(text));
}

void QtRichTextControl::SetText(const std::string& text) {
    if (!text_.empty() && text.size() >= text_.size() &&
        text.compare(0, text_.size(), text_) == 0) {
        Append(text.substr(text_.size()), text_.back() == '\r');
        text_ = text;
        return;
    }
    text_ = text;
    edit_.clear();
    Append(text, false);
}

void QtRichTextControl::Append(const std::string& suffix, bool afterCr) {
    if (suffix.empty()) {
        return;
    }
    QTextCursor cursor(edit_.document());
    cursor.movePosition(QTextCursor::End);
    // A plain format: the new text must not inherit the colour of the text before it.
    cursor.insertText(Render(suffix, afterCr), QTextCharFormat());
}

void QtRichTextControl::SetSelStart(int start) {
    selStart_ = std::clamp(start, 0, static_cast<int>(text_.size()));
}

void QtRichTextControl::SetSelLength(int length) {
    selLength_ = std::max(length, 0);
}

int QtRichTextControl::Document_Position(int pos) const {
    pos = std::clamp(pos, 0, static_cast<int>(text_.size()));
    int doc = 0;
    for (int i = 0; i < pos; ++i) {
        const bool lfOfCrLf = text_[static_cast<std::size_t>(i)] == '\n' && i > 0 &&
                              text_[static_cast<std::size_t>(i - 1)] == '\r';
        if (!lfOfCrLf) {
            ++doc;
        }
    }
    return doc;
}

void QtRichTextControl::SetSelColor(std::uint32_t rgb) {
    const int start = Document_Position(selStart_);
    const int end =
        Document_Position(selStart_ + std::min(selLength_, static_cast<int>(text_.size())));
    if (end <= start) {
        return;
    }
    QTextCursor cursor(edit_.document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setForeground(QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFFu)));
    cursor.mergeCharFormat(format);
}

void QtProgressControl::SetValue(int value) {
    bar_.setValue(std::clamp(value, bar_.minimum(), bar_.maximum()));
}

int QtProgressControl::Value() const {
    return bar_.value();
}

}  // namespace lcdprog::platform
