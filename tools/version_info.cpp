#include "tools/version_info.h"

#include <algorithm>
#include <array>
#include <string>

#include "tools/byte_fields.h"

namespace tesmo::tools {

namespace {

// A String's length field counts bytes in 16 bits; this leaves room for its key and header.
constexpr std::size_t kMaximumTextLength = 32000;
constexpr std::uint16_t kTextType = 1;
constexpr std::uint16_t kBinaryType = 0;
constexpr char16_t kStringTableKey[] = u"000004b0";  // language neutral, UTF-16
constexpr std::uint32_t kTranslation = 0x04B00000;   // language 0x0000, code page 1200

using Numbers = std::array<std::uint16_t, 4>;

// Missing numbers are 0; the text is known to be valid.
Numbers versionNumbers(std::string_view text) {
    Numbers numbers{};
    std::size_t index = 0;
    for (char c : text) {
        if (c == '.') {
            ++index;
        } else if (index < numbers.size()) {
            numbers[index] = static_cast<std::uint16_t>(numbers[index] * 10 + (c - '0'));
        }
    }
    return numbers;
}

std::string versionNumberFault(std::string_view text) {
    std::string shown = "\"" + std::string(text) + "\"";
    std::size_t count = 0;
    for (std::size_t start = 0; start <= text.size(); ++count) {
        std::size_t end = std::min(text.find('.', start), text.size());
        std::string_view part = text.substr(start, end - start);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos) {
            return shown + " is not numbers separated by dots, such as \"2.4.1.0\"";
        }
        if (part.size() > 5 || std::stoul(std::string(part)) > 0xFFFF) {
            return shown + " holds " + std::string(part) + "; each number is at most 65535";
        }
        start = end + 1;
    }
    if (count > 4) return shown + " has " + std::to_string(count) + " numbers; at most four";
    return {};
}

void appendText(std::string& out, WideView text) {
    for (char16_t c : text) appendLittleEndian(out, c, 2);
    appendLittleEndian(out, 0, 2);
}

void padToFour(std::string& out) {
    out.resize((out.size() + 3) / 4 * 4, '\0');
}

// One block of the resource: length, value length, type, key, value, then the children,
// each starting on a four-byte boundary. A length past 16 bits sets `tooLong`.
std::string block(WideView key, std::string_view value, std::size_t valueLength, std::uint16_t type,
                  const std::vector<std::string>& children, bool& tooLong) {
    std::string out(2, '\0');
    appendLittleEndian(out, valueLength, 2);
    appendLittleEndian(out, type, 2);
    appendText(out, key);
    padToFour(out);
    out += value;
    for (const std::string& child : children) {
        padToFour(out);
        out += child;
    }
    tooLong = tooLong || out.size() > 0xFFFF;
    out[0] = static_cast<char>(out.size() & 0xFF);
    out[1] = static_cast<char>((out.size() >> 8) & 0xFF);
    return out;
}

std::string fixedFileInfo(const VersionInfo& info) {
    auto numbers = [&](const char* setting) {
        auto found = info.texts.find(setting);
        return found == info.texts.end() ? Numbers{} : versionNumbers(toUtf8(found->second));
    };
    std::string out;
    appendLittleEndian(out, 0xFEEF04BD, 4);  // signature
    appendLittleEndian(out, 0x00010000, 4);  // structure version 1.0
    for (const Numbers& version : {numbers("file-version"), numbers("product-version")}) {
        appendLittleEndian(out, (std::uint32_t{version[0]} << 16) | version[1], 4);
        appendLittleEndian(out, (std::uint32_t{version[2]} << 16) | version[3], 4);
    }
    appendLittleEndian(out, 0x3F, 4);     // every flag is meaningful ...
    appendLittleEndian(out, 0, 4);        // ... and none is set
    appendLittleEndian(out, 0x40004, 4);  // VOS_NT_WINDOWS32
    appendLittleEndian(out, 1, 4);        // VFT_APP
    out.append(12, '\0');                 // subtype and date
    return out;
}

struct Block {
    WideString key;
    std::string_view value;
    std::vector<std::string_view> children;
};

// `textValue`: the value length counts UTF-16 units rather than bytes.
std::optional<Block> parseBlock(std::string_view bytes, bool textValue) {
    if (bytes.size() < 6) return std::nullopt;
    std::size_t length = littleEndianAt(bytes, 0, 2);
    std::size_t valueSize = littleEndianAt(bytes, 2, 2) * (textValue ? 2 : 1);
    if (length < 6 || length > bytes.size()) return std::nullopt;
    Block parsed;
    std::size_t at = 6;
    for (; at + 2 <= length && littleEndianAt(bytes, at, 2) != 0; at += 2) {
        parsed.key.push_back(static_cast<char16_t>(littleEndianAt(bytes, at, 2)));
    }
    at = (at + 2 + 3) / 4 * 4;
    if (at + valueSize > length) return std::nullopt;
    parsed.value = bytes.substr(at, valueSize);
    for (at = (at + valueSize + 3) / 4 * 4; at + 6 <= length;) {
        std::size_t childLength = littleEndianAt(bytes, at, 2);
        if (childLength < 6 || at + childLength > length) return std::nullopt;
        parsed.children.push_back(bytes.substr(at, childLength));
        at = (at + childLength + 3) / 4 * 4;
    }
    return parsed;
}

// The strings of every string table, by their names in the table.
std::optional<std::map<WideString, WideString>> stringTables(const Block& root) {
    std::map<WideString, WideString> strings;
    for (std::string_view child : root.children) {
        std::optional<Block> fileInfo = parseBlock(child, false);
        if (!fileInfo) return std::nullopt;
        if (fileInfo->key != u"StringFileInfo") continue;
        for (std::string_view tableBytes : fileInfo->children) {
            std::optional<Block> table = parseBlock(tableBytes, false);
            if (!table) return std::nullopt;
            for (std::string_view stringBytes : table->children) {
                std::optional<Block> string = parseBlock(stringBytes, true);
                if (!string || string->value.size() < 2) return std::nullopt;
                WideString text;
                for (std::size_t at = 0; at + 2 < string->value.size(); at += 2) {
                    text.push_back(static_cast<char16_t>(littleEndianAt(string->value, at, 2)));
                }
                strings[string->key] = std::move(text);
            }
        }
    }
    return strings;
}

}  // namespace

const std::vector<VersionString>& versionStrings() {
    static const std::vector<VersionString> strings = {
        {"company", u"CompanyName", false},
        {"description", u"FileDescription", false},
        {"file-version", u"FileVersion", true},
        {"internal-name", u"InternalName", false},
        {"copyright", u"LegalCopyright", false},
        {"trademarks", u"LegalTrademarks", false},
        {"original-filename", u"OriginalFilename", false},
        {"product-name", u"ProductName", false},
        {"product-version", u"ProductVersion", true},
        {"comments", u"Comments", false},
    };
    return strings;
}

const VersionString* versionStringBySetting(std::string_view setting) {
    for (const VersionString& string : versionStrings()) {
        if (setting == string.setting) return &string;
    }
    return nullptr;
}

std::string versionTextFault(const VersionString& string, WideView text) {
    if (text.find(u'\0') != WideView::npos) {
        return "holds a NUL character, which would end the text for Windows";
    }
    if (text.size() > kMaximumTextLength) {
        return "is " + std::to_string(text.size()) + " UTF-16 units long; a version resource " +
               "holds at most " + std::to_string(kMaximumTextLength);
    }
    return string.number ? versionNumberFault(toUtf8(text)) : std::string();
}

std::string versionResource(const VersionInfo& info, std::string& error) {
    bool tooLong = false;
    std::vector<std::string> strings;
    for (const VersionString& string : versionStrings()) {
        auto found = info.texts.find(string.setting);
        if (found == info.texts.end()) continue;
        std::string value;
        appendText(value, found->second);
        strings.push_back(
            block(string.name, value, found->second.size() + 1, kTextType, {}, tooLong));
    }
    std::string table = block(kStringTableKey, {}, 0, kTextType, strings, tooLong);
    std::string translation;
    appendLittleEndian(translation, kTranslation, 4);
    std::string var = block(u"Translation", translation, 4, kBinaryType, {}, tooLong);
    std::string fixed = fixedFileInfo(info);
    std::string resource = block(u"VS_VERSION_INFO", fixed, fixed.size(), kBinaryType,
                                 {block(u"StringFileInfo", {}, 0, kTextType, {table}, tooLong),
                                  block(u"VarFileInfo", {}, 0, kTextType, {var}, tooLong)},
                                 tooLong);
    if (!tooLong) return resource;
    error = "the texts together are too long for a version resource, whose lengths are 16 bits";
    return {};
}

std::optional<VersionInfo> readVersionResource(std::string_view resource) {
    std::optional<Block> root = parseBlock(resource, false);
    if (!root || root->key != u"VS_VERSION_INFO") return std::nullopt;
    std::optional<std::map<WideString, WideString>> strings = stringTables(*root);
    if (!strings) return std::nullopt;
    VersionInfo info;
    for (const VersionString& string : versionStrings()) {
        auto found = strings->find(string.name);
        if (found == strings->end()) continue;
        if (!versionTextFault(string, found->second).empty()) return std::nullopt;
        info.texts[string.setting] = found->second;
    }
    std::string error;
    if (versionResource(info, error) != resource) return std::nullopt;
    return info;
}

}  // namespace tesmo::tools
