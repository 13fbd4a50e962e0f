#pragma once

// The one way a step says it could not do what it was asked: a Refusal, whose kind a caller can
// act on and whose text is the operator's, in Italian, exactly as it is shown. Every step that
// may refuse returns a Result: the value, or the refusal.

#include <string>
#include <utility>
#include <variant>

namespace lcdprog::platform {

enum class RefusalKind {
    Missing,      // nothing at that name
    NotRegular,   // a folder, a FIFO, a device: not a file to read
    Unreadable,   // there, but it could not be opened or read
    TooLarge,     // over the size this program reads
    Invalid,      // read, but not what was asked for (a picture of another size, broken JSON)
    NewerFormat,  // written by a later version of the program
    Unwritable,   // could not be written
};

struct Refusal {
    RefusalKind kind = RefusalKind::Invalid;
    std::string text;
    bool operator==(const Refusal&) const = default;
};

// A value, or why there is none. Result<> is a step that gives nothing back but may refuse: it
// succeeds only by returning kDone, so that an empty `return {};` cannot slip through as a
// success. A result left unread is a refusal nobody hears, hence [[nodiscard]].
template <typename T = std::monostate>
class [[nodiscard]] Result {
  public:
    Result() = delete;
    Result(T value) : content_(std::move(value)) {}            // NOLINT: a value is a success
    Result(Refusal refusal) : content_(std::move(refusal)) {}  // NOLINT: so is a refusal

    bool Ok() const { return content_.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // Only when Ok().
    const T& Value() const { return std::get<0>(content_); }
    T& Value() { return std::get<0>(content_); }
    const T* operator->() const { return &Value(); }
    const T& operator*() const { return Value(); }

    // Only when !Ok().
    const Refusal& Why() const { return std::get<1>(content_); }
    // The operator's text of the refusal; "" when there is none.
    std::string Text() const { return Ok() ? std::string() : Why().text; }

  private:
    std::variant<T, Refusal> content_;
};

// The success of a Result<>.
inline constexpr std::monostate kDone{};

}  // namespace lcdprog::platform
