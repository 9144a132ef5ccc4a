#include "cli/DataFile.h"

#include "buffer/Checksums.h"
#include "buffer/DataFiles.h"
#include "buffer/FileFormat.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

FileFormat formatFor(const CliContext& context, const std::string& file) {
    if (const std::optional<FileFormat> word = formatFromWord(context.options.format)) {
        return *word;
    }
    return formatForName(file);
}

// What went wrong, where the build's texts say nothing (the English build names no fault
// of a HEX or S-record file; a script's user still wants to know).
const char* loadFault(LoadOutcome outcome) {
    switch (outcome) {
    case LoadOutcome::Loaded:
        return "";
    case LoadOutcome::NoStore:
    case LoadOutcome::NoMemory:
        return "not enough memory";
    case LoadOutcome::OpenFailed:
        return "it cannot be opened";
    case LoadOutcome::ReadFailed:
        return "it cannot be read";
    case LoadOutcome::UnexpectedEnd:
        return "it ends inside a record or before its end record";
    case LoadOutcome::IllegalCharacter:
        return "a record holds a character that is no hex digit";
    case LoadOutcome::UnknownRecord:
        return "a record of an unknown type, length or count";
    case LoadOutcome::ChecksumError:
        return "a record's checksum does not match";
    case LoadOutcome::BeyondStore:
        return "data lies beyond the 16 MiB buffer";
    }
    return "";
}

} // namespace

DeviceResult loadInput(DeviceSession& session, const std::string& file) {
    const CliContext& context = session.context();
    const uint32_t capacity = session.chip().capacity;
    const LoadResult loaded = loadData(session.buffer(), capacity, file, formatFor(context, file));
    if (!loaded.loaded()) {
        const char* own = loadMessage(loaded, context.texts);
        return {ExitCode::UsageOrFile, plainText(own != nullptr ? own : loadFault(loaded.outcome)) +
                                           "\n" + plainText(context.texts.fileOpenFailed) + " (" +
                                           file + ")"};
    }
    if (loaded.tooLarge) {
        // The window loads the chip's part and says so; a script would not notice, so the
        // command line programs nothing.
        return {ExitCode::UsageOrFile, file + " holds more than the " + std::to_string(capacity) +
                                           " bytes of " + session.chip().name +
                                           ": nothing written"};
    }
    return {};
}

DeviceResult saveOutput(DeviceSession& session, const std::string& file) {
    // Saved beside the file, then renamed over it: a full disk never leaves a half backup
    // behind, nor destroys an earlier one of the same name.
    const std::string partial =
        file + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(session.index());
    bool saved = saveData(session.buffer(), session.chip().capacity, partial,
                          formatFor(session.context(), file));
    std::error_code error;
    if (saved) {
        std::filesystem::rename(partial, file, error);
        saved = !error;
    }
    if (!saved) {
        std::filesystem::remove(partial, error);
        return {ExitCode::UsageOrFile,
                plainText(session.context().texts.saveFailed) + " (" + file + ")"};
    }
    return {};
}

std::string outputFileFor(const std::string& file, int index, bool all) {
    if (!all) {
        return file;
    }
    const std::filesystem::path path(file);
    std::filesystem::path numbered = path.parent_path() / path.stem();
    numbered += "-" + std::to_string(index);
    numbered += path.extension();
    return numbered.string();
}

ChipChecksums chipChecksums(DeviceSession& session) {
    const Checksums sums = checksumsOf(session.buffer().range(0, session.chip().capacity));
    const std::string crc = crc32Text(sums.crc32);
    const std::string sha = sums.sha256 ? sha256Text(*sums.sha256) : std::string();
    return {Json{{"crc32", crc}, {"sha256", sha}}, "crc32 " + crc + "  sha256 " + sha};
}
