// Small parser for "POSITIONAL... --name VALUE" command lines.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace vcq::cli {

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // "--user" -> "admin"
    std::set<std::string> flags;                 // "--allow-broadcast"
    std::string error;                           // set when the words are off

    std::optional<std::string> Option(const std::string& name) const;
};

// `valued` names the options that take a value, `flags` those that do not.
ParsedArgs ParseArgs(const Args& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags = {});

// Prints "vcq-upgrade-cli NAME: MESSAGE" and the usage line; returns kUsageError.
int UsageError(const char* command, const std::string& message);

}  // namespace vcq::cli
