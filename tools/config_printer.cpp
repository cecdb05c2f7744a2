// Printing a block as a configuration file. Every value is printed in the form the parser
// turns back into the same record text; a value no form reproduces is left out with a
// warning rather than printed approximately.
#include <algorithm>
#include <cstdio>

#include "core/keys.h"
#include "core/settings.h"
#include "tools/config_settings.h"
#include "tools/launcher_config.h"

namespace tesmo::tools {

namespace {

// Tables in the order a reader meets them.
const char* const kTableOrder[] = {
    "application",
    "executable",
    "version-info",
    "java",
    "vm",
    "classpath",
    "redirect",
    "console",
    "single-instance",
    "splash",
    "splash.status",
    "splash.version",
    "files",
    "messages",
};

bool isLoneSurrogateAt(WideView text, std::size_t i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
        return i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return i == 0 || text[i - 1] < 0xD800 || text[i - 1] > 0xDBFF;
    return false;
}

// A TOML string: literal ('...') for text with backslashes, so Windows paths read as
// written; basic ("...") otherwise. Nothing when the text holds half a surrogate pair.
std::optional<std::string> tomlString(WideView text) {
    bool literal = text.find(u'\\') != WideView::npos && text.find(u'\'') == WideView::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isLoneSurrogateAt(text, i)) return std::nullopt;
        if ((text[i] < 0x20 && text[i] != u'\t') || text[i] == 0x7F) literal = false;
    }
    if (literal) return "'" + toUtf8(text) + "'";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            std::size_t length = c >= 0xD800 && c <= 0xDBFF ? 2 : 1;
            out += toUtf8(text.substr(i, length));
            i += length - 1;
        }
    }
    return out + "\"";
}

std::string tomlKey(std::string_view key) {
    bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
    return bare ? std::string(key) : tomlString(fromUtf8(key)).value();
}

std::string array(const std::vector<std::string>& elements) {
    if (elements.size() < 2) return elements.empty() ? "[]" : "[" + elements[0] + "]";
    std::string out = "[\n";
    for (const std::string& element : elements) out += "    " + element + ",\n";
    return out + "]";
}

std::optional<std::string> stringArray(const std::vector<WideString>& values) {
    std::vector<std::string> elements;
    for (const WideString& value : values) {
        std::optional<std::string> element = tomlString(value);
        if (!element) return std::nullopt;
        elements.push_back(*element);
    }
    return array(elements);
}

bool isCanonicalNumber(std::string_view value, long long minimum, long long maximum) {
    if (value.empty() || value.size() > 11) return false;
    long long number = 0;
    try {
        number = std::stoll(std::string(value));
    } catch (const std::exception&) {
        return false;
    }
    return std::to_string(number) == value && number >= minimum && number <= maximum;
}

// Three plain numbers print as an array; any other colour text as the string it is.
std::optional<std::string> renderColour(std::string_view value) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= value.size();) {
        std::size_t end = std::min(value.find(',', start), value.size());
        parts.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
    bool plain = true;
    for (const std::string& part : parts) plain = plain && isCanonicalNumber(part, 0, 255);
    if (!plain) return tomlString(widenBytes(value));
    return "[" + parts[0] + ", " + parts[1] + ", " + parts[2] + "]";
}

std::optional<std::string> renderClassPath(WideView wide) {
    if (auto entries = canonicalClassPath(wide)) {
        std::vector<std::string> elements;
        for (const ClassPathEntry& entry : *entries) {
            std::optional<std::string> text = tomlString(entry.value);
            if (!text) return std::nullopt;
            elements.push_back(std::string("{ ") + classPathTypeName(entry.type) + " = " + *text +
                               (entry.required ? ", required = true }" : " }"));
        }
        return array(elements);
    }
    if (!storedClassPathFault(wide).empty()) return std::nullopt;
    return tomlString(wide);
}

// The configuration text of a record's value, or nothing when no form gives it back.
std::optional<std::string> render(const SettingShape& shape, std::string_view value) {
    WideString wide = widenBytes(value);
    switch (shape.kind) {
        case SettingKind::Text:
            if (shape.key == kKeyMainClass &&
                (wide.empty() || wide.find_first_of(u" \t;") != WideString::npos)) {
                return std::nullopt;
            }
            return tomlString(wide);
        case SettingKind::Version:
            if (!versionFault(value).empty()) return std::nullopt;
            return tomlString(wide);
        case SettingKind::Flag:
            if (value == "1") return "true";
            if (value == "0") return "false";
            return std::nullopt;
        case SettingKind::Integer:
            if (!isCanonicalNumber(value, shape.minimum, shape.maximum)) return std::nullopt;
            return std::string(value);
        case SettingKind::Colour:
            if (!colourTextFault(value).empty()) return std::nullopt;
            return renderColour(value);
        case SettingKind::Flavour:
            if (auto name = flavourName(value)) return "\"" + *name + "\"";
            return std::nullopt;
        case SettingKind::ExecutableType:
            if (auto name = executableTypeName(value)) return "\"" + *name + "\"";
            return std::nullopt;
        case SettingKind::CommandLine:
            if (auto arguments = canonicalArguments(wide)) return stringArray(*arguments);
            return tomlString(wide);
        case SettingKind::PathList:
            if (auto paths = canonicalPathList(wide)) return stringArray(*paths);
            return tomlString(wide);
        case SettingKind::SearchSequence:
            if (auto entries = canonicalSearchEntries(wide)) return stringArray(*entries);
            if (!storedSearchFault(wide).empty()) return std::nullopt;
            return tomlString(wide);
        case SettingKind::ClassPath:
            return renderClassPath(wide);
    }
    return std::nullopt;
}

std::string tableOf(std::string_view path) {
    return std::string(path.substr(0, path.rfind('.')));
}

std::string leafOf(std::string_view path) {
    return std::string(path.substr(path.rfind('.') + 1));
}

std::string shown(std::string_view value) {
    std::string text = toUtf8(widenBytes(value));
    if (text.size() > 60) text = text.substr(0, 57) + "...";
    return "\"" + text + "\"";
}

// Included files keep their directory level as a folder of their own.
std::string fileName(WideView name) {
    WideString path(name);
    std::replace(path.begin(), path.end(), u'\\', u'/');
    return "include/" + toUtf8(path);
}

template <typename Record>
bool ascendingUnique(const std::vector<Record>& records) {
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (records[i - 1].key >= records[i].key) return false;
    }
    return true;
}

// What the printing gathers before the text is laid out.
struct Printing {
    PrintedConfig printed = {};
    std::map<std::string, std::vector<std::string>> tables = {};
    std::string folder;
};

void warn(Printing& printing, const std::string& message) {
    printing.printed.warnings.push_back(message);
}

// Keeps the file for writing out and returns how the configuration names it.
std::string fileReference(Printing& printing, const std::string& name, std::string bytes) {
    printing.printed.files.emplace_back(name, std::move(bytes));
    return tomlString(fromUtf8(printing.folder + "/" + name)).value();
}

std::map<std::int32_t, std::string> narrowRecordsByKey(Printing& printing,
                                                       const std::vector<NarrowRecord>& records) {
    std::map<std::int32_t, std::string> narrow;
    for (const NarrowRecord& record : records) narrow[record.key] = record.value;
    if (!ascendingUnique(records)) {
        warn(printing,
             "the block's records are not in ascending key order or repeat a key; a rebuilt "
             "block holds the same settings in ascending order");
    }
    return narrow;
}

// A key without a setting goes to [raw] so that a rebuild keeps it.
void printUnknownRecord(Printing& printing, std::int32_t key, std::string_view value) {
    std::optional<std::string> text = tomlString(widenBytes(value));
    if (text)
        printing.tables["raw"].push_back(std::to_string(key) + " = " + *text);
    else
        warn(printing, "key " + std::to_string(key) + " cannot be printed; it is left out");
}

void printNarrowRecords(Printing& printing, const std::map<std::int32_t, std::string>& narrow,
                        bool defaultsOff) {
    for (const auto& [key, value] : narrow) {
        if (key == kKeyIncludedFileCount || key == kKeyIncludedFileNames) continue;
        // The builder writes the English texts for messages a configuration leaves out.
        const KeyInfo* info = findKey(key);
        if (!defaultsOff && info && info->defaultText && value == info->defaultText) continue;
        const SettingShape* shape = settingByKey(key);
        if (!shape) {
            printUnknownRecord(printing, key, value);
            continue;
        }
        if (std::optional<std::string> text = render(*shape, value)) {
            printing.tables[tableOf(shape->path)].push_back(leafOf(shape->path) + " = " + *text);
        } else {
            warn(printing, "key " + std::to_string(key) + " (" + shape->path + ") holds " +
                               shown(value) +
                               ", which the configuration format cannot express; it is left out");
        }
    }
}

void printIncludedFiles(Printing& printing, const std::map<std::int32_t, std::string>& narrow,
                        const std::vector<IncludedFile>& included) {
    if (!narrow.count(kKeyIncludedFileCount) && included.empty()) return;
    if (printing.folder.empty() && !included.empty()) {
        warn(printing, "the launcher carries " + std::to_string(included.size()) +
                           " included files; give a folder for them to print files.include");
        return;
    }
    std::vector<std::string> entries;
    for (const IncludedFile& file : included) {
        entries.push_back("{ name = " + tomlString(file.name).value() + ", source = " +
                          fileReference(printing, fileName(file.name), file.content) + " }");
    }
    printing.tables["files"].push_back("include = " + array(entries));
}

void printPictures(Printing& printing, const LauncherImages& images) {
    struct Picture {
        const std::optional<std::string>& bytes;
        const char* setting;
        const char* file;
    };
    for (const Picture& picture : {Picture{images.splashBitmap, "splash.bitmap", "splash.bmp"},
                                   Picture{images.splashImage, "splash.image", "splash-image.bin"},
                                   Picture{images.icon, "executable.icon", "icon.ico"}}) {
        if (!picture.bytes) continue;
        if (printing.folder.empty()) {
            warn(printing, std::string("the launcher has a picture for ") + picture.setting +
                               "; give a folder for it to print the setting");
            continue;
        }
        printing.tables[tableOf(picture.setting)].push_back(
            leafOf(picture.setting) + " = " +
            fileReference(printing, picture.file, *picture.bytes));
    }
}

// Only the choices that differ from their defaults, as the launcher was built without them.
void printExecutableChoices(Printing& printing, const ExecutableChoices& choices) {
    std::vector<std::string>& lines = printing.tables["executable"];
    for (const NamedChoice& choice : namedChoices()) {
        const std::string& name = choices.*choice.member;
        if (name != choice.names.front())
            lines.push_back(leafOf(choice.path) + " = \"" + name + "\"");
    }
    if (choices.longPathAware) lines.push_back(leafOf(kLongPathAwarePath) + " = true");
    if (lines.empty()) printing.tables.erase("executable");
}

void printVersionInfo(Printing& printing, const std::optional<VersionInfo>& info) {
    if (!info) return;
    std::vector<std::string>& lines = printing.tables["version-info"];
    for (const VersionString& string : versionStrings()) {
        auto found = info->texts.find(string.setting);
        if (found == info->texts.end()) continue;
        if (std::optional<std::string> text = tomlString(found->second)) {
            lines.push_back(std::string(string.setting) + " = " + *text);
        } else {
            warn(printing, std::string("version-info.") + string.setting +
                               " holds half a surrogate pair; it is left out");
        }
    }
}

void printWideRecords(Printing& printing, const std::vector<WideRecord>& wide) {
    if (!ascendingUnique(wide)) {
        warn(printing, "the block's wide records are not in ascending key order or repeat a key");
    }
    for (const WideRecord& record : wide) {
        if (std::optional<std::string> text = tomlString(record.value)) {
            printing.tables["raw.wide"].push_back(std::to_string(record.key) + " = " + *text);
        } else {
            warn(printing,
                 "wide key " + std::to_string(record.key) + " cannot be printed; it is left out");
        }
    }
}

// Prints the set into its messages table and returns the table's name.
std::string printLocalizedSet(Printing& printing, const LocalizedSet& set) {
    std::string table = "messages." + tomlKey(toUtf8(widenBytes(set.prefix)));
    if (!ascendingUnique(set.records)) {
        warn(printing, "the localized set " + shown(set.prefix) +
                           " is not in ascending key order or repeats a key");
    }
    for (const WideRecord& record : set.records) {
        const SettingShape* shape = settingByKey(record.key);
        std::optional<std::string> text = tomlString(record.value);
        if (!shape || record.key < kMessageTitle || record.key > kMessageDamagedJvm64 || !text) {
            warn(printing, "key " + std::to_string(record.key) + " of the localized set " +
                               shown(set.prefix) + " is not a message; it is left out");
            continue;
        }
        printing.tables[table].push_back(leafOf(shape->path) + " = " + *text);
    }
    return table;
}

// Returns the messages tables in the order the block holds their sets.
std::vector<std::string> printLocalizedSets(Printing& printing,
                                            const std::vector<LocalizedSet>& localized) {
    std::vector<std::string> setOrder;
    for (std::size_t i = 0; i < localized.size(); ++i) {
        if (i > 0 && localized[i - 1].prefix >= localized[i].prefix) {
            warn(printing,
                 "the localized sets are not in ascending order of their prefixes; a rebuilt "
                 "block orders them so, which changes which set wins where prefixes overlap");
        }
        std::string table = printLocalizedSet(printing, localized[i]);
        if (std::find(setOrder.begin(), setOrder.end(), table) == setOrder.end()) {
            setOrder.push_back(table);
            printing.tables[table];
        }
    }
    return setOrder;
}

std::string layOutTables(const std::map<std::string, std::vector<std::string>>& tables,
                         const std::vector<std::string>& setOrder, bool defaultsOff) {
    std::string out;
    if (defaultsOff) {
        out += "# The block leaves out settings the builder would fill in.\ndefaults = false\n";
    }
    std::vector<std::string> order(std::begin(kTableOrder), std::end(kTableOrder));
    order.insert(order.end(), setOrder.begin(), setOrder.end());
    order.push_back("raw");
    order.push_back("raw.wide");
    for (const std::string& table : order) {
        auto found = tables.find(table);
        if (found == tables.end()) continue;
        if (!out.empty()) out += "\n";
        out += "[" + table + "]\n";
        for (const std::string& line : found->second) out += line + "\n";
    }
    return out;
}

}  // namespace

PrintedConfig printLauncherConfig(const BlockDescription& description, const LauncherImages& images,
                                  std::string_view filesFolder) {
    Printing printing{.folder = std::string(filesFolder)};
    std::map<std::int32_t, std::string> narrow = narrowRecordsByKey(printing, description.narrow);
    std::map<std::int32_t, std::string> filled = narrow;
    bool defaultsOff = !addDefaults(filled, images.splashBitmap).empty();
    printNarrowRecords(printing, narrow, defaultsOff);
    printIncludedFiles(printing, narrow, description.included);
    printPictures(printing, images);
    printExecutableChoices(printing, images.executable);
    printVersionInfo(printing, images.versionInfo);
    printWideRecords(printing, description.wide);
    std::vector<std::string> setOrder = printLocalizedSets(printing, description.localized);
    printing.printed.text = layOutTables(printing.tables, setOrder, defaultsOff);
    return printing.printed;
}

}  // namespace tesmo::tools
