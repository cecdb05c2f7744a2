#include "tools/block_writer.h"

#include <algorithm>
#include <climits>
#include <map>

#include "config/block_reader.h"
#include "core/keys.h"
#include "core/settings.h"
#include "files/included_files.h"
#include "tools/pe_layout.h"
#include "tools/record_text.h"

namespace tesmo::tools {

namespace {

std::string quotedLatin1(std::string_view latin1) {
    return quotedUtf8(widenBytes(latin1));
}

void putInt32(std::string& out, std::int32_t value) {
    appendLittleEndian(out, static_cast<std::uint32_t>(value), 4);
}

void putInt64(std::string& out, std::int64_t value) {
    appendLittleEndian(out, static_cast<std::uint64_t>(value), 8);
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

std::string joinedNames(const std::vector<IncludedFile>& files) {
    std::string names;
    for (const IncludedFile& file : files) {
        if (!names.empty()) names.push_back(';');
        names += latin1(file.name);
    }
    return names;
}

void checkNarrowRecord(const NarrowRecord& record, std::vector<std::string>& errors) {
    std::string key = "key " + std::to_string(record.key) + ": ";
    std::string tooLong = capacityFault(record.key, record.value.size());
    if (!tooLong.empty()) errors.push_back(key + tooLong);
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

const NarrowRecord* lastNarrow(const BlockDescription& description, std::int32_t key) {
    const NarrowRecord* found = nullptr;
    for (const NarrowRecord& record : description.narrow) {
        if (record.key == key) found = &record;
    }
    return found;
}

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

void checkIncludedFiles(const BlockDescription& description, std::vector<std::string>& errors) {
    bool namesFitKey = true;
    std::map<WideString, const WideString*> seen;
    for (const IncludedFile& file : description.included) {
        std::string fault = includedFileNameFault(file.name);
        if (!fault.empty())
            errors.push_back("included file " + quotedUtf8(file.name) + " " + fault);
        if (firstBeyondLatin1(file.name)) namesFitKey = false;
        auto [found, inserted] = seen.emplace(foldedName(file.name), &file.name);
        if (!inserted && !file.name.empty()) {
            errors.push_back("included file " + quotedUtf8(file.name) + " is already included as " +
                             quotedUtf8(*found->second));
        }
    }

    std::size_t count = description.included.size();
    if (const NarrowRecord* record = lastNarrow(description, kKeyIncludedFileCount)) {
        if (parseDecimal(record->value) < 0 ||
            static_cast<std::size_t>(parseDecimal(record->value)) != count) {
            errors.push_back("key 2002 counts " + quotedLatin1(record->value) +
                             " included files, but " + std::to_string(count) + " are given");
        }
    }
    std::string names = joinedNames(description.included);
    const NarrowRecord* record = lastNarrow(description, kKeyIncludedFileNames);
    if (record && namesFitKey && record->value != names) {
        errors.push_back("key 2003 lists " + quotedLatin1(record->value) +
                         ", but the included files are " + quotedLatin1(names) +
                         " (the same names in the same order)");
    }
}

}  // namespace

std::vector<std::string> validateDescription(const BlockDescription& description) {
    std::vector<std::string> errors;
    for (const NarrowRecord& record : description.narrow) checkNarrowRecord(record, errors);
    checkWideRecords(description.wide, errors);
    for (const LocalizedSet& set : description.localized) {
        if (set.prefix.size() > kMaximumPrefixLength) {
            errors.push_back("localized set " + quotedLatin1(set.prefix) + ": the prefix has " +
                             std::to_string(set.prefix.size()) + " characters, at most " +
                             std::to_string(kMaximumPrefixLength) + " are allowed");
        }
        checkWideRecords(set.records, errors);
    }
    checkIncludedFiles(description, errors);
    return errors;
}

std::vector<std::string> validateStub(std::string_view stub) {
    // The same arithmetic as the launcher's search for its block, on unsigned fields.
    PeLayout layout;
    switch (readPeLayout(stub, layout)) {
        case PeFault::NoMzHeader:
            return {"the stub is not a Windows executable (no MZ header)"};
        case PeFault::NoPeHeader:
            return {"the stub is not a Windows executable (no PE header)"};
        case PeFault::None:
            break;
    }
    if (layout.sectionCount == 0) return {"the stub has no sections"};
    if (!layout.sectionTableFits) return {"the stub's section table is cut off"};
    std::uint64_t imageEnd = peImageEnd(stub, layout);
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
        maskIncludedBytes(reinterpret_cast<unsigned char*>(out.data() + start),
                          file.content.size());
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

}  // namespace tesmo::tools
