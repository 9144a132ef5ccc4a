// verify FILE: Compare the chip with FILE and print the CRC32 and SHA-256 of its bytes.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "cli/FileJob.h"

#include <memory>

Command addVerifyCommand(CLI::App& parent) {
    auto options = std::make_shared<FileJobOptions>();
    CLI::App* app = parent.add_subcommand(
        "verify", "Compare the chip with FILE and print the CRC32 and SHA-256 of its bytes");
    addFileJobOptions(*app, FileCommand::Verify, *options);
    app->footer("Only the addresses FILE holds are compared, as write and auto program them;\n"
                "--whole-chip compares every byte, FF where FILE holds nothing.\n" +
                parent.get_footer());
    return {app, [options](CliContext& context) {
                return runOnProgrammers(
                    context, {"verify", true, nullptr}, [options](DeviceSession& session) {
                        return runFileJob(session, FileCommand::Verify, *options);
                    });
            }};
}
