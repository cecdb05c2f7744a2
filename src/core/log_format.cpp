#include "core/log_format.h"

#include <cstdint>
#include <vector>

namespace tesmo {

namespace {

bool argumentsMatch(const auto* format, const FormatArg* args, std::size_t count, bool wide) {
    std::vector<ArgKind> kinds;
    kinds.reserve(count);
    for (std::size_t i = 0; i < count; ++i) kinds.push_back(args[i].kind);
    return formatMatches(format, kinds.data(), count, wide);
}

// By hand rather than through snprintf, whose formatting engine (floating point
// included) would be the launcher's only use of it.
std::string pointerText(const void* p) {
    auto value = reinterpret_cast<std::uintptr_t>(p);
    std::string text(sizeof(void*) * 2, '0');
    for (std::size_t i = text.size(); i-- > 0; value >>= 4)
        text[i] = "0123456789ABCDEF"[value & 15];
    return text;
}

std::string integerText(const FormatArg& arg, bool asUnsigned) {
    if (asUnsigned && arg.kind == ArgKind::Int) {
        return std::to_string(static_cast<unsigned>(arg.integer));
    }
    return std::to_string(arg.integer);
}

// One routine for both widths: `Out` is std::string or WideString; `append` converts
// an argument of the other width.
template <typename Char, typename Out>
Out format(const Char* fmt, const FormatArg* args, std::size_t count, bool wide) {
    Out out;
    if (!argumentsMatch(fmt, args, count, wide)) {
        for (char c : std::string_view("<bad format>")) out.push_back(static_cast<Char>(c));
        return out;
    }
    auto appendNarrow = [&](std::string_view s) {
        if constexpr (std::is_same_v<Out, std::string>) {
            out.append(s);
        } else {
            out.append(toWide(s));
        }
    };
    auto appendWide = [&](WideView s) {
        if constexpr (std::is_same_v<Out, std::string>) {
            out.append(toNarrow(s));
        } else {
            out.append(s);
        }
    };
    std::size_t used = 0;
    for (std::size_t i = 0; fmt[i] != 0; ++i) {
        Char c = fmt[i];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        c = fmt[++i];
        if (c == '%') {
            out.push_back(c);
            continue;
        }
        if (c == 'I') i += 3;
        const FormatArg& arg = args[used++];
        if (c == 'p') {
            appendNarrow(pointerText(arg.pointer));
        } else if (c == 's' || c == 'S') {
            if (arg.kind == ArgKind::Narrow) {
                appendNarrow(arg.narrow);
            } else {
                appendWide(arg.wide);
            }
        } else {
            appendNarrow(integerText(arg, c == 'u'));
        }
    }
    return out;
}

}  // namespace

std::string formatNarrow(const char* fmt, const FormatArg* args, std::size_t count) {
    return format<char, std::string>(fmt, args, count, false);
}

WideString formatWide(const char16_t* fmt, const FormatArg* args, std::size_t count) {
    return format<char16_t, WideString>(fmt, args, count, true);
}

}  // namespace tesmo
