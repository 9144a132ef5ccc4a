#include "cli/DataFile.h"

#include "buffer/Checksums.h"
#include "buffer/DataFiles.h"

#include <filesystem>

DeviceResult loadInput(DeviceSession& session, const std::string& file) {
    const CliContext& context = session.context();
    if (!loadDataFile(session.buffer(), session.chip().capacity, file, context.texts)) {
        return {ExitCode::UsageOrFile, plainText(context.texts.fileOpenFailed) + " (" + file + ")"};
    }
    return {};
}

DeviceResult saveOutput(DeviceSession& session, const std::string& file) {
    if (!saveDataFile(session.buffer(), session.chip().capacity, file)) {
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
