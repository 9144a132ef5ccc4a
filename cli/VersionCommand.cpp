// version: the program's version, then the firmware version of the programmer(s).
#include "cli/Command.h"
#include "cli/DeviceRunner.h"

namespace {

DeviceResult firmwareVersion(DeviceSession& session) {
    const OperationResult asked = session.operations().firmwareVersion(session.context().stop);
    const DeviceResult result = session.resultOf(asked);
    session.reportEnd("version", result, Json{{"firmware", asked.version}}, asked.version);
    return result;
}

ExitCode runVersion(CliContext& context) {
    const std::string program = std::string("brimwick-cli ") + BRIMWICK_VERSION;
    context.output.result(Json{{"event", "version"}, {"program", program}}, program);
    return runOnProgrammers(context, {"version", false, nullptr}, firmwareVersion);
}

} // namespace

Command addVersionCommand(CLI::App& parent) {
    CLI::App* app = parent.add_subcommand(
        "version", "Show the program's version and the programmer's firmware version");
    return {app, runVersion};
}
