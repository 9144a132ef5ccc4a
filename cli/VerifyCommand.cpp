// verify FILE: Compare the chip with FILE and print the CRC32 and SHA-256 of its bytes.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "cli/FileJob.h"

#include <memory>

namespace {

struct VerifyOptions {
    std::string file;
};

} // namespace

Command addVerifyCommand(CLI::App& parent) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* app = parent.add_subcommand(
        "verify", "Compare the chip with FILE and print the CRC32 and SHA-256 of its bytes");
    app->add_option("FILE", options->file, "The data file")->required();
    return {app, [options](CliContext& context) {
                return runOnProgrammers(
                    context, {"verify", true, nullptr}, [options](DeviceSession& session) {
                        return runFileJob(session, "verify", options->file,
                                          [](DeviceOperations& operations, std::stop_token stop) {
                                              return operations.verify(stop);
                                          });
                    });
            }};
}
