#pragma once

#include "platform/controls.h"

class QLineEdit;
class QProgressBar;
class QTextEdit;

namespace lcdprog::platform {

// A one-line text box (the packet counters).
class QtTextControl final : public TextControl {
  public:
    explicit QtTextControl(QLineEdit& edit) : edit_(edit) {}
    std::string Text() const override;
    void SetText(const std::string& text) override;

  private:
    QLineEdit& edit_;
};

// The trace box. The link works with a whole text that holds CR LF line ends and with
// selections counted in characters of that text; a QTextDocument turns both CR and LF into
// paragraph breaks, so the adapter keeps the link's text and maps positions onto the document
// (one paragraph break per CR LF). The trace is ASCII; each byte is one character (Latin-1).
//
// Setting a text that extends the current one appends only the new part, so that the cost of a
// traced reply does not grow with the trace and the colours already given stay.
class QtRichTextControl final : public RichTextControl {
  public:
    explicit QtRichTextControl(QTextEdit& edit) : edit_(edit) {}
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;
    void SetSelStart(int start) override;
    void SetSelLength(int length) override;
    void SetSelColor(std::uint32_t rgb) override;

    // Document position of character `pos` of Text().
    int Document_Position(int pos) const;

  private:
    void Append(const std::string& suffix, bool afterCr);

    QTextEdit& edit_;
    std::string text_;
    int selStart_ = 0;
    int selLength_ = 0;
};

// The progress bar; values outside its range are clamped to it.
class QtProgressControl final : public ProgressControl {
  public:
    explicit QtProgressControl(QProgressBar& bar) : bar_(bar) {}
    void SetValue(int value) override;
    int Value() const override;

  private:
    QProgressBar& bar_;
};

}  // namespace lcdprog::platform
