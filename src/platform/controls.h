#pragma once

#include <cstdint>
#include <string>

namespace lcdprog::platform {

// The few operations the link needs of the serial window's controls.
class TextControl {
  public:
    virtual ~TextControl() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

// The trace box: whole text, a selection (in characters) and the selection's colour.
class RichTextControl : public TextControl {
  public:
    virtual void SetSelStart(int start) = 0;
    virtual void SetSelLength(int length) = 0;
    // 0xRRGGBB
    virtual void SetSelColor(std::uint32_t rgb) = 0;
};

class ProgressControl {
  public:
    virtual ~ProgressControl() = default;
    virtual void SetValue(int value) = 0;
    virtual int Value() const = 0;
};

}  // namespace lcdprog::platform
