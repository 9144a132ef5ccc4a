// auto FILE: Erase (25 FLASH), write and verify FILE, as the window's Auto.
#include "cli/Command.h"
#include "cli/DeviceRunner.h"
#include "cli/FileJob.h"

#include <memory>

namespace {

struct AutoOptions {
    std::string file;
};

} // namespace

Command addAutoCommand(CLI::App& parent) {
    auto options = std::make_shared<AutoOptions>();
    CLI::App* app = parent.add_subcommand(
        "auto", "Erase (25 FLASH), write and verify FILE, as the window's Auto");
    app->add_option("FILE", options->file, "The data file")->required();
    return {app, [options](CliContext& context) {
                return runOnProgrammers(
                    context, {"auto", true, "Erase and write the chip"},
                    [options](DeviceSession& session) {
                        return runFileJob(session, "auto", options->file,
                                          [](DeviceOperations& operations, std::stop_token stop) {
                                              return operations.autoProgram(stop);
                                          });
                    });
            }};
}
