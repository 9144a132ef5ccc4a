// read FILE [--passes N]: the chip's bytes into FILE, after N reads that all agree.
#include "cli/Command.h"
#include "cli/DataFile.h"
#include "cli/DeviceRunner.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct ReadOptions {
    std::string file;
    unsigned passes = 1;
};

// Compares the buffer's chip bytes with the first pass: the count of differing
// addresses and the first of them.
DeviceResult comparePasses(DeviceSession& session, const std::vector<uint8_t>& first,
                           unsigned pass) {
    const std::span<const uint8_t> now = session.buffer().range(0, first.size());
    uint64_t differing = 0;
    size_t firstAddress = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        if (now[i] != first[i] && differing++ == 0) {
            firstAddress = i;
        }
    }
    if (differing == 0) {
        return {};
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "Read %u differs from read 1 at %llu addresses, the first 0x%zX: nothing "
                  "saved (check the clip and the contacts)",
                  pass, static_cast<unsigned long long>(differing), firstAddress);
    return {ExitCode::Mismatch, text};
}

DeviceResult readChip(DeviceSession& session, const ReadOptions& options) {
    DeviceResult result = selectChip(session);
    if (result.code != ExitCode::Done) {
        session.reportEnd("read", result);
        return result;
    }
    session.reportStart("read");
    std::vector<uint8_t> first;
    for (unsigned pass = 1; pass <= options.passes && result.code == ExitCode::Done; ++pass) {
        session.setPass(pass, options.passes);
        result = session.resultOf(session.operations().read(session.context().stop));
        if (result.code != ExitCode::Done) {
            break;
        }
        if (pass == 1 && options.passes > 1) {
            const std::span<const uint8_t> bytes =
                session.buffer().range(0, session.chip().capacity);
            first.assign(bytes.begin(), bytes.end());
        } else if (pass > 1) {
            result = comparePasses(session, first, pass);
        }
    }
    const std::string file =
        outputFileFor(options.file, session.index(), session.context().options.all);
    if (result.code == ExitCode::Done) {
        result = saveOutput(session, file);
    }
    if (result.code != ExitCode::Done) {
        session.reportEnd("read", result);
        return result;
    }
    const ChipChecksums sums = chipChecksums(session);
    Json done{{"bytes", session.chip().capacity}, {"file", file}, {"passes", options.passes}};
    done.update(sums.fields);
    session.reportEnd("read", result, done,
                      std::string(session.chip().name) + "  " +
                          std::to_string(session.chip().capacity) + " bytes  " + file + "  " +
                          sums.text);
    return result;
}

} // namespace

Command addReadCommand(CLI::App& parent) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App* app = parent.add_subcommand(
        "read", "Read the chip into FILE and print its CRC32 and SHA-256 (with --all: "
                "FILE-1, FILE-2, ... per programmer)");
    app->add_option("FILE", options->file,
                    "The file to write the chip into (replaced only once the read is over)")
        ->required();
    app->add_option("--passes", options->passes,
                    "Read N times and save only when every read agrees")
        ->check(CLI::Range(1u, 100u));
    return {app, [options](CliContext& context) {
                return runOnProgrammers(
                    context, {"read", true, nullptr},
                    [options](DeviceSession& session) { return readChip(session, *options); });
            }};
}
