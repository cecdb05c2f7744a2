// printf-style formatting for the diagnostic log, typed and checked at compile time.
//
// In a narrow format "%s" takes narrow text and "%S" wide text; in a wide format the two
// swap. "%d"/"%i" take an int, "%u" an unsigned, "%I64d" a 64-bit integer, "%p" a pointer
// or handle, "%%" is a percent sign. A format whose placeholders do not match its
// arguments is a compile error, so a wrong placeholder can never read a stray argument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/text.h"

namespace tesmo {

enum class ArgKind { Int, Int64, Unsigned, Narrow, Wide, Pointer };

struct FormatArg {
    ArgKind kind;
    long long integer = 0;
    const void* pointer = nullptr;
    std::string_view narrow;
    WideView wide;

    FormatArg(int v) : kind(ArgKind::Int), integer(v) {}
    FormatArg(long v) : kind(ArgKind::Int), integer(v) {}
    FormatArg(long long v) : kind(ArgKind::Int64), integer(v) {}
    FormatArg(unsigned v) : kind(ArgKind::Unsigned), integer(v) {}
    FormatArg(unsigned long v) : kind(ArgKind::Unsigned), integer(static_cast<long long>(v)) {}
    FormatArg(unsigned long long v) : kind(ArgKind::Unsigned), integer(static_cast<long long>(v)) {}
    FormatArg(const char* s) : kind(ArgKind::Narrow), narrow(s ? s : "") {}
    FormatArg(const std::string& s) : kind(ArgKind::Narrow), narrow(s) {}
    FormatArg(std::string_view s) : kind(ArgKind::Narrow), narrow(s) {}
    FormatArg(const char16_t* s) : kind(ArgKind::Wide), wide(s ? s : u"") {}
    FormatArg(const WideString& s) : kind(ArgKind::Wide), wide(s) {}
    FormatArg(WideView s) : kind(ArgKind::Wide), wide(s) {}
    FormatArg(const void* p) : kind(ArgKind::Pointer), pointer(p) {}
};

template <typename T>
constexpr ArgKind argKindOf() {
    using U = std::remove_cv_t<std::remove_reference_t<T>>;
    if constexpr (std::is_same_v<U, long long>) {
        return ArgKind::Int64;
    } else if constexpr (std::is_same_v<U, unsigned> || std::is_same_v<U, unsigned long> ||
                         std::is_same_v<U, unsigned long long>) {
        return ArgKind::Unsigned;
    } else if constexpr (std::is_integral_v<U>) {
        return ArgKind::Int;
    } else if constexpr (std::is_convertible_v<U, std::string_view>) {
        return ArgKind::Narrow;
    } else if constexpr (std::is_convertible_v<U, WideView>) {
        return ArgKind::Wide;
    } else {
        static_assert(std::is_pointer_v<U>, "log arguments are integers, text or pointers");
        return ArgKind::Pointer;
    }
}

constexpr bool argumentFits(ArgKind want, ArgKind have) {
    bool small = have == ArgKind::Int || have == ArgKind::Unsigned;
    if (want == ArgKind::Int64) return small || have == ArgKind::Int64;
    if (want == ArgKind::Int || want == ArgKind::Unsigned) return small;
    return want == have;
}

// Walks a format and checks each placeholder against the expected kinds. Used in
// constant evaluation by the log and at run time by the formatter itself.
template <typename Char>
constexpr bool formatMatches(const Char* format, const ArgKind* kinds, std::size_t count,
                             bool wideFormat) {
    std::size_t used = 0;
    for (std::size_t i = 0; format[i] != 0; ++i) {
        if (format[i] != '%') continue;
        Char c = format[++i];
        ArgKind want;
        if (c == '%') {
            continue;
        } else if (c == 'd' || c == 'i') {
            want = ArgKind::Int;
        } else if (c == 'u') {
            want = ArgKind::Unsigned;
        } else if (c == 'p') {
            want = ArgKind::Pointer;
        } else if (c == 's') {
            want = wideFormat ? ArgKind::Wide : ArgKind::Narrow;
        } else if (c == 'S') {
            want = wideFormat ? ArgKind::Narrow : ArgKind::Wide;
        } else if (c == 'I' && format[i + 1] == '6' && format[i + 2] == '4' &&
                   format[i + 3] == 'd') {
            i += 3;
            want = ArgKind::Int64;
        } else {
            return false;
        }
        if (used >= count) return false;
        if (!argumentFits(want, kinds[used++])) return false;
    }
    return used == count;
}

// Not constexpr: reaching it while a format is checked at compile time is the error the
// compiler reports ("call to non-constexpr function ... logFormatDoesNotMatchArguments").
void logFormatDoesNotMatchArguments();

template <typename Char, typename... Args>
struct CheckedFormat {
    const Char* text;
    template <std::size_t N>
    consteval CheckedFormat(const Char (&literal)[N]) : text(literal) {
        constexpr ArgKind kinds[] = {argKindOf<Args>()..., ArgKind::Int};
        if (!formatMatches(literal, kinds, sizeof...(Args), std::is_same_v<Char, char16_t>)) {
            logFormatDoesNotMatchArguments();
        }
    }
};

template <typename... Args>
using NarrowFormat = CheckedFormat<char, std::type_identity_t<Args>...>;
template <typename... Args>
using WideFormat = CheckedFormat<char16_t, std::type_identity_t<Args>...>;

// Formats into narrow text (the code page of the file functions). An argument list
// that does not match the format gives "<bad format>" instead of reading past it.
std::string formatNarrow(const char* format, const FormatArg* args, std::size_t count);
WideString formatWide(const char16_t* format, const FormatArg* args, std::size_t count);

}  // namespace tesmo
