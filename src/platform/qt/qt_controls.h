#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <cstddef>
#include <functional>
#include <vector>

#include "platform/controls.h"

class QLineEdit;
class QProgressBar;
class QTextEdit;

namespace lcdprog::platform {

// Brings a widget up to date with its adapter's model at most once per interval. A run changes
// the trace and the progress bar about 190 times a second; laying out and repainting the widget
// at that rate cost more CPU than the whole exchange and delayed the next packet, while the
// operator cannot follow more than about ten frames a second. So a change that comes when the
// last apply is at least an interval old is applied at once (a single action of the operator
// shows immediately), and later changes within the interval are gathered and applied together
// by a single-shot timer when the interval ends.
class CoalescedApply {
  public:
    static constexpr int kIntervalMs = 100;

    explicit CoalescedApply(std::function<void()> apply);
    // The model changed: apply now or at the end of the current interval.
    void Changed();
    // Applies a pending change now.
    void Flush();

  private:
    std::function<void()> apply_;
    QTimer timer_;
    QElapsedTimer lastApply_;
    bool pending_ = false;
};

// A one-line text box (the packet counters, which change twice per packet during a run).
// Text() is the model, always exact; the box follows it through CoalescedApply.
class QtTextControl final : public TextControl {
  public:
    explicit QtTextControl(QLineEdit& edit);
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;

    // Shows the model now.
    void Flush() { apply_.Flush(); }

  private:
    QLineEdit& edit_;
    std::string text_;
    CoalescedApply apply_;
};

// The trace box. The link works with a whole text that holds CR LF line ends and with
// selections counted in characters of that text; a QTextDocument turns both CR and LF into
// paragraph breaks, so the adapter keeps the link's text and maps positions onto the document
// (one paragraph break per CR LF). The trace is ASCII; each byte is one character (Latin-1).
//
// Text() is the model, always exact. The QTextEdit follows it through CoalescedApply: a text
// that extends the shown one is appended (so the cost of a traced reply does not grow with the
// trace and the colours already given stay), any other text replaces it, and the colours set
// since the last apply are laid over it in the order they were given.
class QtRichTextControl final : public RichTextControl {
  public:
    explicit QtRichTextControl(QTextEdit& edit);
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;
    void SetSelStart(int start) override;
    void SetSelLength(int length) override;
    void SetSelColor(std::uint32_t rgb) override;

    // Document position of character `pos` of Text().
    int Document_Position(int pos) const;

    // Shows the model now, e.g. at the end of a run.
    void Flush() { apply_.Flush(); }

  private:
    struct ColourRun {
        int start;  // document positions
        int end;
        std::uint32_t rgb;
    };

    void Apply();

    QTextEdit& edit_;
    std::string text_;
    int selStart_ = 0;
    int selLength_ = 0;
    // What the widget still lacks: a replacement of its whole text (or only the part of text_
    // past shownLength_) and the colours given since the last apply.
    bool replacePending_ = false;
    std::size_t shownLength_ = 0;
    std::vector<ColourRun> pendingColours_;
    CoalescedApply apply_;
};

// The progress bar; values outside its range are clamped to it. Value() is the model; the bar
// follows it through CoalescedApply.
class QtProgressControl final : public ProgressControl {
  public:
    explicit QtProgressControl(QProgressBar& bar);
    void SetValue(int value) override;
    int Value() const override { return value_; }

    // Shows the model now.
    void Flush() { apply_.Flush(); }

  private:
    void Apply();

    QProgressBar& bar_;
    int value_;
    CoalescedApply apply_;
};

}  // namespace lcdprog::platform
