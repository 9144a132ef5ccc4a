// erase: erase a 25 FLASH chip (every byte FF).
#include "cli/Command.h"
#include "cli/DeviceRunner.h"

namespace {

DeviceResult eraseChip(DeviceSession& session) {
    DeviceResult result = selectChip(session);
    if (result.code == ExitCode::Done && session.chip().type != ChipType::Flash25) {
        // An EEPROM is written over as it is; the programmer has no erase for it.
        result = {ExitCode::UsageOrFile, std::string("Only a 25 FLASH chip can be erased; ") +
                                             session.chip().name + " is written over directly"};
    }
    if (result.code != ExitCode::Done) {
        session.reportEnd("erase", result);
        return result;
    }
    session.reportStart("erase");
    result = session.resultOf(session.operations().erase(session.context().stop));
    session.reportEnd("erase", result, Json::object(), session.chip().name);
    return result;
}

} // namespace

Command addEraseCommand(CLI::App& parent) {
    CLI::App* app = parent.add_subcommand("erase", "Erase a 25 FLASH chip");
    return {app, [](CliContext& context) {
                return runOnProgrammers(context, {"erase", true, "Erase the chip"}, eraseChip);
            }};
}
