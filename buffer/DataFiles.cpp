#include "buffer/DataFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "buffer/DataImage.h"
#include "buffer/IntelHex.h"
#include "buffer/ReadableFile.h"
#include "buffer/RecordWriter.h"
#include "buffer/SRecord.h"
#include "res/MessageBox.h"

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Reads up to `limit` bytes into `data` and tells whether more follow. False on a
// read error: the caller then fails the load before the buffer is touched.
bool readUpTo(FILE* file, uint32_t limit, std::vector<uint8_t>& data, bool& longer) {
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        data.reserve(std::min<uint64_t>(static_cast<uint64_t>(info.st_size), limit));
    constexpr size_t kChunk = 64 * 1024;
    while (data.size() < limit) {
        size_t want = std::min<size_t>(kChunk, limit - data.size());
        size_t old = data.size();
        data.resize(old + want);
        size_t got = std::fread(data.data() + old, 1, want, file);
        data.resize(old + got);
        if (got < want) {
            longer = false;
            return !std::ferror(file);
        }
    }
    longer = std::getc(file) != EOF;
    return !std::ferror(file);
}

LoadOutcome loadBinary(DataBuffer& buffer, uint32_t limit, FILE* file, LoadResult& result) {
    std::vector<uint8_t> data;
    errno = 0;
    if (!readUpTo(file, limit, data, result.tooLarge)) {
        result.error = errno != 0 ? errno : EIO;
        return LoadOutcome::ReadFailed;
    }
    buffer.fill(0, limit, 0xFF);
    buffer.copyIn(0, data.data(), data.size());
    if (!data.empty())
        result.ranges.push_back({0, static_cast<uint32_t>(data.size())});
    return LoadOutcome::Loaded;
}

LoadOutcome loadRecords(DataBuffer& buffer, uint32_t limit, FILE* file, LoadResult& result) {
    DataImage image(buffer.size());
    const LoadOutcome outcome = result.format == FileFormat::IntelHex
                                    ? readIntelHex(file, image, &result.line)
                                    : readSRecords(file, image, &result.line);
    if (outcome != LoadOutcome::Loaded)
        return outcome;
    result.line = 0;
    result.tooLarge = image.end() > limit;
    buffer.fill(0, limit, 0xFF);
    image.copyTo(buffer, limit);
    result.ranges = image.ranges().cutTo(limit);
    return LoadOutcome::Loaded;
}

const char* openFault(int error, const Texts& texts) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return texts.loadFaultMissing;
    case EACCES:
    case EPERM:
        return texts.loadFaultDenied;
    case EISDIR:
        return texts.loadFaultFolder;
    default:
        return texts.loadFaultUnreadable;
    }
}

const char* recordFault(LoadOutcome outcome, const Texts& texts) {
    switch (outcome) {
    case LoadOutcome::UnexpectedEnd:
        return texts.loadFaultEnd;
    case LoadOutcome::IllegalCharacter:
        return texts.loadFaultCharacter;
    case LoadOutcome::UnknownRecord:
        return texts.loadFaultRecord;
    case LoadOutcome::ChecksumError:
        return texts.loadFaultChecksum;
    default:
        return nullptr;
    }
}

bool writeAll(FILE* file, std::span<const uint8_t> bytes, FileFormat format) {
    switch (format) {
    case FileFormat::IntelHex:
        return writeIntelHex(file, bytes);
    case FileFormat::SRecord:
        return writeSRecords(file, bytes);
    case FileFormat::Binary:
        break;
    }
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}
} // namespace

LoadResult loadData(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                    FileFormat format) {
    LoadResult result;
    result.format = format;
    result.storeSize = buffer.size();
    if (!buffer.allocated()) {
        result.outcome = LoadOutcome::NoStore;
        return result;
    }
    File file(openReadableFile(name));
    if (!file) {
        result.outcome = LoadOutcome::OpenFailed;
        result.error = errno;
        return result;
    }
    const uint32_t limit = buffer.clampToStore(capacity);
    try {
        result.outcome = format == FileFormat::Binary
                             ? loadBinary(buffer, limit, file.get(), result)
                             : loadRecords(buffer, limit, file.get(), result);
    } catch (const std::bad_alloc&) {
        result.outcome = LoadOutcome::NoMemory;
        result.line = 0;
    }
    if (!result.loaded()) {
        result.tooLarge = false;
        result.ranges.clear();
    }
    return result;
}

std::string loadFault(const LoadResult& result, const Texts& texts) {
    switch (result.outcome) {
    case LoadOutcome::Loaded:
        return {};
    case LoadOutcome::NoStore:
    case LoadOutcome::NoMemory:
        return texts.memoryNotEnough;
    case LoadOutcome::OpenFailed:
    case LoadOutcome::ReadFailed:
        return openFault(result.error, texts);
    case LoadOutcome::BeyondStore:
        return formatText(
            texts.loadFaultLine, static_cast<unsigned>(result.line),
            formatText(texts.loadFaultBeyondStore, unsigned{result.storeSize >> 20}).c_str());
    default:
        return formatText(texts.loadFaultLine, static_cast<unsigned>(result.line),
                          recordFault(result.outcome, texts));
    }
}

const char* loadMessage(const LoadResult& result, const Texts& texts) {
    if (result.loaded())
        return result.tooLarge ? texts.fileTooLarge : nullptr;
    if (result.outcome == LoadOutcome::NoMemory)
        return texts.memoryNotEnough;
    if (result.format == FileFormat::Binary)
        return nullptr;
    switch (result.outcome) {
    case LoadOutcome::OpenFailed:
        return texts.hexOpenFailed;
    case LoadOutcome::UnexpectedEnd:
        return texts.hexUnexpectedEnd;
    case LoadOutcome::IllegalCharacter:
        return texts.hexIllegalChar;
    case LoadOutcome::UnknownRecord:
    case LoadOutcome::BeyondStore:
        return texts.hexBadRecord;
    case LoadOutcome::ChecksumError:
        return texts.hexChecksum;
    default:
        return nullptr;
    }
}

bool loadDataFile(DataBuffer& buffer, uint32_t capacity, const std::string& name,
                  const Texts& texts, std::string* failure) {
    const LoadResult result = loadData(buffer, capacity, name, formatForName(name));
    messageBoxIf(loadMessage(result, texts));
    if (!result.loaded() && failure)
        *failure = std::string(texts.fileOpenFailed) + "\r\n" + loadFault(result, texts);
    return result.loaded();
}

bool saveData(const DataBuffer& buffer, uint32_t capacity, const std::string& path,
              FileFormat format) {
    if (capacity > 0 && !buffer.allocated())
        return false;
    const uint32_t count = buffer.clampToStore(capacity);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = writeAll(file, buffer.range(0, count), format);
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

bool saveDataFile(const DataBuffer& buffer, uint32_t capacity, const std::string& path) {
    return saveData(buffer, capacity, path, formatForName(path));
}
