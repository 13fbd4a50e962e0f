#include "platform/qt/qt_controls.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <string_view>
#include <utility>

namespace lcdprog::platform {
namespace {

// CR LF, a lone CR and a lone LF each become one paragraph break. `afterCr` says whether the
// text this piece continues ended with CR, whose LF then belongs to a break already made.
QString Render(std::string_view text, bool afterCr) {
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

// The shared apply when one is given, otherwise one of the control's own.
CoalescedApply& Shared_Or_Own(CoalescedApply* together, std::unique_ptr<CoalescedApply>& own) {
    if (together != nullptr) {
        return *together;
    }
    own = std::make_unique<CoalescedApply>();
    return *own;
}

}  // namespace

CoalescedApply::CoalescedApply(Clock* clock) : clock_(clock != nullptr ? *clock : steady_) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Flush(); });
}

void CoalescedApply::Add(std::function<void()> apply) {
    applies_.push_back(std::move(apply));
}

void CoalescedApply::Changed() {
    pending_ = true;
    if (timer_.isActive()) {
        return;  // an apply is already due at the end of this interval
    }
    const qint64 since = lastApply_ ? qint64{clock_.Milliseconds() - *lastApply_} : kIntervalMs;
    if (since >= kIntervalMs) {
        Flush();
        return;
    }
    timer_.start(static_cast<int>(kIntervalMs - since));
}

void CoalescedApply::Flush() {
    timer_.stop();
    if (!pending_) {
        return;
    }
    pending_ = false;
    lastApply_ = clock_.Milliseconds();
    for (const auto& apply : applies_) {
        apply();
    }
}

QtTextControl::QtTextControl(QLineEdit& edit, CoalescedApply* together)
    : edit_(edit), text_(edit.text().toStdString()), apply_(Shared_Or_Own(together, own_)) {
    apply_.Add([this] {
        if (changed_) {
            changed_ = false;
            edit_.setText(QString::fromStdString(text_));
        }
    });
}

void QtTextControl::SetText(const std::string& text) {
    text_ = text;
    changed_ = true;
    apply_.Changed();
}

QtLabelControl::QtLabelControl(QLabel& label, CoalescedApply& together)
    : label_(label), text_(label.text().toStdString()), apply_(together) {
    apply_.Add([this] {
        const QString text = QString::fromStdString(text_);
        if (label_.text() != text) {
            label_.setText(text);
            label_.setToolTip(text);
            label_.setAccessibleDescription(text);
        }
    });
}

void QtLabelControl::SetText(const std::string& text) {
    if (text != text_) {
        text_ = text;
        apply_.Changed();
    }
}

QtRichTextControl::QtRichTextControl(QTextEdit& edit, CoalescedApply* together)
    : edit_(edit), apply_(Shared_Or_Own(together, own_)) {
    apply_.Add([this] { Apply(); });
}

void QtRichTextControl::SetText(const std::string& text) {
    if (!text_.empty() && text.size() >= text_.size() &&
        text.compare(0, text_.size(), text_) == 0) {
        if (text.size() > text_.size()) {
            text_ = text;
            apply_.Changed();
        }
        return;
    }
    // A replacement drops every colour, those not shown yet included.
    text_ = text;
    replacePending_ = true;
    shownLength_ = 0;
    pendingColours_.clear();
    apply_.Changed();
}

void QtRichTextControl::Apply() {
    if (replacePending_) {
        edit_.clear();
        replacePending_ = false;
    }
    if (shownLength_ < text_.size()) {
        const bool afterCr = shownLength_ > 0 && text_[shownLength_ - 1] == '\r';
        QTextCursor cursor(edit_.document());
        cursor.movePosition(QTextCursor::End);
        // A plain format: the new text must not inherit the colour of the text before it.
        cursor.insertText(Render(std::string_view(text_).substr(shownLength_), afterCr),
                          QTextCharFormat());
        shownLength_ = text_.size();
    }
    for (const ColourRun& run : pendingColours_) {
        QTextCursor cursor(edit_.document());
        cursor.setPosition(run.start);
        cursor.setPosition(run.end, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setForeground(QColor::fromRgb(static_cast<QRgb>(run.rgb & 0xFFFFFFu)));
        cursor.mergeCharFormat(format);
    }
    pendingColours_.clear();
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
    // The text only grows until the next replacement, which empties this list, so positions
    // taken now are still right when they are applied. The same range coloured again keeps one
    // entry, so the list stays as short as the colours that can differ.
    if (!pendingColours_.empty() && pendingColours_.back().start == start &&
        pendingColours_.back().end == end) {
        pendingColours_.back().rgb = rgb;
    } else {
        pendingColours_.push_back({start, end, rgb});
    }
    apply_.Changed();
}

QtProgressControl::QtProgressControl(QProgressBar& bar, CoalescedApply* together)
    : bar_(bar), value_(bar.value()), apply_(Shared_Or_Own(together, own_)) {
    apply_.Add([this] { Apply(); });
}

void QtProgressControl::SetValue(int value) {
    value_ = std::clamp(value, bar_.minimum(), bar_.maximum());
    changed_ = true;
    apply_.Changed();
}

void QtProgressControl::Apply() {
    if (!changed_) {
        return;
    }
    changed_ = false;
    // QProgressBar::setValue repaints at once whenever its percentage changes. With updates
    // off, the new value only marks the bar dirty, and the event pump paints it with the rest of
    // the window in a later pass instead of, say, before the next packet.
    const bool updates = bar_.updatesEnabled();
    bar_.setUpdatesEnabled(false);
    bar_.setValue(value_);
    bar_.setUpdatesEnabled(updates);
}

}  // namespace lcdprog::platform
