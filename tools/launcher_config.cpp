#include "tools/launcher_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <climits>
#include <set>

#include "core/keys.h"
#include "tools/config_settings.h"
#include "tools/image_files.h"

namespace tesmo::tools {

namespace {

namespace fs = std::filesystem;

// Settings that are files or lists of files rather than records of their own.
const char* const kFileSettings[] = {"splash.bitmap", "splash.image", "executable.icon",
                                     "files.include"};

std::string typeName(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "an array";
        case toml::node_type::string:
            return "a string";
        case toml::node_type::integer:
            return "an integer";
        case toml::node_type::floating_point:
            return "a floating-point number";
        case toml::node_type::boolean:
            return "a boolean";
        default:
            return "a date or time";
    }
}

std::string joinPath(std::string_view prefix, std::string_view key) {
    return prefix.empty() ? std::string(key) : std::string(prefix) + "." + std::string(key);
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Every setting path and the tables that hold them.
struct Names {
    std::set<std::string> paths;
    std::set<std::string> tables;

    Names() {
        auto add = [&](const std::string& path) {
            paths.insert(path);
            for (std::size_t dot = path.find('.'); dot != std::string::npos;
                 dot = path.find('.', dot + 1)) {
                tables.insert(path.substr(0, dot));
            }
        };
        for (const SettingShape& shape : settingSpecs()) add(shape.path);
        for (const char* path : kFileSettings) add(path);
        for (const NamedChoice& choice : namedChoices()) add(choice.path);
        add(kLongPathAwarePath);
        for (const VersionString& string : versionStrings()) {
            add(std::string("version-info.") + string.setting);
        }
        tables.insert("raw");
    }
};

const Names& names() {
    static const Names all;
    return all;
}

class Parser {
  public:
    Parser(std::string_view fileName, const fs::path& directory, const FileSource& files,
           LauncherConfig& out)
        : fileName_(fileName), directory_(directory), files_(files), out_(out) {}

    void run(const toml::table& root) {
        walk(root, "");
        if (defaults_) addDefaults(narrow_, out_.images.splashBitmap);
        finish();
    }

  private:
    struct Origin {
        int line = 0;
        std::string setting;
    };

    void error(int line, std::string_view setting, const std::string& message) {
        std::string where = fileName_ + (line > 0 ? ":" + std::to_string(line) : "");
        out_.errors.push_back(where + ": " + std::string(setting) + ": " + message);
    }

    void warning(std::string_view setting, const std::string& message) {
        out_.warnings.push_back(fileName_ + ": " + std::string(setting) + ": " + message);
    }

    static int lineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }
    static int lineOf(const toml::key& key) { return static_cast<int>(key.source().begin.line); }

    void walk(const toml::table& table, const std::string& prefix) {
        for (auto&& [key, node] : table) {
            std::string path = joinPath(prefix, key.str());
            if (const SettingShape* shape = settingByPath(path)) {
                setting(*shape, node, path);
            } else if (path == "defaults") {
                if (const auto* flag = node.as_boolean()) {
                    defaults_ = flag->get();
                } else {
                    error(lineOf(node), path, "expected true or false, found " + typeName(node));
                }
            } else if (path == "files.include") {
                includes(node, path);
            } else if (const NamedChoice* choice = namedChoiceByPath(path)) {
                executableChoice(*choice, node, path);
            } else if (path == kLongPathAwarePath) {
                if (const auto* flag = node.as_boolean())
                    out_.images.executable.longPathAware = flag->get();
                else
                    error(lineOf(node), path, "expected true or false, found " + typeName(node));
            } else if (path == "splash.bitmap" || path == "splash.image" ||
                       path == "executable.icon") {
                picture(node, path);
            } else if (prefix == "messages" && node.is_table()) {
                localizedSet(key, *node.as_table());
            } else if (path == "version-info" && node.is_table()) {
                versionInfo(*node.as_table());
            } else if (path == "raw") {
                if (node.is_table())
                    raw(*node.as_table());
                else
                    error(lineOf(node), path, "expected a table, found " + typeName(node));
            } else if (names().tables.count(path)) {
                if (node.is_table())
                    walk(*node.as_table(), path);
                else
                    error(lineOf(node), path, "expected a table, found " + typeName(node));
            } else {
                unknown(key, prefix, path);
            }
        }
    }

    void unknown(const toml::key& key, const std::string& prefix, const std::string& path) {
        std::string message = prefix.empty() && !names().tables.count(path)
                                  ? "unknown table or setting"
                                  : "unknown setting";
        std::string best;
        std::size_t bestDistance = 3;
        for (const std::string& known : names().paths) {
            if (joinPath(prefix, known.substr(known.rfind('.') + 1)) != known) continue;
            std::size_t distance = editDistance(key.str(), known.substr(known.rfind('.') + 1));
            if (distance < bestDistance) {
                bestDistance = distance;
                best = known;
            }
        }
        if (prefix.empty()) {
            for (const std::string& table : names().tables) {
                if (table.find('.') != std::string::npos) continue;
                std::size_t distance = editDistance(key.str(), table);
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = table;
                }
            }
        }
        if (!best.empty()) message += " (did you mean " + best + "?)";
        error(lineOf(key), path, message);
    }

    std::optional<WideString> string(const toml::node& node, const std::string& path) {
        if (const auto* text = node.as_string()) return fromUtf8(text->get());
        error(lineOf(node), path, "expected a string, found " + typeName(node));
        return std::nullopt;
    }

    std::optional<std::string> narrow(const toml::node& node, const std::string& path,
                                      WideView text, const char* hint = "") {
        if (auto beyond = firstBeyondLatin1(text)) {
            error(lineOf(node), path,
                  quotedUtf8(text) + " holds " + codePoint(*beyond) +
                      ", but the launcher reads this setting as narrow text (U+0000 to U+00FF)" +
                      hint);
            return std::nullopt;
        }
        return latin1(text);
    }

    std::optional<std::vector<WideString>> strings(const toml::array& array,
                                                   const std::string& path) {
        std::vector<WideString> values;
        bool good = true;
        for (const toml::node& element : array) {
            std::optional<WideString> text = string(element, path);
            good = good && text.has_value();
            if (text) values.push_back(std::move(*text));
        }
        if (!good) return std::nullopt;
        return values;
    }

    void setting(const SettingShape& shape, const toml::node& node, const std::string& path) {
        std::optional<std::string> value = convert(shape, node, path);
        if (!value) return;
        narrow_[shape.key] = std::move(*value);
        origins_[shape.key] = {lineOf(node), path};
    }

    std::optional<std::string> convert(const SettingShape& shape, const toml::node& node,
                                       const std::string& path) {
        const toml::array* array = node.as_array();
        switch (shape.kind) {
            case SettingKind::Flag:
                if (const auto* flag = node.as_boolean()) return flag->get() ? "1" : "0";
                error(lineOf(node), path, "expected true or false, found " + typeName(node));
                return std::nullopt;
            case SettingKind::Integer:
                return integer(shape, node, path);
            case SettingKind::Colour:
                return colour(node, path);
            case SettingKind::Flavour:
            case SettingKind::ExecutableType:
                return named(shape, node, path);
            case SettingKind::CommandLine:
                if (array) return commandLine(*array, node, path);
                break;
            case SettingKind::PathList:
                if (array) return pathList(*array, node, path);
                break;
            case SettingKind::SearchSequence:
                if (array) return searchSequence(*array, node, path);
                break;
            case SettingKind::ClassPath:
                if (array) return classPath(*array, node, path);
                break;
            case SettingKind::Text:
            case SettingKind::Version:
                break;
        }
        return stringValue(shape, node, path);
    }

    std::optional<std::string> integer(const SettingShape& shape, const toml::node& node,
                                       const std::string& path) {
        if (const auto* number = node.as_integer()) {
            long long value = number->get();
            if (value < shape.minimum || value > shape.maximum) {
                error(lineOf(node), path,
                      std::to_string(value) + " is outside " + std::to_string(shape.minimum) +
                          " to " + std::to_string(shape.maximum));
                return std::nullopt;
            }
            return std::to_string(value);
        }
        error(lineOf(node), path, "expected an integer, found " + typeName(node));
        return std::nullopt;
    }

    std::optional<std::string> commandLine(const toml::array& array, const toml::node& node,
                                           const std::string& path) {
        std::optional<std::vector<WideString>> values = strings(array, path);
        if (!values) return std::nullopt;
        std::string fault;
        std::optional<WideString> joined = joinArguments(*values, fault);
        if (!joined) error(lineOf(node), path, fault);
        return joined ? narrow(node, path, *joined) : std::nullopt;
    }

    // A setting given as a string, whatever its kind; the stored form is checked as the
    // launcher will read it.
    std::optional<std::string> stringValue(const SettingShape& shape, const toml::node& node,
                                           const std::string& path) {
        int line = lineOf(node);
        std::optional<WideString> text;
        if (node.is_string()) {
            text = fromUtf8(node.as_string()->get());
        } else {
            bool list =
                shape.kind == SettingKind::CommandLine || shape.kind == SettingKind::PathList ||
                shape.kind == SettingKind::SearchSequence || shape.kind == SettingKind::ClassPath;
            error(line, path,
                  std::string("expected ") + (list ? "an array or a string" : "a string") +
                      ", found " + typeName(node));
            return std::nullopt;
        }
        std::string fault;
        if (shape.kind == SettingKind::Version) fault = versionFault(toUtf8(*text));
        if (shape.kind == SettingKind::SearchSequence) fault = storedSearchFault(*text);
        if (shape.kind == SettingKind::ClassPath) fault = storedClassPathFault(*text);
        if (shape.key == kKeyMainClass &&
            (text->empty() || text->find_first_of(u" \t;") != WideString::npos)) {
            fault = quotedUtf8(*text) + " is not a class name such as \"com.example.Main\"";
        }
        if (!fault.empty()) {
            error(line, path, fault);
            return std::nullopt;
        }
        bool message = shape.key >= kMessageTitle && shape.key <= kMessageDamagedJvm64;
        return narrow(node, path, *text,
                      message ? "; localized sets ([messages.PREFIX]) take any character" : "");
    }

    std::optional<std::string> colour(const toml::node& node, const std::string& path) {
        if (const auto* text = node.as_string()) {
            std::string fault = colourTextFault(text->get());
            if (fault.empty()) return text->get();
            error(lineOf(node), path, fault);
            return std::nullopt;
        }
        const toml::array* array = node.as_array();
        std::string value;
        bool good = array && array->size() == 3;
        for (std::size_t i = 0; good && i < 3; ++i) {
            const auto* component = (*array)[i].as_integer();
            good = component && component->get() >= 0 && component->get() <= 255;
            if (good) value += (i ? "," : "") + std::to_string(component->get());
        }
        if (good) return value;
        error(lineOf(node), path, "expected [red, green, blue] with numbers from 0 to 255");
        return std::nullopt;
    }

    std::optional<std::string> named(const SettingShape& shape, const toml::node& node,
                                     const std::string& path) {
        bool flavour = shape.kind == SettingKind::Flavour;
        std::string choices = flavour ? "\"tesmo\" or \"korvane\"" : kExecutableTypeNames;
        if (const auto* text = node.as_string()) {
            std::optional<std::string> value =
                flavour ? flavourLetter(text->get()) : executableTypeValue(text->get());
            if (value) return value;
            error(lineOf(node), path, "\"" + text->get() + "\" is not one of " + choices);
            return std::nullopt;
        }
        error(lineOf(node), path, "expected " + choices + ", found " + typeName(node));
        return std::nullopt;
    }

    std::optional<std::string> pathList(const toml::array& array, const toml::node& node,
                                        const std::string& path) {
        std::optional<std::vector<WideString>> values = strings(array, path);
        if (!values) return std::nullopt;
        WideString joined;
        for (const WideString& value : *values) {
            if (value.empty() || value.find(u';') != WideString::npos) {
                error(lineOf(node), path,
                      quotedUtf8(value) + " is empty or holds \";\", which separates the entries");
                return std::nullopt;
            }
            joined += (joined.empty() ? u"" : u";") + value;
        }
        return narrow(node, path, joined);
    }

    std::optional<std::string> searchSequence(const toml::array& array, const toml::node& node,
                                              const std::string& path) {
        std::optional<std::vector<WideString>> values = strings(array, path);
        if (!values) return std::nullopt;
        WideString joined;
        for (std::size_t i = 0; i < values->size(); ++i) {
            std::string fault;
            std::optional<WideString> entry = searchEntryText((*values)[i], fault);
            if (!entry) {
                error(lineOf(*array.get(i)), path, fault);
                return std::nullopt;
            }
            joined += *entry + u";";
        }
        return narrow(node, path, joined);
    }

    std::optional<std::string> classPath(const toml::array& array, const toml::node& node,
                                         const std::string& path) {
        std::vector<ClassPathEntry> entries;
        bool good = true;
        for (const toml::node& element : array) {
            const toml::table* table = element.as_table();
            if (!table) {
                error(lineOf(element), path,
                      "expected entries such as { archive = \"lib\\\\app.jar\", required = true }, "
                      "found " +
                          typeName(element));
                good = false;
                continue;
            }
            ClassPathEntry entry{0, false, {}};
            std::string problem;
            for (auto&& [key, value] : *table) {
                if (key.str() == "required") {
                    if (const auto* flag = value.as_boolean())
                        entry.required = flag->get();
                    else
                        problem = "\"required\" is true or false";
                } else if (char16_t type = classPathType(key.str())) {
                    if (entry.type != 0)
                        problem = "an entry has one of archive, directory, env or scan";
                    entry.type = type;
                    if (const auto* text = value.as_string())
                        entry.value = fromUtf8(text->get());
                    else
                        problem = "\"" + std::string(key.str()) + "\" is a string";
                } else {
                    problem = "unknown key \"" + std::string(key.str()) +
                              "\"; an entry has one of archive, directory, env or scan, and "
                              "required";
                }
            }
            if (problem.empty() && entry.type == 0) {
                problem = "an entry needs one of archive, directory, env or scan";
            }
            if (problem.empty() &&
                (entry.value.empty() || entry.value.find(u';') != WideString::npos)) {
                problem = quotedUtf8(entry.value) +
                          " is empty or holds \";\", which separates the entries";
            }
            if (!problem.empty()) {
                error(lineOf(element), path, problem);
                good = false;
            }
            entries.push_back(std::move(entry));
        }
        if (!good) return std::nullopt;
        return narrow(node, path, classPathText(entries));
    }

    void executableChoice(const NamedChoice& choice, const toml::node& node,
                          const std::string& path) {
        const auto* name = node.as_string();
        if (name && std::find(choice.names.begin(), choice.names.end(), name->get()) !=
                        choice.names.end()) {
            out_.images.executable.*choice.member = name->get();
            if (choice.member == &ExecutableChoices::architecture) out_.architectureGiven = true;
            return;
        }
        std::string found = name ? quotedUtf8(fromUtf8(name->get())) : typeName(node);
        error(lineOf(node), path, "expected " + choiceNames(choice) + ", found " + found);
    }

    void versionInfo(const toml::table& table) {
        VersionInfo info;
        for (auto&& [key, node] : table) {
            std::string path = "version-info." + std::string(key.str());
            const VersionString* known = versionStringBySetting(key.str());
            if (!known) {
                unknown(key, "version-info", path);
                continue;
            }
            std::optional<WideString> text = string(node, path);
            if (!text) continue;
            std::string fault = versionTextFault(*known, *text);
            if (fault.empty())
                info.texts[known->setting] = std::move(*text);
            else
                error(lineOf(node), path, fault);
        }
        std::string tooLong;
        versionResource(info, tooLong);
        if (!tooLong.empty()) error(lineOf(table), "version-info", tooLong);
        out_.images.versionInfo = std::move(info);
    }

    std::optional<std::string> readFile(const toml::node& node, const std::string& path,
                                        const std::string& name) {
        fs::path file = fs::path(std::u8string(name.begin(), name.end()));
        if (file.is_relative()) file = directory_ / file;
        std::optional<std::string> bytes = files_(file);
        if (!bytes) {
            std::u8string shown = fs::path(file).make_preferred().u8string();
            error(lineOf(node), path,
                  "cannot read \"" + std::string(shown.begin(), shown.end()) + "\"");
        }
        return bytes;
    }

    void picture(const toml::node& node, const std::string& path) {
        const auto* name = node.as_string();
        if (!name) {
            error(lineOf(node), path, "expected a file name, found " + typeName(node));
            return;
        }
        givenPictures_.insert(path);
        std::optional<std::string> bytes = readFile(node, path, name->get());
        if (!bytes) return;
        std::string fault;
        if (path == "splash.bitmap") {
            if (!bitmapFromFile(*bytes, fault))
                error(lineOf(node), path, name->get() + ": " + fault);
            out_.images.splashBitmap = std::move(*bytes);
        } else if (path == "executable.icon") {
            if (!iconFromFile(*bytes, 1, fault))
                error(lineOf(node), path, name->get() + ": " + fault);
            out_.images.icon = std::move(*bytes);
        } else if (bytes->empty()) {
            error(lineOf(node), path, name->get() + " is empty");
        } else {
            out_.images.splashImage = std::move(*bytes);
        }
    }

    void includes(const toml::node& node, const std::string& path) {
        const toml::array* array = node.as_array();
        if (!array) {
            error(lineOf(node), path,
                  "expected [{ name = \"...\", source = \"...\" }, ...], found " + typeName(node));
            return;
        }
        std::map<WideString, WideString> seen;
        for (const toml::node& element : *array) {
            const toml::table* table = element.as_table();
            const toml::node* nameNode = table ? table->get("name") : nullptr;
            const toml::node* sourceNode = table ? table->get("source") : nullptr;
            if (!table || !nameNode || !nameNode->is_string() || !sourceNode ||
                !sourceNode->is_string() || table->size() != 2) {
                error(lineOf(element), path,
                      "each file is { name = \"NAME\", source = \"HOST FILE\" }");
                continue;
            }
            WideString name = fromUtf8(nameNode->as_string()->get());
            std::string fault = includedFileNameFault(name);
            if (!fault.empty()) {
                error(lineOf(*nameNode), path, "the name " + quotedUtf8(name) + " " + fault);
                continue;
            }
            auto [found, inserted] = seen.emplace(foldedName(name), name);
            if (!inserted) {
                error(lineOf(*nameNode), path,
                      quotedUtf8(name) + " is already included as " + quotedUtf8(found->second));
                continue;
            }
            std::optional<std::string> content =
                readFile(*sourceNode, path, sourceNode->as_string()->get());
            if (content) included_.push_back({name, std::move(*content)});
        }
        WideString list;
        for (const IncludedFile& file : included_) {
            list += (list.empty() ? u"" : u";") + file.name;
        }
        narrow_[kKeyIncludedFileCount] = std::to_string(included_.size());
        narrow_[kKeyIncludedFileNames] = latin1(list);
        origins_[kKeyIncludedFileNames] = {lineOf(node), path};
    }

    void localizedSet(const toml::key& key, const toml::table& table) {
        std::string path = "messages." + std::string(key.str());
        WideString prefix = fromUtf8(key.str());
        if (firstBeyondLatin1(prefix) || prefix.size() > kMaximumPrefixLength ||
            !matchesSomeLocale(latin1(prefix))) {
            error(lineOf(key), path,
                  "no locale the launcher chooses starts with " + quotedUtf8(prefix) +
                      " (prefixes are such as \"de\", \"de_CH\" or \"\" for every locale)");
            return;
        }
        std::map<std::int32_t, WideString>& records = localized_[latin1(prefix)];
        for (auto&& [name, node] : table) {
            const SettingShape* shape = settingByPath("messages." + std::string(name.str()));
            std::string setting = path + "." + std::string(name.str());
            if (!shape) {
                unknown(name, "messages", setting);
                continue;
            }
            if (std::optional<WideString> text = string(node, setting)) {
                if (text->find(u'\0') != WideString::npos) {
                    error(lineOf(node), setting, "holds a NUL character");
                } else {
                    records[shape->key] = std::move(*text);
                }
            }
        }
    }

    std::optional<std::int32_t> keyNumber(const toml::key& key, const std::string& path) {
        if (std::optional<std::int32_t> number = tools::keyNumber(key.str())) return number;
        error(lineOf(key), path, "raw records are numbered: \"149\" = \"...\"");
        return std::nullopt;
    }

    void raw(const toml::table& table) {
        for (auto&& [key, node] : table) {
            std::string path = "raw." + std::string(key.str());
            if (key.str() == "wide" && node.is_table()) {
                for (auto&& [wideKey, wideNode] : *node.as_table()) {
                    std::string widePath = path + "." + std::string(wideKey.str());
                    std::optional<std::int32_t> number = keyNumber(wideKey, widePath);
                    std::optional<WideString> text = string(wideNode, widePath);
                    if (number && text) wide_[*number] = std::move(*text);
                }
                continue;
            }
            std::optional<std::int32_t> number = keyNumber(key, path);
            if (!number) continue;
            if (const KeyInfo* info = findKey(*number)) {
                error(lineOf(key), path,
                      "key " + std::string(key.str()) + " is the setting " + info->setting +
                          "; set it there");
                continue;
            }
            std::optional<WideString> text = string(node, path);
            std::optional<std::string> value = text ? narrow(node, path, *text) : std::nullopt;
            if (!value) continue;
            narrow_[*number] = std::move(*value);
            origins_[*number] = {lineOf(node), path};
        }
    }

    void finish() {
        if (!narrow_.count(kKeyMainClass)) {
            error(0, "application.main-class",
                  "is missing; the launcher has no application to start without it");
        }
        for (const auto& [key, value] : narrow_) {
            const Origin& origin = origins_[key];
            std::string tooLong = capacityFault(key, value.size());
            if (!tooLong.empty()) error(origin.line, origin.setting, tooLong);
            if (value.find('\0') != std::string::npos) {
                error(origin.line, origin.setting,
                      "holds a NUL character, which would end the value for the launcher");
            }
        }
        bool splash = narrow_.count(kKeySplashEnabled) && narrow_[kKeySplashEnabled] == "1";
        bool runtimeSplash =
            narrow_.count(kKeySplashThroughRuntime) && narrow_[kKeySplashThroughRuntime] == "1";
        if (splash && !runtimeSplash && !givenPictures_.count("splash.bitmap")) {
            warning("splash.enabled",
                    "the splash window shows a grey area: no splash.bitmap is given");
        }
        if (splash && runtimeSplash && !givenPictures_.count("splash.image")) {
            warning("splash.runtime-library",
                    "the runtime's splash library gets no picture: no splash.image is given");
        }
        if (!out_.errors.empty()) return;

        BlockDescription& description = out_.description;
        for (auto& [key, value] : narrow_) description.narrow.push_back({key, std::move(value)});
        for (auto& [key, value] : wide_) description.wide.push_back({key, std::move(value)});
        for (auto& [prefix, records] : localized_) {
            LocalizedSet set{prefix, {}};
            for (auto& [key, value] : records) set.records.push_back({key, std::move(value)});
            description.localized.push_back(std::move(set));
        }
        description.included = std::move(included_);
        // The block writer's own checks; everything above should already have caught what
        // they find.
        for (const std::string& fault : validateDescription(description)) {
            out_.errors.push_back(fileName_ + ": " + fault);
        }
        if (!out_.errors.empty()) out_.description = {};
    }

    std::string fileName_;
    fs::path directory_;
    const FileSource& files_;
    LauncherConfig& out_;
    bool defaults_ = true;
    std::set<std::string> givenPictures_;
    std::map<std::int32_t, std::string> narrow_;
    std::map<std::int32_t, Origin> origins_;
    std::map<std::int32_t, WideString> wide_;
    std::map<std::string, std::map<std::int32_t, WideString>> localized_;
    std::vector<IncludedFile> included_;
};

}  // namespace

std::vector<std::int32_t> addDefaults(std::map<std::int32_t, std::string>& narrow,
                                      const std::optional<std::string>& splashBitmap) {
    std::vector<std::int32_t> added;
    auto add = [&](std::int32_t key, std::string value) {
        if (narrow.emplace(key, std::move(value)).second) added.push_back(key);
    };
    for (std::int32_t key = kMessageTitle; key <= kMessageDamagedJvm64; ++key) {
        add(key, findKey(key)->defaultText);
    }
    add(kKeySearchSequence, "B.\\jre;Y;V;");
    add(kKeyExecutableType, *executableTypeValue("windowed"));
    std::string ignored;
    if (std::optional<Bitmap> bitmap =
            splashBitmap ? bitmapFromFile(*splashBitmap, ignored) : std::nullopt) {
        add(kKeySplashWidth, std::to_string(bitmap->width));
        add(kKeySplashHeight, std::to_string(bitmap->height));
    }
    std::sort(added.begin(), added.end());
    return added;
}

LauncherConfig parseLauncherConfig(std::string_view text, std::string_view fileName,
                                   const std::filesystem::path& directory,
                                   const FileSource& files) {
    LauncherConfig config;
    toml::table root;
    try {
        root = toml::parse(text, fileName);
    } catch (const toml::parse_error& failure) {
        const toml::source_position& at = failure.source().begin;
        config.errors.push_back(std::string(fileName) + ":" + std::to_string(at.line) + ":" +
                                std::to_string(at.column) + ": " +
                                std::string(failure.description()));
        return config;
    }
    Parser(fileName, directory, files, config).run(root);
    return config;
}

}  // namespace tesmo::tools
