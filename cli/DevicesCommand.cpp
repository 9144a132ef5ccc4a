// devices: the programmers and bridges present, real and simulated: kind and USB ID,
// device path and firmware version.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "usb/DeviceKinds.h"

namespace {

DeviceResult describe(DeviceSession& session) {
    const OperationResult asked = session.operations().firmwareVersion(session.context().stop);
    const DeviceResult result = session.resultOf(asked);
    const std::string firmware = asked.ok() ? asked.version : "?";
    const usb::DeviceKind kind = usb::deviceKindOf(session.path());
    session.context().output.result(Json{{"event", "device"},
                                         {"index", session.index()},
                                         {"kind", usb::deviceLabelOf(session.path())},
                                         {"bridge", usb::isBridge(kind)},
                                         {"path", session.path()},
                                         {"firmware", firmware}},
                                    std::to_string(session.index()) + "  " +
                                        usb::deviceLabelOf(session.path()) + "  " + session.path() +
                                        "  " + firmware);
    if (!asked.ok()) {
        session.context().output.error(session.path(), result.code, result.message);
    }
    return result;
}

ExitCode runDevices(CliContext& context) {
    // Every programmer, one after the other: listing must not depend on --all.
    GlobalOptions every = context.options;
    every.all = false;
    every.device.clear();
    const std::vector<std::string> present = presentProgrammers();
    if (present.empty()) {
        context.output.error({}, ExitCode::NoProgrammer, noProgrammerMessage({}));
        return ExitCode::NoProgrammer;
    }
    ExitCode worst = ExitCode::Done;
    for (const std::string& path : present) {
        every.device = path;
        CliContext one{every,         context.output, context.boxes, context.language,
                       context.texts, context.stop};
        worst = worseOf(worst, runOnProgrammers(one, {"devices", false, nullptr}, describe));
    }
    return worst;
}

} // namespace

Command addDevicesCommand(CLI::App& parent) {
    CLI::App* app = parent.add_subcommand(
        "devices", "List the programmers and bridges present (real and simulated): number, "
                   "kind and USB ID, device path and firmware version");
    return {app, runDevices};
}
