// Native builds have no Windows code page; Latin-1 stands in for it, so that the
// conversion rules (one byte per character, "?" for what cannot be represented) are the
// same ones the Windows build follows with the ANSI code page.
#include "platform/text.h"

namespace tesmo {

std::string toNarrow(WideView text, bool* defaultUsed) {
    std::string out;
    out.reserve(text.size());
    bool replaced = false;
    for (char16_t c : text) {
        if (c > 0xFF) {
            out.push_back('?');
            replaced = true;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    if (defaultUsed) *defaultUsed = replaced;
    return out;
}

WideString toWide(std::string_view text) {
    return widenBytes(text);
}

}  // namespace tesmo
