#include "cli/DeviceRunner.h"

#include "cli/BoxSink.h"
#include "cli/Database.h"
#include "usb/UsbLink.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <thread>

namespace {

DeviceResult runOne(CliContext& context, ChipDatabase& database, const std::string& path, int index,
                    const DeviceCommand& command, const DeviceJob& job) {
    auto session = std::make_unique<DeviceSession>(context, database, path, index);
    DeviceResult result;
    if (context.stop.stop_requested()) {
        result = {ExitCode::Interrupted, "Interrupted"};
    } else if (session->prepare(&result)) {
        return job(*session);
    }
    session->reportEnd(command.name, result);
    return result;
}

void printSummary(CliContext& context, const std::vector<DeviceResult>& results, ExitCode worst) {
    const auto failed = static_cast<size_t>(
        std::count_if(results.begin(), results.end(),
                      [](const DeviceResult& result) { return result.code != ExitCode::Done; }));
    const size_t done = results.size() - failed;
    context.output.result(Json{{"event", "summary"},
                               {"devices", results.size()},
                               {"done", done},
                               {"failed", failed},
                               {"code", exitValue(worst)}},
                          "summary: " + std::to_string(results.size()) + " programmers, " +
                              std::to_string(done) + " done, " + std::to_string(failed) +
                              " failed (exit " + std::to_string(exitValue(worst)) + ")");
}

} // namespace

std::string noProgrammerMessage(const std::string& device) {
    if (!device.empty()) {
        return "No programmer found at " + device +
               " (brimwick-cli devices lists the present ones)";
    }
    return "No programmer found: check that it is plugged in (the USB cable), that the udev "
           "rule 70-brimwick.rules lets you open it without root, or start brimwick-sim for "
           "a simulated one";
}

std::vector<std::string> presentProgrammers() {
    UsbLink link;
    return link.listDevices();
}

ExitCode runOnProgrammers(CliContext& context, const DeviceCommand& command, const DeviceJob& job) {
    std::unique_ptr<ChipDatabase> database;
    if (command.needsDatabase) {
        database = loadChipDatabase(context);
        if (!database) {
            return ExitCode::UsageOrFile;
        }
    } else {
        // Unloaded: the session's start-up then selects the all-zero chip.
        database = std::make_unique<ChipDatabase>(context.language, std::string());
    }

    const std::vector<std::string> present = presentProgrammers();
    std::vector<std::string> chosen;
    if (context.options.all) {
        chosen = present;
    } else if (!context.options.device.empty()) {
        // A path as `devices` lists it, or its number there (from 1).
        const std::string& wanted = context.options.device;
        size_t number = 0;
        const auto [end, error] =
            std::from_chars(wanted.data(), wanted.data() + wanted.size(), number);
        if (error == std::errc() && end == wanted.data() + wanted.size()) {
            if (number >= 1 && number <= present.size()) {
                chosen.push_back(present[number - 1]);
            }
        } else if (std::find(present.begin(), present.end(), wanted) != present.end()) {
            chosen.push_back(wanted);
        }
    } else if (!present.empty()) {
        chosen.push_back(present.front());
    }
    if (chosen.empty()) {
        context.output.error({}, ExitCode::NoProgrammer,
                             noProgrammerMessage(context.options.device));
        return ExitCode::NoProgrammer;
    }

    if (command.question != nullptr) {
        const std::string question =
            std::string(command.question) +
            (chosen.size() == 1 ? " on " + chosen.front()
                                : " on " + std::to_string(chosen.size()) + " programmers") +
            "?";
        if (!context.boxes.confirm(question)) {
            context.output.error({}, ExitCode::Interrupted, "Nothing done");
            return ExitCode::Interrupted;
        }
    }

    auto indexOf = [&present](const std::string& path) {
        return static_cast<int>(std::find(present.begin(), present.end(), path) - present.begin()) +
               1;
    };
    std::vector<DeviceResult> results(chosen.size());
    if (!context.options.all) {
        results[0] = runOne(context, *database, chosen[0], indexOf(chosen[0]), command, job);
        return results[0].code;
    }
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < chosen.size(); ++i) {
            threads.emplace_back([&, i] {
                results[i] =
                    runOne(context, *database, chosen[i], indexOf(chosen[i]), command, job);
            });
        }
    }
    ExitCode worst = ExitCode::Done;
    for (const DeviceResult& result : results) {
        worst = worseOf(worst, result.code);
    }
    printSummary(context, results, worst);
    return worst;
}

DeviceResult selectChip(DeviceSession& session) {
    CliContext& context = session.context();
    if (!context.options.chip.empty()) {
        std::string error;
        if (!lookUpChip(session.database(), context.options.chip, &session.chip(), &error)) {
            return {ExitCode::UsageOrFile, error};
        }
        session.buffer().setLength(session.chip().capacity);
        return {};
    }
    std::vector<ChipInfo> matches;
    const OperationResult identified = session.operations().identify(&matches, context.stop);
    if (!identified.ok()) {
        DeviceResult result = session.resultOf(identified);
        if (identified.outcome == Outcome::NotIdentified) {
            result.message += "\nName the chip with --chip NAME";
        }
        return result;
    }
    if (matches.size() > 1) {
        std::string names;
        for (const ChipInfo& chip : matches) {
            names += names.empty() ? "" : ", ";
            names += chip.name;
        }
        return {ExitCode::UsageOrFile,
                "The chip's IDs match several chips (" + names + "): name it with --chip NAME"};
    }
    return {};
}
