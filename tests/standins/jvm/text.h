// Text forms a VM meets: class names and descriptors in modified UTF-8, Java strings in
// UTF-16, option strings as single bytes, and the UTF-8 of the record.
#pragma once

#include <string>
#include <string_view>

namespace standin::jvm {

// Unpaired surrogates cannot be written in UTF-8; they become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Malformed sequences become U+FFFD, one per offending byte.
std::u16string utf8ToUtf16(std::string_view text);

// The JVM's form: NUL as C0 80, supplementary characters as two encoded surrogates, no
// four-byte sequences (those become U+FFFD like any malformed byte).
std::u16string modifiedUtf8ToUtf16(std::string_view text);

// Every UTF-16 unit on its own, NUL as C0 80: the inverse of the above.
std::string utf16ToModifiedUtf8(std::u16string_view text);

// Whether a class file's Utf8 constant is well formed as the JVM checks it.
bool isModifiedUtf8(std::string_view text);

// Every byte is the code point of the same number.
std::u16string latin1ToUtf16(std::string_view bytes);

// "java/lang/String" <-> "java.lang.String".
std::string dottedName(std::string_view internalName);
std::string internalName(std::string_view dottedName);

}  // namespace standin::jvm
