// auto FILE: Erase (25 FLASH), write and verify FILE, as the window's Auto.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "cli/FileJob.h"

#include <memory>

Command addAutoCommand(CLI::App& parent) {
    auto options = std::make_shared<FileJobOptions>();
    CLI::App* app = parent.add_subcommand(
        "auto", "Erase (25 FLASH), write and verify FILE, as the window's Auto");
    addFileJobOptions(*app, FileCommand::Auto, *options);
    app->footer("Only the bytes FILE holds are written and verified: a binary file from address\n"
                "0 for its length, an Intel HEX or S-record file at the addresses of its\n"
                "records. An EEPROM keeps the rest of its bytes. A 25 FLASH chip is erased\n"
                "whole first (the programmer erases no less), so every byte outside FILE\n"
                "becomes FF. --whole-chip writes and verifies every byte, FF where FILE holds\n"
                "nothing.\n" +
                parent.get_footer());
    return {app, [options](CliContext& context) {
                return runOnProgrammers(context, {"auto", true, "Erase and write the chip"},
                                        [options](DeviceSession& session) {
                                            return runFileJob(session, FileCommand::Auto, *options);
                                        });
            }};
}
