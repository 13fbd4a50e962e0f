#pragma once

#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/controls.h"

class QLabel;
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
//
// Several widgets may share one: each apply then brings all of them up to date together, so the
// screen shows one moment of the run (never more packets received than sent, a bar ahead of the
// trace, ...).
class CoalescedApply {
  public:
    static constexpr int kIntervalMs = 100;

    // The interval is measured on `clock` (a test's virtual clock makes it exact), or on the
    // steady clock.
    explicit CoalescedApply(Clock* clock = nullptr);
    // One more widget to bring up to date at every apply, after those added before it. Each
    // apply must cost nothing when its widget already shows its model.
    void Add(std::function<void()> apply);
    // A model changed: apply now or at the end of the current interval.
    void Changed();
    // Applies a pending change now.
    void Flush();

  private:
    std::vector<std::function<void()>> applies_;
    QTimer timer_;
    SteadyClock steady_;
    Clock& clock_;
    std::optional<std::uint32_t> lastApply_;
    bool pending_ = false;
};

// A one-line text box (the packet counters, which change twice per packet during a run).
// Text() is the model, always exact; the box follows it through CoalescedApply.
// With `together`, the box is brought up to date with the other widgets sharing it.
class QtTextControl final : public TextControl {
  public:
    explicit QtTextControl(QLineEdit& edit, CoalescedApply* together = nullptr);
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;

    // Shows the model now.
    void Flush() { apply_.Flush(); }

  private:
    QLineEdit& edit_;
    std::string text_;
    bool changed_ = false;  // since the last apply
    std::unique_ptr<CoalescedApply> own_;
    CoalescedApply& apply_;
};

// A label that says what is going on (the serial window's status line): a text that may change
// hundreds of times a second during a run, shown with the rest of the run. Its tool tip holds the
// whole text, for when the label is too small for it.
class QtLabelControl final : public TextControl {
  public:
    QtLabelControl(QLabel& label, CoalescedApply& together);
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;

  private:
    QLabel& label_;
    std::string text_;
    CoalescedApply& apply_;
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
    explicit QtRichTextControl(QTextEdit& edit, CoalescedApply* together = nullptr);
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
    std::unique_ptr<CoalescedApply> own_;
    CoalescedApply& apply_;
};

// The progress bar; values outside its range are clamped to it. Value() is the model; the bar
// follows it through CoalescedApply.
class QtProgressControl final : public ProgressControl {
  public:
    explicit QtProgressControl(QProgressBar& bar, CoalescedApply* together = nullptr);
    void SetValue(int value) override;
    int Value() const override { return value_; }

    // Shows the model now.
    void Flush() { apply_.Flush(); }

  private:
    void Apply();

    QProgressBar& bar_;
    int value_;
    bool changed_ = false;  // since the last apply
    std::unique_ptr<CoalescedApply> own_;
    CoalescedApply& apply_;
};

}  // namespace lcdprog::platform
