// blank: whether the chip holds only FF; names the first address that does not.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"

#include <cstdio>

namespace {

DeviceResult blankCheck(DeviceSession& session) {
    DeviceResult result = selectChip(session);
    if (result.code != ExitCode::Done) {
        session.reportEnd("blank", result);
        return result;
    }
    session.reportStart("blank");
    const OperationResult checked = session.operations().blankCheck(session.context().stop);
    result = session.resultOf(checked);
    if (checked.outcome == Outcome::NotBlank) {
        // Scripts find the address in the error event too, not only in the text.
        char text[96];
        std::snprintf(text, sizeof text, "Not blank: address 0x%X holds %02X", checked.address,
                      checked.chipByte);
        result.message = text;
    }
    session.reportEnd("blank", result, Json{{"bytes", session.chip().capacity}},
                      session.chip().name);
    return result;
}

} // namespace

Command addBlankCommand(CLI::App& parent) {
    CLI::App* app = parent.add_subcommand(
        "blank", "Check that the chip holds only FF; print the first address that does not");
    return {app, [](CliContext& context) {
                return runOnProgrammers(context, {"blank", true, nullptr}, blankCheck);
            }};
}
