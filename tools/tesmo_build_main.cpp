// tesmo-build: makes a launcher from a configuration file, and prints a launcher's
// configuration back as such a file.
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "tools/block_writer.h"
#include "tools/file_io.h"
#include "tools/launcher_config.h"
#include "tools/launcher_decoder.h"
#include "tools/launcher_resources.h"
#include "tools/stub_location.h"
#include "tools/tool_main.h"

namespace tesmo::tools {
namespace {

namespace fs = std::filesystem;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = kToolFailure;

constexpr char kUsage[] =
    "usage: tesmo-build build CONFIG.toml [--stub STUB.exe | --stub-dir FOLDER]\n"
    "                         --out LAUNCHER.exe\n"
    "       tesmo-build inspect LAUNCHER.exe [--out CONFIG.toml] [--files FOLDER]\n"
    "       tesmo-build --version\n"
    "\n"
    "build    writes LAUNCHER.exe: the stub with the pictures and the settings of CONFIG.toml;\n"
    "         nothing is written when CONFIG.toml has errors. File names in CONFIG.toml are\n"
    "         relative to its folder. Without --stub the stub is tesmo32.exe, or tesmo64.exe\n"
    "         for [executable] architecture = \"x64\", from the folder of tesmo-build itself,\n"
    "         else from --stub-dir FOLDER.\n"
    "inspect  prints the configuration of LAUNCHER.exe (to CONFIG.toml with --out), in the\n"
    "         form that builds the same configuration block again. --files FOLDER receives\n"
    "         the included files and the pictures, which the configuration then names.\n"
    "\n"
    "Exit status: 0 on success, 2 on any error. See README.md, \"Making a launcher\", for the\n"
    "settings.\n";

struct Options {
    std::string command;
    std::string input;
    std::map<std::string, std::string> values;  // --stub, --stub-dir, --out, --files
};

void report(const std::vector<std::string>& lines, const char* kind = "") {
    for (const std::string& line : lines) {
        std::fprintf(stderr, "tesmo-build: %s%s\n", kind, line.c_str());
    }
}

std::vector<std::string> parseOptions(const std::vector<std::string>& args, Options& options) {
    std::vector<std::string> errors;
    if (args.empty()) return {"give a command: build or inspect"};
    options.command = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!options.input.empty()) errors.push_back("unexpected argument \"" + arg + "\"");
            options.input = arg;
            continue;
        }
        bool known = arg == "--out" ||
                     (options.command == "build" && (arg == "--stub" || arg == "--stub-dir")) ||
                     (options.command == "inspect" && arg == "--files");
        if (!known) {
            errors.push_back("unknown option \"" + arg + "\" for " + options.command);
        } else if (i + 1 == args.size() || args[i + 1].empty()) {
            errors.push_back(arg + " needs a value");
        } else if (!options.values.emplace(arg, args[i + 1]).second) {
            errors.push_back(arg + " is given twice");
        }
        ++i;
    }
    return errors;
}

// Without --stub, the folder of the tool comes before --stub-dir: a release holds its stubs
// beside the tool.
StubLocation findStub(const Options& options, std::string_view architecture) {
    std::vector<fs::path> folders;
    if (fs::path own = toolFolder(); !own.empty()) folders.push_back(own);
    if (auto given = options.values.find("--stub-dir"); given != options.values.end())
        folders.push_back(pathFromUtf8(given->second));
    return locateStub(architecture, folders, [](const fs::path& path) {
        std::error_code error;
        return fs::is_regular_file(path, error);
    });
}

// The stub's bytes, with what is wrong with it for `architecture` in `errors`. A stub must
// be of that architecture when the tool found it or the configuration names it; a stub
// named with --stub under the default architecture is the user's choice, and a different
// machine is only pointed out.
std::optional<std::string> readStub(const Options& options, std::string_view architecture,
                                    bool architectureGiven, std::vector<std::string>& errors) {
    auto given = options.values.find("--stub");
    StubLocation found;
    if (given == options.values.end()) {
        found = findStub(options, architecture);
        if (found.path.empty()) {
            errors.push_back(found.error);
            return std::nullopt;
        }
    }
    std::string name = given == options.values.end() ? utf8Path(found.path) : given->second;
    std::optional<std::string> stub = readWholeFile(pathFromUtf8(name));
    if (!stub) {
        errors.push_back("cannot read the stub " + name);
        return std::nullopt;
    }
    for (std::string& fault : validateStub(*stub)) errors.push_back("stub: " + fault);
    if (std::string fault = stubArchitectureFault(*stub, architecture); !fault.empty()) {
        if (given == options.values.end() || architectureGiven)
            errors.push_back(name + ": " + fault);
        else
            report({name + ": " + fault}, "warning: ");
    }
    return stub;
}

int build(const Options& options) {
    std::vector<std::string> errors;
    if (options.input.empty()) errors.push_back("build needs a configuration file");
    if (!options.values.count("--out")) errors.push_back("--out is missing");
    if (options.values.count("--stub") && options.values.count("--stub-dir"))
        errors.push_back("give --stub or --stub-dir, not both");
    if (!errors.empty()) {
        report(errors);
        return kExitFailure;
    }
    fs::path configPath = pathFromUtf8(options.input);
    std::optional<std::string> text = readWholeFile(configPath);
    if (!text) {
        report({"cannot read the configuration " + options.input});
        return kExitFailure;
    }
    LauncherConfig config =
        parseLauncherConfig(*text, options.input, configPath.parent_path(), readWholeFile);
    report(config.warnings, "warning: ");
    errors = config.errors;
    std::optional<std::string> stub;
    if (errors.empty())
        stub = readStub(options, config.images.executable.architecture, config.architectureGiven,
                        errors);
    if (!errors.empty()) {
        report(errors);
        return kExitFailure;
    }
    ImageEdit edited = setLauncherImages(*stub, config.images);
    if (!edited.error.empty()) {
        report({"stub: " + edited.error});
        return kExitFailure;
    }
    LauncherBuild launcher = buildLauncher(edited.bytes, config.description);
    if (launcher.errors.empty()) {
        if (auto failure =
                writeReplacing(pathFromUtf8(options.values.at("--out")), launcher.bytes)) {
            launcher.errors.push_back(*failure);
        }
    }
    report(launcher.errors);
    return launcher.errors.empty() ? kExitSuccess : kExitFailure;
}

// Builds the printed configuration again from memory and compares the blocks, so that
// inspect says so whenever its output would not give the same block.
std::vector<std::string> rebuildDifferences(const DecodedLauncher& launcher,
                                            std::string_view launcherBytes,
                                            const PrintedConfig& printed, const fs::path& base,
                                            const std::string& folder) {
    std::map<fs::path, std::string> written;
    for (const auto& [name, bytes] : printed.files) {
        written[(base / pathFromUtf8(folder + "/" + name)).lexically_normal()] = bytes;
    }
    FileSource source = [&](const fs::path& path) -> std::optional<std::string> {
        auto found = written.find(path.lexically_normal());
        if (found == written.end()) return std::nullopt;
        return found->second;
    };
    LauncherConfig rebuilt =
        parseLauncherConfig(printed.text, "(printed configuration)", base, source);
    if (!rebuilt.errors.empty()) {
        std::vector<std::string> problems = {"the printed configuration does not build:"};
        problems.insert(problems.end(), rebuilt.errors.begin(), rebuilt.errors.end());
        return problems;
    }
    std::string_view block =
        launcherBytes.substr(launcher.blockStart, launcher.blockEnd - launcher.blockStart);
    if (encodeBlock(rebuilt.description) != block ||
        rebuilt.description.included != launcher.description.included) {
        return {"building from the printed configuration would not give the same block"};
    }
    return {};
}

// How the configuration names the files folder: relative to the configuration's own
// folder where it can, "/"-separated.
std::string folderName(const fs::path& filesPath, const fs::path& base) {
    fs::path relative = filesPath.lexically_relative(base);
    std::u8string generic = (relative.empty() ? filesPath : relative).generic_u8string();
    return std::string(generic.begin(), generic.end());
}

// One message for each file that could not be written.
std::vector<std::string> writePrintedFiles(const PrintedConfig& printed,
                                           const fs::path& filesPath) {
    std::vector<std::string> errors;
    for (const auto& [name, content] : printed.files) {
        fs::path target = filesPath / pathFromUtf8(name);
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        if (auto failure = writeReplacing(target, content)) errors.push_back(*failure);
    }
    return errors;
}

int inspect(const Options& options) {
    if (options.input.empty()) {
        report({"inspect needs a launcher"});
        return kExitFailure;
    }
    std::optional<std::string> bytes = readWholeFile(pathFromUtf8(options.input));
    if (!bytes) {
        report({"cannot read " + options.input});
        return kExitFailure;
    }
    DecodedLauncher launcher = decodeLauncher(*bytes);
    if (!launcher.error.empty()) {
        report({options.input + ": " + launcher.error});
        return kExitFailure;
    }
    std::vector<std::string> warnings;
    std::string resourceError;
    LauncherImages images = readLauncherImages(*bytes, resourceError);
    if (!resourceError.empty())
        warnings.push_back("the resources cannot be read: " + resourceError);
    if (launcher.filesEnd < bytes->size()) {
        warnings.push_back(std::to_string(bytes->size() - launcher.filesEnd) +
                           " bytes behind the configuration (a signature?) are not printed");
    }

    auto out = options.values.find("--out");
    fs::path base = out == options.values.end()
                        ? fs::current_path()
                        : fs::absolute(pathFromUtf8(out->second)).parent_path();
    std::string folder;
    fs::path filesPath;
    if (auto files = options.values.find("--files"); files != options.values.end()) {
        filesPath = fs::absolute(pathFromUtf8(files->second));
        folder = folderName(filesPath, base);
    }
    PrintedConfig printed = printLauncherConfig(launcher.description, images, folder);
    warnings.insert(warnings.end(), printed.warnings.begin(), printed.warnings.end());
    for (std::string& problem : rebuildDifferences(launcher, *bytes, printed, base, folder)) {
        warnings.push_back(std::move(problem));
    }

    std::vector<std::string> errors = writePrintedFiles(printed, filesPath);
    std::string text = "# The configuration of " + options.input +
                       ", printed by tesmo-build inspect.\n" + printed.text;
    if (out == options.values.end()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else if (auto failure = writeReplacing(pathFromUtf8(out->second), text)) {
        errors.push_back(*failure);
    }
    report(warnings, "warning: ");
    report(errors);
    return errors.empty() ? kExitSuccess : kExitFailure;
}

int run(const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        std::fputs(kUsage, stdout);
        return kExitSuccess;
    }
    Options options;
    std::vector<std::string> errors = parseOptions(args, options);
    if (errors.empty() && options.command != "build" && options.command != "inspect") {
        errors.push_back("unknown command \"" + options.command + "\"");
    }
    if (!errors.empty()) {
        report(errors);
        std::fputs("tesmo-build: see tesmo-build --help\n", stderr);
        return kExitFailure;
    }
    return options.command == "build" ? build(options) : inspect(options);
}

}  // namespace
}  // namespace tesmo::tools

TESMO_TOOL_MAIN("tesmo-build", tesmo::tools::run)
