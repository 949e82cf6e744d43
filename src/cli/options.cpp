#include "cli/options.h"

#include <cstdio>

namespace vcq::cli {

std::optional<std::string> ParsedArgs::Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end())
        return std::nullopt;
    return it->second;
}

std::set<std::string> Words(std::initializer_list<std::set<std::string>> sets) {
    std::set<std::string> all;
    for (const auto& set : sets)
        all.insert(set.begin(), set.end());
    return all;
}

ParsedArgs ParseArgs(const Args& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags) {
    ParsedArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind("--", 0) != 0) {
            parsed.positional.push_back(word);
        } else if (valued.count(word)) {
            if (i + 1 >= args.size()) {
                parsed.error = word + " needs a value";
                break;
            }
            parsed.options[word] = args[++i];
        } else if (flags.count(word)) {
            parsed.flags.insert(word);
        } else {
            parsed.error = "unknown option " + word;
            break;
        }
    }
    return parsed;
}

std::optional<RetainChoice> ReadRetainChoice(const ParsedArgs& parsed, std::string& error) {
    RetainChoice choice;
    const bool no = parsed.flags.count("--no-retain") > 0;
    choice.retain = !no;
    choice.keepBackup = parsed.flags.count("--backup") > 0;
    if (no && parsed.flags.count("--retain")) {
        error = "--retain and --no-retain contradict each other";
        return std::nullopt;
    }
    if (no && choice.keepBackup) {
        error = "--backup keeps the retained configuration: not with --no-retain";
        return std::nullopt;
    }
    return choice;
}

int UsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "vcq-upgrade-cli %s: %s (see vcq-upgrade-cli %s --help)\n", command,
                 message.c_str(), command);
    return kUsageError;
}

}  // namespace vcq::cli
