#include <cstdio>
#include <cstring>
#include <iterator>

#include "cli/commands.h"

namespace vcq::cli {
namespace {

const Command kCommands[] = {
    {"check", "check HOST[:PORT] --user NAME --password PASS",
     "Checks whether the camera may be upgraded and prints its model, version and serial.\n"
     "      Exit 0: passed; 1: refused or no answer; 2: usage error.",
     RunCheck},
    {"backup", "backup HOST[:PORT] --user NAME --password PASS",
     "Saves the camera's configuration into the backup folder and prints `saved: PATH`.\n"
     "      Exit 0: saved; 1: not saved; 2: usage error.",
     RunBackup},
    {"restore", "restore HOST[:PORT] FILE",
     "Uploads FILE as the camera's configuration and prints `result: N` (0, -1 or -2).\n"
     "      Exit 0 only for result 0.",
     RunRestore},
    {"upgrade", "upgrade HOST[:PORT] --user NAME --password PASS [--retain [--backup]]",
     "Upgrades the camera to the built-in firmware as the wizard's manual mode does,\n"
     "      printing each step as `step N TEXT`. --retain saves the configuration first and\n"
     "      restores it afterwards; --backup keeps the saved file. Exit 0: step 8 reached.",
     RunUpgrade},
    {"batch",
     "batch [HOST[:PORT]...] [--discover [--allow-broadcast]] --user NAME --password PASS\n"
     "        [--retain [--backup]] [--yes]",
     "Upgrades many cameras as the wizard's automatic mode does: at most four in service,\n"
     "      one upload at a time. Cameras are the addresses given and, with --discover, those\n"
     "      that answer the broadcast enquiry (see discover). Prints `ID ADDRESS STATUS` at\n"
     "      every change, then `Proceeded: N/M` and the upgrade log (lines end in CR LF).\n"
     "      Asks before it starts unless --yes. Ctrl-C aborts: cameras under way finish,\n"
     "      the others are dropped. Exit 0: every camera completed; 1: not; 2: usage error.\n"
     "      VCQ_BATCH_STATS=1 prints the longest engine tick to stderr.",
     RunBatch},
    {"discover", "discover [--second-after MS] [--stop-after MS] [--allow-broadcast]",
     "Broadcasts the discovery enquiry twice and prints one tab-separated line per camera:\n"
     "      mac, ip, webPort, model, serial, softVersion, dhcp, dnsAuto. Runs only inside\n"
     "      tests/isolated unless --allow-broadcast is given. Exit 0: done; 1-5: socket\n"
     "      failure; 6: refused to broadcast.",
     RunDiscover},
    {"extract", "extract ARCHIVE|embedded DIR",
     "Unpacks an LHA archive (or the embedded package) into DIR and prints the member count.\n"
     "      Exit 0: every member written, CRC good; 1: a member skipped or damaged; 2: cannot "
     "open.",
     RunExtract},
};

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "vcq-upgrade-cli: headless front end of the VCQ firmware upgrade tool.\n\n"
                 "Usage: vcq-upgrade-cli COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s\n      %s\n", c.usage, c.summary);
    std::fprintf(out, "\nMessages the tool would show the operator go to stderr.\n");
}

}  // namespace
}  // namespace vcq::cli

int main(int argc, char** argv) {
    using namespace vcq::cli;
    if (argc < 2) {
        PrintHelp(stderr);
        return kUsageError;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        PrintHelp(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (!std::strcmp(argv[1], c.name)) {
            Args args(argv + 2, argv + argc);
            for (const auto& a : args) {
                if (a == "--help" || a == "-h") {
                    std::printf("Usage: vcq-upgrade-cli %s\n%s\n", c.usage, c.summary);
                    return 0;
                }
            }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "vcq-upgrade-cli: unknown command '%s'\n\n", argv[1]);
    PrintHelp(stderr);
    return kUsageError;
}
