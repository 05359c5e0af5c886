// rmtool: reads, checks and exports measurement record files. The command line is
// parsed first, without any I/O; then one command runs. rmtool --help is the manual.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"

using namespace rollmode::rmtool;

int main(int argc, char** argv) {
    // A file-size limit then fails the write (EFBIG) instead of killing the process,
    // so the temporary output is removed and the user told.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = ParseCommandLine(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "rmtool: %s\n", parsed.error.c_str());
        return exitcode::kUsage;
    }
    const Options& o = parsed.options;
    switch (o.command) {
        case Command::Help:
            std::fputs((o.helpTopic.empty() ? HelpText() : CommandHelp(o.helpTopic)).c_str(), stdout);
            return exitcode::kOk;
        case Command::Version:
            std::fputs(VersionText().c_str(), stdout);
            return exitcode::kOk;
        default:
            break;
    }
    const bool progress = o.progress == Progress::On || (o.progress == Progress::Auto && ::isatty(STDERR_FILENO) != 0);
    TConsole console(progress);
    switch (o.command) {
        case Command::Info: return RunInfo(o, console);
        case Command::Check: return RunCheck(o, console);
        case Command::Dump: return RunDump(o, console);
        case Command::Export:
        case Command::Stats: return RunExport(o, console);
        default: return exitcode::kUsage;
    }
}
