// version: the program's version.
#include "cli/Command.h"

namespace {

ExitCode runVersion(CliContext& context) {
    const std::string program = std::string("brimwick-cli ") + BRIMWICK_VERSION;
    context.output.result(Json{{"event", "version"}, {"program", program}}, program);
    return ExitCode::Done;
}

} // namespace

Command addVersionCommand(CLI::App& parent) {
    CLI::App* app = parent.add_subcommand("version", "Show the program's version");
    return {app, runVersion};
}
