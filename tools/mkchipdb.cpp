// Builds ChipInfo.chip from the readable chip table (chipdb/chips.tsv).
//
//   mkchipdb <table.tsv> <ChipInfo.chip>
//
// Every entry is checked first; a bad entry is reported with its line number and
// nothing is written. The file is then written through the program's own save,
// so it is sorted and checksummed exactly as the program would write it.
#include "chipdb/ChipDatabase.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kColumns = 12;
constexpr uint32_t kMaxCapacity = 100u * 1024u * 1024u;
constexpr unsigned kMinSaneVoltage = 10; // 1.0 V
constexpr unsigned kMaxSaneVoltage = 60; // 6.0 V

struct Entry {
    int line;
    ChipInfo chip;
};

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::vector<std::string> splitColumns(const std::string& line) {
    std::vector<std::string> columns;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        columns.push_back(trim(line.substr(start, tab - start)));
        if (tab == std::string::npos)
            return columns;
        start = tab + 1;
    }
}

std::optional<uint32_t> parseDecimal(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

std::optional<uint8_t> parseHexByte(const std::string& text) {
    if (text.empty() || text.size() > 2)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return static_cast<uint8_t>(value);
}

std::optional<ChipType> parseFamily(const std::string& text) {
    if (text == "25 FLASH")
        return ChipType::Flash25;
    if (text == "24 EEPROM")
        return ChipType::Eeprom24;
    if (text == "25 EEPROM")
        return ChipType::Eeprom25;
    if (text == "93 EEPROM")
        return ChipType::Eeprom93;
    return std::nullopt;
}

bool printableText(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool isPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The chip editor accepts a minimum voltage only as digits 0-8 around the point.
bool editorAcceptsMinVoltage(uint32_t tenths) {
    return tenths / 10 <= 8 && tenths % 10 <= 8;
}

class EntryParser {
  public:
    EntryParser(const char* tableName, int line) : tableName_(tableName), line_(line) {}

    std::optional<ChipInfo> parse(const std::string& text) {
        std::vector<std::string> columns = splitColumns(text);
        if (columns.size() != kColumns)
            return fail("expected " + std::to_string(kColumns) + " tab-separated columns, found " +
                        std::to_string(columns.size()));
        ChipInfo chip{};

        std::optional<ChipType> family = parseFamily(columns[0]);
        if (!family)
            return fail("unknown family \"" + columns[0] +
                        "\" (25 FLASH, 24 EEPROM, 25 EEPROM or 93 EEPROM)");
        chip.type = *family;

        const std::string& name = columns[1];
        if (name.empty() || name.size() > sizeof chip.name - 1 || !printableText(name))
            return fail("name \"" + name + "\" must be 1 to 39 printable bytes");
        std::memcpy(chip.name, name.data(), name.size());
        const std::string& manufacturer = columns[2];
        if (manufacturer.empty() || manufacturer.size() > ChipRecord::kManufacturerSize - 1 ||
            !printableText(manufacturer))
            return fail("manufacturer \"" + manufacturer + "\" must be 1 to 19 printable bytes");
        std::memcpy(chip.manufacturer, manufacturer.data(), manufacturer.size());

        std::optional<uint32_t> minVoltage = parseDecimal(columns[3]);
        std::optional<uint32_t> maxVoltage = parseDecimal(columns[4]);
        if (!minVoltage || !maxVoltage || *minVoltage < kMinSaneVoltage ||
            *maxVoltage > kMaxSaneVoltage || *minVoltage > *maxVoltage)
            return fail("voltages \"" + columns[3] + "\" .. \"" + columns[4] +
                        "\" must be tenths of a volt within 10..60, minimum not above maximum");
        if (!editorAcceptsMinVoltage(*minVoltage))
            return fail("minimum voltage " + columns[3] + " has a 9 digit the chip editor refuses");
        chip.minVoltage = static_cast<uint8_t>(*minVoltage);
        chip.maxVoltage = static_cast<uint8_t>(*maxVoltage);

        std::optional<uint32_t> capacity = parseDecimal(columns[5]);
        if (!capacity || *capacity == 0 || *capacity > kMaxCapacity)
            return fail("capacity \"" + columns[5] + "\" must be 1 to 104857600 bytes");
        chip.capacity = *capacity;

        const std::string& mode = columns[6];
        std::optional<uint32_t> pageSize = parseDecimal(columns[7]);
        if (mode != "PP" && mode != "BP")
            return fail("program mode \"" + mode + "\" must be PP or BP");
        if (!pageSize)
            return fail("page size \"" + columns[7] + "\" is not a number");
        chip.programMode = mode == "PP" ? 1 : 0;
        if (chip.programMode == 1) {
            if (chip.type == ChipType::Eeprom93)
                return fail("93 EEPROM chips are byte programmed (BP)");
            if (*pageSize < 4 || *pageSize > 256 || !isPowerOfTwo(*pageSize))
                return fail("page size " + columns[7] +
                            " must be a power of two from 4 to 256 for PP");
            if (*pageSize > chip.capacity)
                return fail("page size " + columns[7] + " exceeds the capacity");
        } else if (*pageSize != 1) {
            return fail("page size must be 1 for BP");
        }
        chip.pageSize = static_cast<uint16_t>(*pageSize);

        std::optional<uint8_t> manufacturerId = parseHexByte(columns[8]);
        std::optional<uint8_t> deviceId = parseHexByte(columns[9]);
        if (!manufacturerId || !deviceId)
            return fail("ID bytes \"" + columns[8] + "\" \"" + columns[9] +
                        "\" must be one or two hex digits each");
        chip.manufacturerId = *manufacturerId;
        chip.deviceId = *deviceId;
        if (chip.type == ChipType::Flash25) {
            if (chip.manufacturerId == 0xFF && chip.deviceId == 0xFF)
                return fail("a 25 FLASH chip needs its ID bytes");
        } else {
            bool noAddressByte = chip.type == ChipType::Eeprom24 && chip.deviceId == 0xFE;
            if (chip.manufacturerId != 0xFF || (chip.deviceId != 0xFF && !noAddressByte))
                return fail("EEPROMs have ID bytes FF FF (24 EEPROM without a device address "
                            "byte: FF FE)");
        }

        std::optional<uint32_t> addressWidth = parseDecimal(columns[10]);
        std::optional<uint32_t> memoryWidth = parseDecimal(columns[11]);
        if (!addressWidth || !memoryWidth)
            return fail("address and memory width must be numbers");
        if (chip.type == ChipType::Eeprom93) {
            if (*addressWidth < 1 || *addressWidth > 20)
                return fail("93 EEPROM address width " + columns[10] + " must be 1 to 20");
            if (*memoryWidth != 8 && *memoryWidth != 16)
                return fail("93 EEPROM memory width " + columns[11] + " must be 8 or 16");
        } else if (*addressWidth != 0 || *memoryWidth != 8) {
            return fail("address width must be 0 and memory width 8 outside the 93 EEPROM family");
        }
        chip.addressWidth = static_cast<uint8_t>(*addressWidth);
        chip.memoryWidth = static_cast<uint8_t>(*memoryWidth);
        return chip;
    }

    std::nullopt_t fail(const std::string& message) {
        std::fprintf(stderr, "%s:%d: %s\n", tableName_, line_, message.c_str());
        return std::nullopt;
    }

  private:
    const char* tableName_;
    int line_;
};

bool readTable(const char* tableName, std::vector<Entry>& entries) {
    std::ifstream table(tableName, std::ios::binary);
    if (!table) {
        std::fprintf(stderr, "mkchipdb: cannot open %s\n", tableName);
        return false;
    }
    bool good = true;
    std::set<std::string> names;
    std::string text;
    for (int line = 1; std::getline(table, text); ++line) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (trim(text).empty() || text[0] == '#')
            continue;
        EntryParser parser(tableName, line);
        std::optional<ChipInfo> chip = parser.parse(text);
        if (!chip) {
            good = false;
            continue;
        }
        if (!names.insert(chip->name).second) {
            parser.fail(std::string("duplicate name \"") + chip->name + "\"");
            good = false;
            continue;
        }
        entries.push_back(Entry{line, *chip});
    }
    if (table.bad()) {
        std::fprintf(stderr, "mkchipdb: cannot read %s\n", tableName);
        return false;
    }
    if (entries.size() > ChipDatabase::kMaxRecords) {
        std::fprintf(stderr, "%s: %zu chips, at most %u fit the database\n", tableName,
                     entries.size(), static_cast<unsigned>(ChipDatabase::kMaxRecords));
        return false;
    }
    return good;
}

// An empty database: a zero header. The program's save only replaces files that exist.
bool writeEmptyDatabase(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    uint8_t header[ChipDatabase::kHeaderSize] = {};
    bool written = ::write(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header);
    return ::close(fd) == 0 && written;
}

bool buildDatabase(const std::vector<Entry>& entries, const std::string& path) {
    if (!writeEmptyDatabase(path))
        return false;
    // The database holds 1000 records; keep it off the stack.
    auto database = std::make_unique<ChipDatabase>(Language::English, path);
    if (!database->load())
        return false;
    for (const Entry& entry : entries)
        if (!database->addOrReplace(&entry.chip))
            return false;
    return database->save() == 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkchipdb <chips.tsv> <ChipInfo.chip>\n");
        return 2;
    }
    std::vector<Entry> entries;
    if (!readTable(argv[1], entries))
        return 1;

    // Build beside the target and move it into place whole, so that a failed run
    // never leaves a half-built database where the program looks for it.
    std::string output = argv[2];
    std::string partial = output + ".partial";
    if (!buildDatabase(entries, partial) || ::rename(partial.c_str(), output.c_str()) != 0) {
        std::fprintf(stderr, "mkchipdb: cannot write %s: %s\n", output.c_str(),
                     std::strerror(errno));
        ::unlink(partial.c_str());
        return 1;
    }
    return 0;
}
