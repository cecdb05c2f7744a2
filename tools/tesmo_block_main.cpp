// tesmo-block: puts a configuration block and the included files behind a launcher stub.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/block_writer.h"
#include "tools/file_io.h"
#include "tools/raw_config.h"
#include "tools/tool_main.h"

namespace tesmo::tools {
namespace {

namespace fs = std::filesystem;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = kToolFailure;

constexpr char kUsage[] =
    "usage: tesmo-block --stub STUB.exe [--raw CONFIG.txt] [--set KEY=VALUE]... --out OUT.exe\n"
    "\n"
    "Writes OUT.exe: the stub, a configuration block and the included files.\n"
    "\n"
    "  --stub FILE       the launcher stub (a stripped Windows executable)\n"
    "  --raw FILE        the configuration in raw text form (UTF-8)\n"
    "  --set KEY=VALUE   a narrow record, applied after the raw file and replacing a\n"
    "                    record of the same key; --set wide.KEY=VALUE for a wide one.\n"
    "                    Repeatable; --raw may be left out when --set is given.\n"
    "  --out FILE        the launcher to write; nothing is written when there are errors\n"
    "  --help            this text\n"
    "\n"
    "Raw form, one item a line:\n"
    "  # comment\n"
    "  KEY=VALUE                 narrow record, characters U+0000 to U+00FF\n"
    "  wide.KEY=VALUE            wide record\n"
    "  [locale PREFIX]           starts a localized set (PREFIX may be empty); later\n"
    "                            KEY=VALUE lines are its wide records\n"
    "  include NAME=HOSTPATH     carries HOSTPATH (relative to the raw file) as NAME\n"
    "                            (\"file\" or \"dir\\file\"); keys 2002 and 2003 follow\n"
    "Values understand \\n \\r \\t \\\\ \\xHH \\uHHHH.\n"
    "\n"
    "Exit status: 0 when the launcher was written, 2 on any error.\n";

struct Options {
    std::string stub;
    std::string raw;
    std::string out;
    std::vector<std::string> assignments;
    bool help = false;
};

void parseOptions(const std::vector<std::string>& args, Options& options,
                  std::vector<std::string>& errors) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        std::string* single = arg == "--stub"  ? &options.stub
                              : arg == "--raw" ? &options.raw
                              : arg == "--out" ? &options.out
                                               : nullptr;
        if (!single && arg != "--set") {
            errors.push_back("unknown argument \"" + arg + "\"");
            continue;
        }
        if (i + 1 == args.size()) {
            errors.push_back(arg + " needs a value");
            break;
        }
        const std::string& value = args[++i];
        if (!single) {
            options.assignments.push_back(value);
        } else if (!single->empty()) {
            errors.push_back(arg + " is given twice");
        } else if (value.empty()) {
            errors.push_back(arg + " needs a value");
        } else {
            *single = value;
        }
    }
    if (options.help) return;
    if (options.stub.empty()) errors.push_back("--stub is missing");
    if (options.out.empty()) errors.push_back("--out is missing");
    if (options.raw.empty() && options.assignments.empty()) {
        errors.push_back("give --raw, --set or both");
    }
}

void readRawConfig(const Options& options, BlockDescription& description,
                   std::vector<std::string>& errors) {
    std::optional<std::string> text = readWholeFile(pathFromUtf8(options.raw));
    if (!text) {
        errors.push_back("cannot read the configuration " + options.raw);
        return;
    }
    RawConfig raw = parseRawConfig(*text, options.raw);
    errors.insert(errors.end(), raw.errors.begin(), raw.errors.end());
    description = std::move(raw.description);

    fs::path base = pathFromUtf8(options.raw).parent_path();
    for (const IncludeLine& include : raw.includes) {
        fs::path host = pathFromUtf8(include.hostPath);
        if (host.is_relative()) host = base / host;
        std::optional<std::string> content = readWholeFile(host);
        if (!content) {
            errors.push_back(options.raw + ":" + std::to_string(include.line) +
                             ": cannot read the included file " + utf8Path(host));
            continue;
        }
        description.included.push_back({include.name, std::move(*content)});
    }
}

int run(const std::vector<std::string>& args) {
    Options options;
    std::vector<std::string> errors;
    parseOptions(args, options, errors);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitSuccess;
    }
    if (!errors.empty()) {
        for (const std::string& error : errors)
            std::fprintf(stderr, "tesmo-block: %s\n", error.c_str());
        std::fputs("tesmo-block: see --help\n", stderr);
        return kExitFailure;
    }

    std::optional<std::string> stub = readWholeFile(pathFromUtf8(options.stub));
    if (!stub) errors.push_back("cannot read the stub " + options.stub);
    BlockDescription description;
    if (!options.raw.empty()) readRawConfig(options, description, errors);
    for (const std::string& assignment : options.assignments) {
        for (std::string& error : applyAssignment(description, assignment, "--set " + assignment)) {
            errors.push_back(std::move(error));
        }
    }

    LauncherBuild build;
    if (stub) {
        build = buildLauncher(*stub, description);
        errors.insert(errors.end(), build.errors.begin(), build.errors.end());
    } else {
        for (std::string& error : validateDescription(withIncludedFileKeys(description))) {
            errors.push_back(std::move(error));
        }
    }
    if (errors.empty()) {
        if (std::optional<std::string> failure =
                writeReplacing(pathFromUtf8(options.out), build.bytes)) {
            errors.push_back(*failure);
        }
    }
    for (const std::string& error : errors)
        std::fprintf(stderr, "tesmo-block: %s\n", error.c_str());
    return errors.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace
}  // namespace tesmo::tools

TESMO_TOOL_MAIN("tesmo-block", tesmo::tools::run)
