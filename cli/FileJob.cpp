#include "cli/FileJob.h"

#include "cli/DataFile.h"
#include "cli/DeviceRunner.h"

namespace {

const char* commandName(FileCommand command) {
    switch (command) {
    case FileCommand::Write:
        return "write";
    case FileCommand::Verify:
        return "verify";
    case FileCommand::Auto:
        return "auto";
    }
    return "?";
}

uint64_t totalLength(const std::vector<AddressRange>& ranges) {
    uint64_t total = 0;
    for (const AddressRange& range : ranges) {
        total += range.length;
    }
    return total;
}

} // namespace

void addFileJobOptions(CLI::App& app, FileCommand command, FileJobOptions& options) {
    app.add_option("FILE", options.file,
                   command == FileCommand::Verify ? "The data file to compare the chip with"
                                                  : "The data file to write")
        ->required();
    app.add_flag("--whole-chip", options.wholeChip,
                 command == FileCommand::Verify
                     ? "Compare every byte of the chip, FF where FILE holds nothing"
                     : "Write every byte of the chip, FF where FILE holds nothing (as the "
                       "window's Write does)");
    if (command == FileCommand::Write) {
        app.add_flag("--no-verify", options.noVerify, "Do not read the bytes back after writing");
    }
}

DeviceResult runFileJob(DeviceSession& session, FileCommand command,
                        const FileJobOptions& options) {
    const char* name = commandName(command);
    std::vector<AddressRange> ranges;
    DeviceResult result = selectChip(session);
    if (result.code == ExitCode::Done) {
        result = loadInput(session, options.file, &ranges);
    }
    if (result.code == ExitCode::Done && options.wholeChip) {
        ranges = {{0, session.chip().capacity}};
    }
    if (result.code == ExitCode::Done && ranges.empty()) {
        result = {ExitCode::UsageOrFile, options.file + " holds no data: nothing done"};
    }
    if (result.code != ExitCode::Done) {
        session.reportEnd(name, result);
        return result;
    }
    session.reportStart(name);
    DeviceOperations& operations = session.operations();
    const std::stop_token stop = session.context().stop;
    const bool verifies = command != FileCommand::Write || !options.noVerify;
    OperationResult done;
    switch (command) {
    case FileCommand::Write:
        done = operations.writeRanges(ranges, stop);
        if (done.ok() && verifies) {
            done = operations.verifyRanges(ranges, stop);
        }
        break;
    case FileCommand::Verify:
        done = operations.verifyRanges(ranges, stop);
        break;
    case FileCommand::Auto:
        done = operations.autoProgramRanges(ranges, stop);
        break;
    }
    result = session.resultOf(done);
    if (result.code != ExitCode::Done) {
        session.reportEnd(name, result);
        return result;
    }
    // What each checksum covers: the bytes the command wrote, and the chip's bytes that a
    // verify found equal to them.
    const ChipChecksums sums = rangeChecksums(session, ranges);
    Json fields{{"bytes", totalLength(ranges)}, {"file", options.file}};
    std::string text = std::string(session.chip().name) + "  " +
                       std::to_string(totalLength(ranges)) + " bytes  " + options.file;
    if (command != FileCommand::Verify) {
        fields.update(sums.fields);
        text += "  written " + sums.text;
    }
    if (verifies) {
        if (command == FileCommand::Verify) {
            fields.update(sums.fields);
        } else {
            fields["chipCrc32"] = sums.fields["crc32"];
            fields["chipSha256"] = sums.fields["sha256"];
        }
        text += "  chip " + sums.text;
    }
    session.reportEnd(name, result, fields, text);
    return result;
}
