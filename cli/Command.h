// What every command of brimwick-cli offers main(): its CLI11 subcommand, set up with
// its own options, and the run that calls the core once the line has been parsed.
// One file per command holds its options struct, its setup and its run.
#pragma once

#include "cli/ExitCodes.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "res/Language.h"
#include "res/Texts.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <stop_token>
#include <string>

class CliBoxSink;

// What a command runs with; lives for the whole run.
struct CliContext {
    const GlobalOptions& options;
    Output& output;
    CliBoxSink& boxes;
    Language language;
    const Texts& texts;
    std::stop_token stop; // requested by Ctrl+C (SIGINT)
};

using CommandRun = std::function<ExitCode(CliContext&)>;

struct Command {
    CLI::App* app = nullptr;
    CommandRun run;
};

// Each adds its subcommand to `parent`, in the order `--help` lists them.
Command addDevicesCommand(CLI::App& parent);
Command addChipsCommand(CLI::App& parent);
Command addIdentifyCommand(CLI::App& parent);
Command addReadCommand(CLI::App& parent);
Command addWriteCommand(CLI::App& parent);
Command addVerifyCommand(CLI::App& parent);
Command addEraseCommand(CLI::App& parent);
Command addBlankCommand(CLI::App& parent);
Command addAutoCommand(CLI::App& parent);
Command addVersionCommand(CLI::App& parent);
