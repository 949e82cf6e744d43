#include <cstdio>
#include <cstring>
#include <iterator>

#include "cli/commands.h"
#include "package/resources.h"
#include "platform/socket.h"
#include "platform/system.h"

namespace vcq::cli {
namespace {

const Command kCommands[] = {
    {"check", "check HOST[:PORT] --user NAME [--password-file FILE|--password PASS]",
     "Checks whether the camera may be upgraded and prints its model, version and serial.\n"
     "      The password comes from --password, --password-file FILE (its first line),\n"
     "      VCQ_PASSWORD, or a prompt without echo on a terminal, in that order.\n"
     "      Exit 0: passed; 1: refused or no answer; 2: usage error.",
     RunCheck},
    {"backup", "backup HOST[:PORT] --user NAME [--password-file FILE|--password PASS]",
     "Saves the camera's configuration into the backup folder and prints `saved: PATH`.\n"
     "      Exit 0: saved; 1: not saved; 2: usage error.",
     RunBackup},
    {"restore", "restore HOST[:PORT] FILE [--force]",
     "Uploads FILE as the camera's configuration and prints `result: N`: 0 taken, -1 not\n"
     "      sent, -2 no whole answer, -3 refused by the camera. A backup file of another\n"
     "      camera (its serial in the name) is refused with both serials named, unless\n"
     "      --force. Exit 0 only for result 0, else 1.",
     RunRestore},
    {"upgrade",
     "upgrade HOST[:PORT] --user NAME [--password-file FILE|--password PASS] "
     "[--no-retain|--backup] [--allow-downgrade] [--yes]",
     "Upgrades the camera to the built-in firmware as the wizard's manual mode does,\n"
     "      printing each step as it happens as `step N TEXT`, a failure with its reason.\n"
     "      The configuration is saved first and restored afterwards unless --no-retain;\n"
     "      --backup keeps the saved file. A camera at 1.08 or 1.09 loses its settings,\n"
     "      IP address included: the tool asks, and answers no unless --yes is given.\n"
     "      A camera newer than the built-in firmware is downgraded only with\n"
     "      --allow-downgrade.\n"
     "      Exit 0: step 8\n"
     "      reached (and the configuration restored); 1: not upgraded (refused, failed or\n"
     "      answered no); 2: usage error; 3: upgraded, but the configuration was not\n"
     "      restored (the saved file is kept).",
     RunUpgrade},
    {"batch",
     "batch [HOST[:PORT]...] [--csv FILE|-] [--discover [--allow-broadcast]] [--logins FILE] "
     "[--user NAME [--password-file FILE|--password PASS]] [--no-retain|--backup] "
     "[--allow-reset] [--allow-downgrade] [--reflash] [--in-service N] [--max-failures N] "
     "[--json] [--failed-list FILE] [--dry-run|--yes]",
     "Upgrades many cameras as the wizard's automatic mode does: at most four in service,\n"
     "      one upload at a time. Cameras are the addresses given, those of the camera list\n"
     "      FILE (- for standard input, with --yes; one ADDRESS[,PORT] a line, as the wizard\n"
     "      loads it, # comments and a first line of column names skipped; refused whole,\n"
     "      naming the first wrong line) and, with --discover, those that answer the\n"
     "      broadcast enquiry (see discover). --logins FILE gives cameras their own login,\n"
     "      one ADDRESS[,PORT],USER,PASSWORD a line (the batch's cameras when none is\n"
     "      given otherwise); the others take --user and the password (see check).\n"
     "      The configuration is retained unless --no-retain. --dry-run only checks each\n"
     "      camera and prints what the batch would do and why (exit 0: none is left out\n"
     "      but on purpose; 1: one is). Prints `ID ADDRESS STATUS` at every\n"
     "      change (on a terminal under a live status line), then `Proceeded: N/M`,\n"
     "      `Log file: PATH` and the upgrade log, which is also saved, lines ending in\n"
     "      CR LF, beside the batch's backups. --json prints one JSON object a line\n"
     "      instead (status, end and summary events; see README).\n"
     "      --failed-list FILE writes the cameras whose upgrade must run again, for\n"
     "      --csv; those told to flash whose configuration is kept are retry's.\n"
     "      --in-service N (1 to 16, default 4) lets more cameras reboot at once; uploads\n"
     "      stay one at a time. --max-failures N starts no further camera once N have\n"
     "      failed. Asks before it starts unless --yes; without a terminal to\n"
     "      ask on, that is a usage error. A camera at 1.08 or 1.09 would lose its\n"
     "      settings, IP address included: it is refused unless --allow-reset (--yes does\n"
     "      not agree to that). A camera of another firmware generation is left out, its\n"
     "      reason logged; one newer than the package is refused unless --allow-downgrade;\n"
     "      one already at the package's version is left alone (up to date)\n"
     "      unless --reflash. Each camera's own check, at its turn, applies these again\n"
     "      to what the camera says then, and reads the serial its backup is named by.\n"
     "      The text output ends with a one-line summary. Ctrl-C aborts:\n"
     "      cameras under way finish, the others are not started. Exit 0: nothing failed\n"
     "      (completed, up to date, of another generation or newer than the package);\n"
     "      1: a camera failed or was not started, or the answer was no; 2: usage error;\n"
     "      3: every shortfall is a camera upgraded that did not take its configuration\n"
     "      back (the files are kept); 130: stopped by the operator.\n"
     "      VCQ_BATCH_STATS=1 prints the longest engine tick and the time-left estimate's\n"
     "      error to stderr.",
     RunBatch},
    {"retry",
     "retry LOG [--logins FILE] [--user NAME [--password-file FILE|--password PASS]] "
     "[--no-retain|--backup] [--allow-reset] [--allow-downgrade] [--in-service N] "
     "[--max-failures N] [--json] [--failed-list FILE] [--yes]",
     "Runs again the cameras of an earlier batch that did not complete. LOG is the path\n"
     "      that batch printed on `Log file:`; its events are read from the\n"
     "      upgrade-log.jsonl every batch saves beside its log. A camera that was upgraded\n"
     "      but did not take its configuration back only gets its saved file back; one\n"
     "      that failed after the upgrade was ordered gets it back when it answers with\n"
     "      the package's version, and is upgraded again otherwise; the others are\n"
     "      upgraded as by batch (--allow-reset and --allow-downgrade as there). No camera\n"
     "      is flashed twice to the same version. Logins\n"
     "      as for batch (the events hold none); output, log, events and exit codes too.\n"
     "      A LOG without its events, or events that are not a batch's, exit 1.",
     RunRetry},
    {"discover", "discover [--second-after MS] [--stop-after MS] [--allow-broadcast]",
     "Broadcasts the discovery enquiry twice and prints one tab-separated line per camera:\n"
     "      mac, ip, webPort, model, serial, softVersion, dhcp, dnsAuto.\n"
     "      A development build broadcasts only inside tests/isolated or with\n"
     "      --allow-broadcast; a release build always does. Exit 0: done; 1-5: socket\n"
     "      failure; 6: refused to broadcast.",
     RunDiscover},
    {"extract", "extract ARCHIVE|embedded DIR",
     "Unpacks an LHA archive (or the embedded package) into DIR, folders included,\n"
     "      and prints the member count. Exit 0: every member written, CRC good;\n"
     "      1: a member skipped or damaged; 2: cannot open.",
     RunExtract},
};

// Every line of a summary at the same depth, however the text indents its
// continuation lines.
void PrintSummary(std::FILE* out, const char* summary) {
    const char* line = summary;
    while (*line) {
        line += std::strspn(line, " ");
        size_t length = std::strcspn(line, "\n");
        std::fprintf(out, "      %.*s\n", static_cast<int>(length), line);
        line += length;
        if (*line == '\n')
            ++line;
    }
}

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "vcq-upgrade-cli: headless front end of the VCQ firmware upgrade tool.\n\n"
                 "Usage: vcq-upgrade-cli COMMAND [ARGS...]\n"
                 "       vcq-upgrade-cli --version\n\nCommands:\n");
    for (const Command& c : kCommands) {
        std::fprintf(out, "  %s\n", c.usage);
        PrintSummary(out, c.summary);
    }
    std::fprintf(out, "\nMessages the tool would show the operator go to stderr.\n");
}

}  // namespace
}  // namespace vcq::cli

int main(int argc, char** argv) {
    using namespace vcq::cli;
    vcq::sys::UseUtf8Output();
    // UTF-8 words on every system: on Windows argv is in the ANSI code page.
    const std::vector<std::string> words = vcq::sys::CommandLineWords(argc, argv);
    if (words.size() < 2) {
        PrintHelp(stderr);
        return kUsageError;
    }
    const std::string& command = words[1];
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp(stdout);
        return 0;
    }
    if (command == "--version") {
        std::fputs(vcq::VersionText("vcq-upgrade-cli").c_str(), stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (command == c.name) {
            Args args(words.begin() + 2, words.end());
            for (const auto& a : args) {
                if (a == "--help" || a == "-h") {
                    std::printf("Usage: vcq-upgrade-cli %s\n", c.usage);
                    PrintSummary(stdout, c.summary);
                    return 0;
                }
            }
            if (!vcq::net::StartSockets()) {
                std::fprintf(stderr, "%s\n", vcq::LoadStringEntry(vcq::kStrSocketsFailed).c_str());
                return 1;
            }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "vcq-upgrade-cli: unknown command '%s'\n\n", command.c_str());
    PrintHelp(stderr);
    return kUsageError;
}
