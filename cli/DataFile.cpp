#include "cli/DataFile.h"

#include "buffer/Checksums.h"
#include "buffer/DataFiles.h"
#include "buffer/FileFormat.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

FileFormat formatFor(const CliContext& context, const std::string& file) {
    if (const std::optional<FileFormat> word = formatFromWord(context.options.format)) {
        return *word;
    }
    return formatForName(file);
}

} // namespace

DeviceResult loadInput(DeviceSession& session, const std::string& file,
                       std::vector<AddressRange>* ranges) {
    const CliContext& context = session.context();
    const uint32_t capacity = session.chip().capacity;
    const LoadResult loaded = loadData(session.buffer(), capacity, file, formatFor(context, file));
    if (!loaded.loaded()) {
        // The reader's own message (the Chinese build's), the window's failure text, then
        // why: the system's reason for a file that cannot be opened or read.
        const char* own = loadMessage(loaded, context.texts);
        const std::string why = loaded.error != 0 ? file + ": " + std::strerror(loaded.error)
                                                  : loadFault(loaded, context.texts);
        return {ExitCode::UsageOrFile, (own != nullptr ? plainText(own) + "\n" : "") +
                                           plainText(context.texts.fileOpenFailed) + " (" + file +
                                           ")\n" + why};
    }
    if (loaded.tooLarge) {
        // The window loads the chip's part and says so; a script would not notice, so the
        // command line programs nothing.
        return {ExitCode::UsageOrFile, file + " holds more than the " + std::to_string(capacity) +
                                           " bytes of " + session.chip().name +
                                           ": nothing written"};
    }
    if (ranges != nullptr) {
        *ranges = loaded.ranges;
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
    const AddressRange whole{0, session.chip().capacity};
    return rangeChecksums(session, {&whole, 1});
}

ChipChecksums rangeChecksums(DeviceSession& session, std::span<const AddressRange> ranges) {
    ChecksumBuilder builder;
    for (const AddressRange& range : ranges) {
        builder.add(session.buffer().range(range.start, range.length));
    }
    const Checksums sums = builder.finish();
    const std::string crc = crc32Text(sums.crc32);
    const std::string sha = sums.sha256 ? sha256Text(*sums.sha256) : std::string();
    return {Json{{"crc32", crc}, {"sha256", sha}}, "crc32 " + crc + "  sha256 " + sha};
}
