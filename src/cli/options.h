// Small parser for "POSITIONAL... --name VALUE" command lines.
#pragma once

#include <initializer_list>
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

// The words of several option sets together.
std::set<std::string> Words(std::initializer_list<std::set<std::string>> sets);

// `valued` names the options that take a value, `flags` those that do not.
ParsedArgs ParseArgs(const Args& args, const std::set<std::string>& valued,
                     const std::set<std::string>& flags = {});

// What happens to the camera's configuration: retained unless --no-retain
// (--retain is the default said out loud), the saved file kept with
// --backup. An error message when the words contradict each other.
struct RetainChoice {
    bool retain = true;
    bool keepBackup = false;
};
inline const std::set<std::string> kRetainFlags = {"--retain", "--no-retain", "--backup"};
std::optional<RetainChoice> ReadRetainChoice(const ParsedArgs& parsed, std::string& error);

// Prints "vcq-upgrade-cli NAME: MESSAGE" and the usage line; returns kUsageError.
int UsageError(const char* command, const std::string& message);

}  // namespace vcq::cli
