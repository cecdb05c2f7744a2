#include "tools/block_writer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <optional>

#include "config/block_reader.h"
#include "core/keys.h"
#include "core/settings.h"
#include "files/included_files.h"

namespace tesmo::tools {

namespace {

constexpr std::size_t kMaximumPrefixLength = 8;
constexpr std::string_view kBlanks = " \t";

std::string codePoint(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

std::string quoted(WideView text) {
    return "\"" + toUtf8(text) + "\"";
}

std::string quoted(std::string_view latin1) {
    return quoted(widenBytes(latin1));
}

// The character that starts at `at`, with a surrogate pair taken as one.
char32_t characterAt(WideView text, std::size_t at) {
    char32_t c = text[at];
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[at + 1] - 0xDC00);
    }
    return c;
}

// The first character above U+00FF, if any.
std::optional<char32_t> firstBeyondLatin1(WideView text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0xFF) return characterAt(text, i);
    }
    return std::nullopt;
}

std::string latin1(WideView text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) bytes.push_back(static_cast<char>(c <= 0xFF ? c : '?'));
    return bytes;
}

void putInt32(std::string& out, std::int32_t value) {
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

void putInt64(std::string& out, std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

void putCount(std::string& out, std::size_t count) {
    putInt32(out, static_cast<std::int32_t>(count));
}

void putNarrow(std::string& out, std::string_view bytes) {
    putCount(out, bytes.size());
    out.append(bytes);
}

void putWide(std::string& out, WideView text) {
    putCount(out, text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
}

void putWideRecords(std::string& out, const std::vector<WideRecord>& records) {
    putCount(out, records.size());
    for (const WideRecord& record : records) {
        putInt32(out, record.key);
        putWide(out, record.value);
    }
}

const NarrowRecord* lastNarrow(const BlockDescription& description, std::int32_t key) {
    const NarrowRecord* found = nullptr;
    for (const NarrowRecord& record : description.narrow) {
        if (record.key == key) found = &record;
    }
    return found;
}

std::string joinedNames(const std::vector<IncludedFile>& files) {
    std::string names;
    for (const IncludedFile& file : files) {
        if (!names.empty()) names.push_back(';');
        names += latin1(file.name);
    }
    return names;
}

void checkNarrowRecord(const NarrowRecord& record, std::vector<std::string>& errors) {
    const KeyInfo* info = findKey(record.key);
    std::size_t capacity = info ? info->capacity : kPathCapacity;
    std::string key = "key " + std::to_string(record.key) + ": ";
    if (record.value.size() > capacity - 1) {
        errors.push_back(key + "the value has " + std::to_string(record.value.size()) +
                         " characters, but the launcher reads at most " +
                         std::to_string(capacity - 1));
    }
    std::size_t nul = record.value.find('\0');
    if (nul != std::string::npos) {
        errors.push_back(key + "the value holds a NUL byte at offset " + std::to_string(nul) +
                         ", which would end it for the launcher");
    }
}

void checkWideRecords(const std::vector<WideRecord>& records, std::vector<std::string>& errors) {
    for (const WideRecord& record : records) {
        if (record.value.size() > INT32_MAX / 2) {
            errors.push_back("wide key " + std::to_string(record.key) +
                             ": the value is too long for a block");
        }
    }
}

bool isReservedDeviceName(WideView component) {
    WideString base(component.substr(0, component.find(u'.')));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    upperAscii(base);
    for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (base == ascii(name)) return true;
    }
    // COM and LPT take a digit or a superscript one, two or three.
    return base.size() == 4 && (startsWith(base, u"COM") || startsWith(base, u"LPT")) &&
           ((base[3] >= u'0' && base[3] <= u'9') || base[3] == 0xB9 || base[3] == 0xB2 ||
            base[3] == 0xB3);
}

// Why a single path component cannot be created on Windows, or an empty text.
std::string componentFault(WideView component) {
    if (component.empty()) return "has an empty path component";
    if (component == u"." || component == u"..") {
        return "uses \"" + toUtf8(component) + "\", but names stay inside the temporary directory";
    }
    for (std::size_t i = 0; i < component.size(); ++i) {
        char16_t c = component[i];
        if (c < 0x20 || std::u16string_view(u"<>:\"/|?*").find(c) != WideView::npos) {
            return "contains " + codePoint(c) + ", which Windows file names cannot hold";
        }
        if (c == u';') return "contains \";\", which separates the names in key 2003";
        if (c > 0xFF) {
            return "contains " + codePoint(characterAt(component, i)) +
                   ", which key 2003 (narrow text) cannot hold";
        }
    }
    if (component.back() == u'.' || component.back() == u' ') {
        return "has a component ending in a dot or a blank, which Windows drops";
    }
    if (isReservedDeviceName(component)) return "is a reserved Windows device name";
    return {};
}

}  // namespace

std::string includedFileNameFault(WideView name) {
    if (name.empty()) return "has an empty name";
    if (name[0] == u'\\' || name[0] == u'/') {
        return "starts with a slash, but names are relative to the temporary directory";
    }
    bool letter = (name[0] >= u'a' && name[0] <= u'z') || (name[0] >= u'A' && name[0] <= u'Z');
    if (letter && name.size() >= 2 && name[1] == u':') return "has a drive, but names are relative";
    std::vector<WideView> components;
    for (std::size_t start = 0;;) {
        std::size_t separator = name.find(u'\\', start);
        components.push_back(name.substr(start, separator - start));
        if (separator == WideView::npos) break;
        start = separator + 1;
    }
    if (components.size() > 2) return "has more than one directory level";
    for (WideView component : components) {
        std::string fault = componentFault(component);
        if (!fault.empty()) return fault;
    }
    return {};
}

namespace {

// Windows compares file names without regard to case.
WideString foldedName(WideView name) {
    WideString folded(name);
    for (char16_t& c : folded) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 0x20;
    }
    return folded;
}

void checkIncludedFiles(const BlockDescription& description, std::vector<std::string>& errors) {
    bool namesFitKey = true;
    std::map<WideString, const WideString*> seen;
    for (const IncludedFile& file : description.included) {
        std::string fault = includedFileNameFault(file.name);
        if (!fault.empty()) errors.push_back("included file " + quoted(file.name) + " " + fault);
        if (firstBeyondLatin1(file.name)) namesFitKey = false;
        auto [found, inserted] = seen.emplace(foldedName(file.name), &file.name);
        if (!inserted && !file.name.empty()) {
            errors.push_back("included file " + quoted(file.name) + " is already included as " +
                             quoted(*found->second));
        }
    }

    std::size_t count = description.included.size();
    if (const NarrowRecord* record = lastNarrow(description, kKeyIncludedFileCount)) {
        if (parseDecimal(record->value) < 0 ||
            static_cast<std::size_t>(parseDecimal(record->value)) != count) {
            errors.push_back("key 2002 counts " + quoted(record->value) + " included files, but " +
                             std::to_string(count) + " are given");
        }
    }
    std::string names = joinedNames(description.included);
    const NarrowRecord* record = lastNarrow(description, kKeyIncludedFileNames);
    if (record && namesFitKey && record->value != names) {
        errors.push_back("key 2003 lists " + quoted(record->value) +
                         ", but the included files are " + quoted(names) +
                         " (the same names in the same order)");
    }
}

std::uint64_t littleEndianAt(std::string_view bytes, std::uint64_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

std::vector<std::string> validateDescription(const BlockDescription& description) {
    std::vector<std::string> errors;
    for (const NarrowRecord& record : description.narrow) checkNarrowRecord(record, errors);
    checkWideRecords(description.wide, errors);
    for (const LocalizedSet& set : description.localized) {
        if (set.prefix.size() > kMaximumPrefixLength) {
            errors.push_back("localized set " + quoted(set.prefix) + ": the prefix has " +
                             std::to_string(set.prefix.size()) + " characters, at most " +
                             std::to_string(kMaximumPrefixLength) + " are allowed");
        }
        checkWideRecords(set.records, errors);
    }
    checkIncludedFiles(description, errors);
    return errors;
}

std::vector<std::string> validateStub(std::string_view stub) {
    if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z') {
        return {"the stub is not a Windows executable (no MZ header)"};
    }
    // The same arithmetic as the launcher's search for its block, on unsigned fields.
    std::uint64_t header = littleEndianAt(stub, 60, 4);
    if (header + 24 > stub.size() || stub.substr(header, 4) != std::string_view("PE\0\0", 4)) {
        return {"the stub is not a Windows executable (no PE header)"};
    }
    std::uint64_t sections = littleEndianAt(stub, header + 6, 2);
    std::uint64_t optionalSize = littleEndianAt(stub, header + 20, 2);
    if (sections == 0) return {"the stub has no sections"};
    std::uint64_t lastSection = header + 24 + optionalSize + 40 * (sections - 1);
    if (lastSection + 40 > stub.size()) return {"the stub's section table is cut off"};
    std::uint64_t imageEnd =
        littleEndianAt(stub, lastSection + 20, 4) + littleEndianAt(stub, lastSection + 16, 4);
    if (imageEnd != stub.size()) {
        std::string message = "the stub's last section ends at byte " + std::to_string(imageEnd) +
                              ", where the launcher looks for its settings, but the stub has " +
                              std::to_string(stub.size()) + " bytes";
        if (imageEnd + 4 <= stub.size() && littleEndianAt(stub, imageEnd, 4) == kBlockMagic) {
            message += " (it is a launcher already; start from the bare stub)";
        } else if (imageEnd < stub.size()) {
            message += " (strip its symbols or remove appended data)";
        }
        return {message};
    }
    return {};
}

BlockDescription withIncludedFileKeys(BlockDescription description) {
    if (description.included.empty()) return description;
    if (!lastNarrow(description, kKeyIncludedFileCount)) {
        description.narrow.push_back(
            {kKeyIncludedFileCount, std::to_string(description.included.size())});
    }
    if (!lastNarrow(description, kKeyIncludedFileNames)) {
        description.narrow.push_back({kKeyIncludedFileNames, joinedNames(description.included)});
    }
    return description;
}

std::string encodeBlock(const BlockDescription& description) {
    std::string out;
    putInt32(out, static_cast<std::int32_t>(kBlockMagic));
    putInt32(out, 0);
    putInt32(out, 1);
    constexpr std::size_t kLengthField = 12;
    putInt64(out, 0);

    putCount(out, description.narrow.size());
    for (const NarrowRecord& record : description.narrow) {
        putInt32(out, record.key);
        putNarrow(out, record.value);
    }
    putWideRecords(out, description.wide);
    putCount(out, description.localized.size());
    for (const LocalizedSet& set : description.localized) {
        putNarrow(out, set.prefix);
        putWideRecords(out, set.records);
    }

    std::string length;
    putInt64(length, static_cast<std::int64_t>(out.size() - kLengthField));
    out.replace(kLengthField, length.size(), length);
    return out;
}

std::string encodeIncludedFiles(const std::vector<IncludedFile>& files) {
    std::string out;
    for (const IncludedFile& file : files) {
        putInt64(out, static_cast<std::int64_t>(file.content.size()));
        std::size_t start = out.size();
        out += file.content;
        for (std::size_t i = start; i < out.size(); ++i) out[i] ^= kIncludedFileMask;
    }
    return out;
}

LauncherBuild buildLauncher(std::string_view stub, const BlockDescription& description) {
    BlockDescription complete = withIncludedFileKeys(description);
    LauncherBuild build;
    build.errors = validateStub(stub);
    for (std::string& error : validateDescription(complete)) {
        build.errors.push_back(std::move(error));
    }
    if (!build.errors.empty()) return build;
    build.bytes.assign(stub);
    build.bytes += encodeBlock(complete);
    build.bytes += encodeIncludedFiles(complete.included);
    return build;
}

namespace {

std::string_view trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Invalid sequences would reach a wide value as U+FFFD without a word of warning.
bool isValidUtf8(std::string_view text) {
    return toUtf8(fromUtf8(text)) == text;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Resolves the escapes of a value; returns the fault, or an empty text.
std::string unescape(WideView text, WideString& value) {
    const std::string backslashHint = " (write \\\\ for a backslash)";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            value.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) return "the value ends in a lone backslash" + backslashHint;
        char16_t kind = text[i];
        switch (kind) {
            case u'n':
                value.push_back(u'\n');
                continue;
            case u'r':
                value.push_back(u'\r');
                continue;
            case u't':
                value.push_back(u'\t');
                continue;
            case u'\\':
                value.push_back(u'\\');
                continue;
            case u'x':
            case u'u':
                break;
            default:
                return "unknown escape \\" + toUtf8(text.substr(i, 1)) + backslashHint;
        }
        std::size_t digits = kind == u'x' ? 2 : 4;
        unsigned unit = 0;
        for (std::size_t k = 1; k <= digits; ++k) {
            int digit = i + k < text.size() ? hexDigit(text[i + k]) : -1;
            if (digit < 0) {
                return "\\" + std::string(1, static_cast<char>(kind)) + " needs " +
                       std::to_string(digits) + " hexadecimal digits";
            }
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        value.push_back(static_cast<char16_t>(unit));
        i += digits;
    }
    return {};
}

struct Assignment {
    bool wide = false;
    std::int32_t key = 0;
    WideString value;
    std::string narrowValue;
};

// KEY=VALUE or wide.KEY=VALUE; `forceWide` makes both forms wide, as inside a localized
// set. Returns the fault, or an empty text.
std::string parseAssignment(std::string_view line, bool forceWide, Assignment& assignment) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return "expected KEY=VALUE, wide.KEY=VALUE, include NAME=HOSTPATH or [locale PREFIX]";
    }
    std::string_view keyText = trimmed(line.substr(0, equals));
    assignment.wide = forceWide;
    if (startsWith(keyText, "wide.")) {
        assignment.wide = true;
        keyText.remove_prefix(5);
    }
    long long key = 0;
    bool isNumber = !keyText.empty() && keyText.size() <= 10;
    for (char c : keyText) {
        isNumber = isNumber && c >= '0' && c <= '9';
        key = key * 10 + (c - '0');
    }
    if (!isNumber || key > INT32_MAX) {
        return "\"" + std::string(keyText) + "\" is not a key number";
    }
    assignment.key = static_cast<std::int32_t>(key);

    std::string fault = unescape(fromUtf8(line.substr(equals + 1)), assignment.value);
    if (!fault.empty()) return "key " + std::to_string(key) + ": " + fault;
    if (!assignment.wide) {
        if (auto beyond = firstBeyondLatin1(assignment.value)) {
            return "key " + std::to_string(key) + ": " + codePoint(*beyond) +
                   " does not fit narrow text, which holds U+0000 to U+00FF (use wide." +
                   std::to_string(key) + "=)";
        }
        assignment.narrowValue = latin1(assignment.value);
    }
    return {};
}

std::string alreadySet(std::int32_t key, int line) {
    return "key " + std::to_string(key) + " is already set on line " + std::to_string(line);
}

}  // namespace

RawConfig parseRawConfig(std::string_view text, std::string_view fileName) {
    RawConfig result;
    BlockDescription& description = result.description;
    if (startsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);

    std::map<std::int32_t, int> narrowLines, wideLines, setLines;
    std::map<std::string, int> prefixLines;
    int lineNumber = 0;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto fail = [&](const std::string& message) {
            result.errors.push_back(std::string(fileName) + ":" + std::to_string(lineNumber) +
                                    ": " + message);
        };

        if (!isValidUtf8(line)) {
            fail("the line is not valid UTF-8");
            continue;
        }
        std::string_view content =
            line.substr(std::min(line.find_first_not_of(kBlanks), line.size()));
        if (content.empty() || content[0] == '#') continue;

        if (content[0] == '[') {
            std::string_view inner = trimmed(content);
            if (!startsWith(inner, "[locale") || inner.back() != ']' ||
                (inner.size() > 8 && kBlanks.find(inner[7]) == std::string_view::npos)) {
                fail("expected [locale PREFIX]");
                continue;
            }
            WideString prefix = fromUtf8(trimmed(inner.substr(7, inner.size() - 8)));
            if (auto beyond = firstBeyondLatin1(prefix)) {
                fail("the locale prefix holds " + codePoint(*beyond) + ", beyond U+00FF");
                continue;
            }
            auto [found, inserted] = prefixLines.emplace(latin1(prefix), lineNumber);
            if (!inserted) {
                fail("locale " + quoted(prefix) + " already starts a section on line " +
                     std::to_string(found->second));
            }
            description.localized.push_back({latin1(prefix), {}});
            setLines.clear();
            continue;
        }

        if (startsWith(content, "include") && content.size() > 7 &&
            kBlanks.find(content[7]) != std::string_view::npos) {
            std::string_view rest = content.substr(8);
            std::size_t equals = rest.find('=');
            if (equals == std::string_view::npos) {
                fail("expected include NAME=HOSTPATH");
                continue;
            }
            std::string_view hostPath = trimmed(rest.substr(equals + 1));
            if (hostPath.empty()) {
                fail("include has no host path after \"=\"");
                continue;
            }
            result.includes.push_back(
                {fromUtf8(trimmed(rest.substr(0, equals))), std::string(hostPath), lineNumber});
            continue;
        }

        bool inSet = !description.localized.empty();
        Assignment assignment;
        std::string fault = parseAssignment(content, inSet, assignment);
        if (!fault.empty()) {
            fail(fault);
            continue;
        }
        auto& lines = inSet ? setLines : assignment.wide ? wideLines : narrowLines;
        auto [found, inserted] = lines.emplace(assignment.key, lineNumber);
        if (!inserted) {
            fail(alreadySet(assignment.key, found->second));
        } else if (inSet) {
            description.localized.back().records.push_back(
                {assignment.key, std::move(assignment.value)});
        } else if (assignment.wide) {
            description.wide.push_back({assignment.key, std::move(assignment.value)});
        } else {
            description.narrow.push_back({assignment.key, std::move(assignment.narrowValue)});
        }
    }
    return result;
}

std::vector<std::string> applyAssignment(BlockDescription& description, std::string_view text,
                                         std::string_view location) {
    if (!isValidUtf8(text)) return {std::string(location) + ": the text is not valid UTF-8"};
    Assignment assignment;
    std::string fault = parseAssignment(text, false, assignment);
    if (!fault.empty()) return {std::string(location) + ": " + fault};
    auto replace = [&](auto& records, auto value) {
        std::erase_if(records, [&](const auto& record) { return record.key == assignment.key; });
        records.push_back({assignment.key, std::move(value)});
    };
    if (assignment.wide) {
        replace(description.wide, std::move(assignment.value));
    } else {
        replace(description.narrow, std::move(assignment.narrowValue));
    }
    return {};
}

namespace {

// Bounds-checked little-endian reads over a launcher's bytes; the first failure sticks.
class ByteReader {
  public:
    ByteReader(std::string_view bytes, std::size_t at) : bytes_(bytes), at_(at) {}

    bool failed() const { return failed_; }
    std::size_t position() const { return at_; }

    std::string_view take(std::uint64_t size) {
        if (failed_ || size > bytes_.size() - at_) {
            failed_ = true;
            return {};
        }
        std::string_view part = bytes_.substr(at_, size);
        at_ += size;
        return part;
    }

    std::int64_t number(int size) {
        std::string_view part = take(size);
        if (failed_) return 0;
        std::uint64_t value = littleEndianAt(part, 0, size);
        if (size == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return static_cast<std::int64_t>(value);
    }

    std::string counted() {
        std::int64_t length = number(4);
        if (length < 0) failed_ = true;
        return std::string(take(failed_ ? 0 : static_cast<std::uint64_t>(length)));
    }

    WideString countedWide() {
        std::string bytes = counted();
        if (bytes.size() % 2 != 0) failed_ = true;
        WideString text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return text;
    }

    std::vector<WideRecord> wideRecords() {
        std::vector<WideRecord> records;
        for (std::int64_t n = number(4); n > 0 && !failed_; --n) {
            auto key = static_cast<std::int32_t>(number(4));
            WideString value = countedWide();
            if (!failed_) records.push_back({key, std::move(value)});
        }
        return records;
    }

  private:
    std::string_view bytes_;
    std::size_t at_;
    bool failed_ = false;
};

}  // namespace

DecodedLauncher decodeLauncher(std::string_view bytes) {
    DecodedLauncher result;
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') {
        result.error = "not a Windows executable (no MZ header)";
        return result;
    }
    std::uint64_t header = littleEndianAt(bytes, 60, 4);
    if (header + 24 > bytes.size() || bytes.substr(header, 4) != std::string_view("PE\0\0", 4)) {
        result.error = "not a Windows executable (no PE header)";
        return result;
    }
    std::uint64_t sections = littleEndianAt(bytes, header + 6, 2);
    std::uint64_t lastSection =
        header + 24 + littleEndianAt(bytes, header + 20, 2) + 40 * (sections - 1);
    if (sections == 0 || lastSection + 40 > bytes.size()) {
        result.error = "the section table is missing or cut off";
        return result;
    }
    result.blockStart =
        littleEndianAt(bytes, lastSection + 20, 4) + littleEndianAt(bytes, lastSection + 16, 4);
    if (result.blockStart + 4 > bytes.size() ||
        littleEndianAt(bytes, result.blockStart, 4) != kBlockMagic) {
        result.error = "no configuration block behind the last section (a bare stub?)";
        return result;
    }

    ByteReader reader(bytes, result.blockStart + 4);
    result.headerValue1 = static_cast<std::int32_t>(reader.number(4));
    result.headerValue2 = static_cast<std::int32_t>(reader.number(4));
    result.headerValue3 = reader.number(8);
    BlockDescription& description = result.description;
    for (std::int64_t n = reader.number(4); n > 0 && !reader.failed(); --n) {
        auto key = static_cast<std::int32_t>(reader.number(4));
        std::string value = reader.counted();
        if (!reader.failed()) description.narrow.push_back({key, std::move(value)});
    }
    description.wide = reader.wideRecords();
    for (std::int64_t n = reader.number(4); n > 0 && !reader.failed(); --n) {
        std::string prefix = reader.counted();
        std::vector<WideRecord> records = reader.wideRecords();
        if (!reader.failed()) description.localized.push_back({prefix, std::move(records)});
    }
    if (reader.failed()) {
        result.error = "the configuration block is cut off or malformed";
        return result;
    }
    result.blockEnd = reader.position();

    // The launcher's own reading: names from key 2003, as many entries as key 2002 counts.
    const NarrowRecord* count = lastNarrow(description, kKeyIncludedFileCount);
    const NarrowRecord* names = lastNarrow(description, kKeyIncludedFileNames);
    int remaining = count ? parseDecimal(count->value) : 0;
    std::string_view list = names ? std::string_view(names->value) : std::string_view();
    for (std::size_t start = 0; remaining > 0 && start < list.size();) {
        std::size_t end = std::min(list.find(';', start), list.size());
        std::string_view name = list.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        std::int64_t size = reader.number(8);
        std::string content(reader.take(size > 0 ? static_cast<std::uint64_t>(size) : 0));
        for (char& c : content) c ^= kIncludedFileMask;
        if (reader.failed()) {
            result.error = "the included file \"" + std::string(name) + "\" is cut off";
            return result;
        }
        description.included.push_back({widenBytes(name), std::move(content)});
        --remaining;
    }
    result.filesEnd = reader.position();
    return result;
}

}  // namespace tesmo::tools
