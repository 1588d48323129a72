// A control's binding to a program variable (the control "uses" the variable).
//
// Display reads the variable into the control as text; Update writes the control's text
// back. A binding may also check text before it is written: a typed text that the check
// refuses is never written, and the user is told the check's reason (stored text that
// cannot hold a character, runtime/text/stored_text.hpp). Numbers are read from their decimal text:
// blank or unreadable text is 0, and a value beyond the variable's range is held at the nearest end
// of it.
#pragma once

#include <charconv>
#include <concepts>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::runtime {

class Binding {
  public:
    Binding() = default;
    Binding(std::function<std::string()> read, std::function<void(std::string_view)> write)
        : read_(std::move(read)), write_(std::move(write)) {}

    explicit operator bool() const { return static_cast<bool>(read_); }
    std::string Read() const { return read_ ? read_() : std::string(); }
    void Write(std::string_view text) const {
        if (write_) write_(text);
    }
    bool Writable() const { return static_cast<bool>(write_); }

    // Nothing when `text` may be written, else why not.
    std::optional<std::string> Refusal(std::string_view text) const {
        return check_ ? check_(text) : std::nullopt;
    }
    // The same binding with a check of the texts written to it.
    Binding Checked(std::function<std::optional<std::string>(std::string_view)> check) && {
        check_ = std::move(check);
        return std::move(*this);
    }

  private:
    std::function<std::string()> read_;
    std::function<void(std::string_view)> write_;
    std::function<std::optional<std::string>(std::string_view)> check_;
};

// The number in `text` (leading and trailing blanks allowed), 0 when there is none.
long long ParseBoundNumber(std::string_view text);

inline Binding Use(std::string& variable) {
    return Binding([&variable] { return variable; },
                   [&variable](std::string_view text) { variable.assign(text); });
}

template <std::integral T>
Binding Use(T& variable) {
    return Binding([&variable] { return std::to_string(variable); },
                   [&variable](std::string_view text) {
                       long long v = ParseBoundNumber(text);
                       if constexpr (std::is_unsigned_v<T>) {
                           if (v < 0) v = 0;
                           if (static_cast<unsigned long long>(v) > std::numeric_limits<T>::max())
                               v = static_cast<long long>(std::numeric_limits<T>::max());
                       } else {
                           if (v < std::numeric_limits<T>::min()) v = std::numeric_limits<T>::min();
                           if (v > std::numeric_limits<T>::max()) v = std::numeric_limits<T>::max();
                       }
                       variable = static_cast<T>(v);
                   });
}

// Text fields of record buffers and other types: through a reader and a writer.
inline Binding Use(std::function<std::string()> read, std::function<void(std::string_view)> write) {
    return Binding(std::move(read), std::move(write));
}

// A variable that is only shown, never written from the control.
inline Binding Show(std::function<std::string()> read) {
    return Binding(std::move(read), {});
}

}  // namespace zelt::runtime
