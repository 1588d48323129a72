// Fixed-width text fields of record buffers and globals.
//
// `FixedString<N>` is N bytes padded with blanks (a STRING field); `FixedCString<N>` is N
// bytes holding zero-terminated text (a CSTRING field). Both are plain byte arrays, so they
// can sit inside packed records with the exact stored layout.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zelt::runtime {

// Text without its trailing blanks (and without anything from the first zero byte on).
inline std::string_view ClipText(std::string_view text) {
    const auto zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

template <std::size_t N>
struct FixedString {
    char bytes[N];

    FixedString() { Clear(); }
    FixedString(std::string_view text) { Assign(text); }  // NOLINT: reads like the declaration
    FixedString& operator=(std::string_view text) {
        Assign(text);
        return *this;
    }

    // Copies `text`, cutting it at N bytes and padding it with blanks.
    void Assign(std::string_view text) {
        const std::size_t n = std::min(text.size(), N);
        std::copy_n(text.data(), n, bytes);
        std::fill(bytes + n, bytes + N, ' ');
    }
    void Clear() { std::fill(bytes, bytes + N, ' '); }

    std::string_view View() const { return {bytes, N}; }
    std::string Clip() const { return std::string(ClipText(View())); }
    std::span<char> Span() { return {bytes, N}; }
    static constexpr std::size_t Size() { return N; }

    friend bool operator==(const FixedString& a, const FixedString& b) {
        return a.View() == b.View();
    }
};

template <std::size_t N>
struct FixedCString {
    char bytes[N];

    FixedCString() { Clear(); }
    FixedCString(std::string_view text) { Assign(text); }  // NOLINT
    FixedCString& operator=(std::string_view text) {
        Assign(text);
        return *this;
    }

    // Copies `text`, cut so that its terminating zero still fits.
    void Assign(std::string_view text) {
        const std::size_t n = std::min(text.size(), N - 1);
        std::copy_n(text.data(), n, bytes);
        std::fill(bytes + n, bytes + N, '\0');
    }
    void Clear() { std::fill(bytes, bytes + N, '\0'); }

    std::string_view View() const {
        return {bytes, static_cast<std::size_t>(std::find(bytes, bytes + N, '\0') - bytes)};
    }
    std::string Str() const { return std::string(View()); }
    std::span<char> Span() { return {bytes, N}; }
    static constexpr std::size_t Size() { return N; }
};

}  // namespace zelt::runtime
