#include "core/command_line.h"

#include <cstring>

namespace tesmo {

void splitCommandLine(WideView text, ArgumentList& list) {
    std::size_t pos = 0;
    const std::size_t npos = WideView::npos;
    while (pos < text.size()) {
        std::size_t doubleQuote = text.find(u'"', pos);
        std::size_t singleQuote = text.find(u'\'', pos);
        std::size_t space = text.find(u' ', pos);
        if (space == pos) {
            ++pos;
            continue;
        }
        std::size_t quote = doubleQuote < singleQuote ? doubleQuote : singleQuote;
        if (space != npos && space < quote) {
            list.emplace_back(text.substr(pos, space - pos));
            pos = space + 1;
            continue;
        }
        if (quote == npos) {
            list.emplace_back(text.substr(pos));
            break;
        }
        std::size_t closing = text.find(text[quote], quote + 1);
        if (closing == npos) closing = text.size();
        WideString argument(text.substr(pos, quote - pos));
        argument.append(text.substr(quote + 1, closing - quote - 1));
        list.push_back(std::move(argument));
        pos = closing + 1;
        if (pos < text.size() && text[pos] == u' ') ++pos;
    }
}

bool isRebootRequest(const char* line) {
    return line && std::strcmp(line, "__kvn_reboot") == 0;
}

bool isLanguageRestart(const char* line) {
    return line && std::strncmp(line, "__kvn_lang_restart", 18) == 0;
}

bool isInternalQuiet(const char* line) {
    return line && std::strncmp(line, "-q_kvn_internal", 15) == 0;
}

bool takeLogSwitch(ArgumentList& list) {
    if (list.size() < 2) return false;
    const WideString& first = list[1];
    if (first != u"-create-kvn-log" && first != u"-create-tsm-log" && first != u"/create-kvn-log" &&
        first != u"/create-tsm-log") {
        return false;
    }
    list.erase(list.begin() + 1);
    return true;
}

ConsoleSwitches scanConsoleSwitches(const ArgumentList& list, bool acceptQuietSwitches) {
    ConsoleSwitches result;
    for (const WideString& argument : list) {
        if (argument == u"-q" && acceptQuietSwitches) {
            result.quiet = true;
        } else if (argument == u"-console") {
            ++result.consoleRequests;
        } else if (argument == u"-c" && acceptQuietSwitches) {
            result.quiet = true;
            ++result.consoleRequests;
            break;
        }
    }
    return result;
}

const char* productNameFor(char flavourLetter) {
    return flavourLetter == 't' ? "tesmo" : "korvane";
}

}  // namespace tesmo
