#pragma once
// The commands of rmtool; each returns its exit status (CommandLine.h, exitcode).
#include "CommandLine.h"
#include "Console.h"
#include "WordScanner.h"

namespace rollmode::rmtool {

int RunInfo(const Options& options, TConsole& console);
int RunCheck(const Options& options, TConsole& console);
int RunDump(const Options& options, TConsole& console);
int RunExport(const Options& options, TConsole& console);  // export and stats

// Says how a read ended when the file was not whole and gives the exit status.
int ReportScan(const records::TWordScanner& scanner, const std::string& path, TConsole& console,
               const char* beforeFault);

}  // namespace rollmode::rmtool
