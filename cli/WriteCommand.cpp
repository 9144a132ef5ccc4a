// write FILE: Write FILE to the chip and print the CRC32 and SHA-256 of the bytes written.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "cli/FileJob.h"

#include <memory>

namespace {

struct WriteOptions {
    std::string file;
};

} // namespace

Command addWriteCommand(CLI::App& parent) {
    auto options = std::make_shared<WriteOptions>();
    CLI::App* app = parent.add_subcommand(
        "write", "Write FILE to the chip and print the CRC32 and SHA-256 of the bytes written");
    app->add_option("FILE", options->file, "The data file")->required();
    return {app, [options](CliContext& context) {
                return runOnProgrammers(
                    context, {"write", true, "Write the chip"}, [options](DeviceSession& session) {
                        return runFileJob(session, "write", options->file,
                                          [](DeviceOperations& operations, std::stop_token stop) {
                                              return operations.write(stop);
                                          });
                    });
            }};
}
