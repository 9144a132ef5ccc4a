#include "chipdb/ChipDatabase.h"

#include "chipdb/AtomicReplace.h"
#include "chipdb/DatabasePath.h"
#include "res/MessageBox.h"
#include "res/Texts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

namespace {

constexpr size_t kCountOffset = 0;
constexpr size_t kChecksumOffset = 2;

bool readFully(int fd, uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Records order by the whole manufacturer field, then the whole name field, each
// compared as unsigned bytes.
bool recordLess(const ChipRecord& a, const ChipRecord& b) {
    int byManufacturer =
        std::memcmp(a.manufacturer(), b.manufacturer(), ChipRecord::kManufacturerSize);
    if (byManufacturer != 0)
        return byManufacturer < 0;
    return std::memcmp(a.name(), b.name(), ChipRecord::kNameSize) < 0;
}

} // namespace

ChipDatabase::ChipDatabase(Language language)
    : ChipDatabase(language, databaseLocationOfThisProgram()) {
    if (filePath_.empty())
        messageBoxIf(textsFor(language_).dbPathNotFound);
}

ChipDatabase::ChipDatabase(Language language, const DatabaseLocation& location)
    : language_(language), filePath_(location.loadPath()), userCopyPath_(location.userCopy) {}

ChipDatabase::ChipDatabase(Language language, std::string filePath)
    : language_(language), filePath_(std::move(filePath)) {}

uint16_t ChipDatabase::count() const {
    return loadLittleEndian16(&header_[kCountOffset]);
}

const std::string& ChipDatabase::filePath() const {
    return filePath_;
}

void ChipDatabase::clearImage() {
    header_.fill(0);
    for (ChipRecord& record : records_)
        record.bytes.fill(0);
}

void ChipDatabase::setCount(uint16_t count) {
    storeLittleEndian16(&header_[kCountOffset], count);
}

uint8_t ChipDatabase::checksum() const {
    uint8_t sum = 0;
    size_t records = std::min<size_t>(count(), kMaxRecords);
    for (size_t i = 0; i < records; ++i)
        for (uint8_t byte : records_[i].bytes)
            sum = static_cast<uint8_t>(sum + byte);
    return sum;
}

int ChipDatabase::load() {
    clearImage();
    ReadOnlyFile file(filePath_);
    struct stat fileStat {};
    if (file.get() < 0 || ::fstat(file.get(), &fileStat) != 0 || !S_ISREG(fileStat.st_mode)) {
        messageBoxIf(textsFor(language_).dbFileOpenFailed);
        return 0;
    }
    auto length = static_cast<uint64_t>(fileStat.st_size);
    if (length < kHeaderSize)
        return 0;
    if (!readFully(file.get(), header_.data(), header_.size())) {
        clearImage();
        return 0;
    }
    uint16_t records = count();
    if (records > kMaxRecords || length - kHeaderSize < uint64_t{ChipRecord::kSize} * records) {
        clearImage();
        return 0;
    }
    auto* slots = reinterpret_cast<uint8_t*>(records_.data());
    if (!readFully(file.get(), slots, ChipRecord::kSize * records) ||
        checksum() != header_[kChecksumOffset]) {
        clearImage();
        return 0;
    }
    return 1;
}

int ChipDatabase::sort() {
    if (count() > kMaxRecords)
        return 0;
    std::sort(records_.begin(), records_.begin() + count(), recordLess);
    return 1;
}

int ChipDatabase::save() {
    sort();
    if (count() > kMaxRecords)
        return 0;
    // The installed database stays as it is: edits go to the user's copy, made now.
    if (!userCopyPath_.empty() && filePath_ != userCopyPath_) {
        if (!makeUserCopy(filePath_, userCopyPath_)) {
            messageBoxIf(textsFor(language_).dbFileOpenFailed);
            return 0;
        }
        filePath_ = userCopyPath_;
    }
    header_[kChecksumOffset] = checksum();
    const auto* slots = reinterpret_cast<const uint8_t*>(records_.data());
    const std::span<const uint8_t> pieces[] = {
        std::span<const uint8_t>(header_),
        std::span<const uint8_t>(slots, ChipRecord::kSize * count()),
    };
    if (!replaceFileKeepingTail(filePath_, pieces)) {
        messageBoxIf(textsFor(language_).dbFileOpenFailed);
        return 0;
    }
    return 1;
}
