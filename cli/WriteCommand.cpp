// write FILE: program the bytes FILE holds, read them back and print the checksums of
// the bytes written and of the chip's bytes.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "cli/FileJob.h"

#include <memory>

Command addWriteCommand(CLI::App& parent) {
    auto options = std::make_shared<FileJobOptions>();
    CLI::App* app = parent.add_subcommand(
        "write", "Write FILE to the chip, verify it and print the CRC32 and SHA-256 of the bytes "
                 "written and of the chip's bytes");
    addFileJobOptions(*app, FileCommand::Write, *options);
    app->footer("Only the bytes FILE holds are written: a binary file from address 0 for its\n"
                "length, an Intel HEX or S-record file at the addresses of its records. The\n"
                "rest of the chip stays as it is (--whole-chip writes FF there). A 25 FLASH\n"
                "chip is not erased first: programming only clears bits, so use auto (or erase)\n"
                "for a chip that is not blank. The bytes written are read back and compared\n"
                "unless --no-verify is given; a difference ends with exit code 4 and its\n"
                "address.\n" +
                parent.get_footer());
    return {app, [options](CliContext& context) {
                return runOnProgrammers(
                    context, {"write", true, "Write the chip"}, [options](DeviceSession& session) {
                        return runFileJob(session, FileCommand::Write, *options);
                    });
            }};
}
