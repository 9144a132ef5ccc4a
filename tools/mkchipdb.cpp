// Builds ChipInfo.chip and its companion ChipFacts.tsv from the readable chip table
// (chipdb/chips.tsv).
//
//   mkchipdb <table.tsv> <ChipInfo.chip> [<ChipFacts.tsv>]
//
// Every entry is checked first; a bad entry is reported with its line number and
// nothing is written. ChipInfo.chip is then written through the program's own save,
// so it is sorted and checksummed exactly as the program would write it. The facts
// file goes beside it unless named.
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kColumns = kChipTableColumns;
constexpr uint32_t kMaxCapacity = 100u * 1024u * 1024u;
constexpr uint32_t kThreeByteLimit = 16u * 1024u * 1024u; // above it, 4-byte addresses
constexpr unsigned kMinSaneVoltage = 10;                  // 1.0 V
constexpr unsigned kMaxSaneVoltage = 60;                  // 6.0 V
constexpr unsigned kMaxFlashVoltage = 40; // no serial flash takes more than 3.6 V (+ margin)
constexpr uint16_t kFlashPageSize = 256;

struct Entry {
    int line;
    ChipInfo chip;
    ChipFacts facts;
};

// The capacities each family comes in: powers of two between these bounds.
struct FamilyLimits {
    ChipType type;
    uint32_t minCapacity;
    uint32_t maxCapacity;
};

constexpr FamilyLimits kFamilyLimits[] = {
    {ChipType::Flash25, 32u * 1024, kMaxCapacity},
    {ChipType::Eeprom24, 128, 256u * 1024},
    {ChipType::Eeprom25, 128, 512u * 1024},
    {ChipType::Eeprom93, 32, 4096},
};

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

// Microwire address bits of the x8 organisation: the byte count's bits rounded up to an
// odd number, at least 7 (the 93C56 and 93C76 take one bit they do not decode); x16 one fewer.
unsigned microwireAddressWidth(uint32_t capacity, uint32_t memoryWidth) {
    unsigned bits = 0;
    while ((1u << (bits + 1)) <= capacity)
        ++bits;
    const unsigned byteWide = bits < 7 ? 7 : (bits % 2 == 1 ? bits : bits + 1);
    return memoryWidth == 16 ? byteWide - 1 : byteWide;
}

class EntryParser {
  public:
    EntryParser(const char* tableName, int line) : tableName_(tableName), line_(line) {}

    std::optional<Entry> parse(const std::string& text) {
        std::vector<std::string> columns = splitTableColumns(text);
        if (columns.size() != kColumns)
            return fail("expected " + std::to_string(kColumns) + " tab-separated columns, found " +
                        std::to_string(columns.size()));
        ChipInfo chip{};

        std::optional<ChipType> family = chipFamilyFromName(columns[0]);
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
            if (*memoryWidth != 8 && *memoryWidth != 16)
                return fail("93 EEPROM memory width " + columns[11] + " must be 8 or 16");
            const unsigned expected = microwireAddressWidth(chip.capacity, *memoryWidth);
            if (*addressWidth != expected)
                return fail("93 EEPROM address width " + columns[10] + " must be " +
                            std::to_string(expected) + " for this capacity and organisation");
        } else if (*addressWidth != 0 || *memoryWidth != 8) {
            return fail("address width must be 0 and memory width 8 outside the 93 EEPROM family");
        }
        chip.addressWidth = static_cast<uint8_t>(*addressWidth);
        chip.memoryWidth = static_cast<uint8_t>(*memoryWidth);
        if (!fitsFamily(chip))
            return std::nullopt;
        std::optional<ChipFacts> facts = parseFacts(chip, columns);
        if (!facts)
            return std::nullopt;
        return Entry{line_, chip, *facts};
    }

    bool refuse(const std::string& message) {
        fail(message);
        return false;
    }

    std::nullopt_t fail(const std::string& message) {
        std::fprintf(stderr, "%s:%d: %s\n", tableName_, line_, message.c_str());
        return std::nullopt;
    }

  private:
    // Capacity, page size and voltages as the family makes them.
    bool fitsFamily(const ChipInfo& chip) {
        for (const FamilyLimits& limits : kFamilyLimits) {
            if (limits.type == chip.type &&
                (chip.capacity < limits.minCapacity || chip.capacity > limits.maxCapacity ||
                 !isPowerOfTwo(chip.capacity)))
                return refuse("capacity " + std::to_string(chip.capacity) +
                              " must be a power of two "
                              "from " +
                              std::to_string(limits.minCapacity) + " to " +
                              std::to_string(limits.maxCapacity) + " in this family");
        }
        if (chip.type != ChipType::Flash25)
            return true;
        if (chip.programMode == 1 && chip.pageSize != kFlashPageSize)
            return refuse("a page-programmed 25 FLASH chip has 256-byte pages");
        if (chip.maxVoltage > kMaxFlashVoltage)
            return refuse("a 25 FLASH chip's maximum voltage is at most 40 (4.0 V)");
        return true;
    }

    // Columns 13 to 18: the companion facts.
    std::optional<ChipFacts> parseFacts(const ChipInfo& chip, const std::vector<std::string>& c) {
        ChipFacts facts{c[12], c[13], c[14], c[15], c[16], c[17]};
        if (facts.source.empty() || facts.source == "-" || !printableText(facts.source))
            return fail("a source (datasheet and revision, or public reference) is required");
        if (facts.shares.empty() || !printableText(facts.shares))
            return fail("shares must name the chips with the same IDs, or be -");
        if (chip.type != ChipType::Flash25) {
            if (facts.jedecId != "-" || facts.erase != "-" || facts.addressBytes != "-" ||
                facts.sfdp != "-")
                return fail("EEPROMs have - for JEDEC ID, erase, address bytes and SFDP");
            return facts;
        }
        if (facts.jedecId != "-" && !jedecMatches(facts.jedecId, chip.manufacturerId))
            return fail("JEDEC ID \"" + facts.jedecId +
                        "\" must be six hex digits starting with "
                        "the manufacturer ID (after 7F continuation bytes), or -");
        if (!eraseListValid(facts.erase, chip.capacity))
            return fail("erase \"" + facts.erase +
                        "\" must be size=opcode pairs (4K=20 64K=D8 "
                        "chip=C7), sizes powers of two up to the capacity");
        const char* addressBytes = chip.capacity > kThreeByteLimit ? "4" : "3";
        if (facts.addressBytes != addressBytes)
            return fail(std::string("address bytes must be ") + addressBytes +
                        " for this capacity");
        if (facts.sfdp != "Y" && facts.sfdp != "N" && facts.sfdp != "?")
            return fail("SFDP must be Y, N or ?");
        return facts;
    }

    static bool jedecMatches(const std::string& jedec, uint8_t manufacturerId) {
        if (jedec.size() != 6)
            return false;
        uint8_t bytes[3];
        for (size_t i = 0; i < 3; ++i) {
            std::optional<uint8_t> byte = parseHexByte(jedec.substr(i * 2, 2));
            if (!byte)
                return false;
            bytes[i] = *byte;
        }
        return bytes[0] == manufacturerId || (bytes[0] == 0x7F && bytes[1] == manufacturerId);
    }

    static bool eraseListValid(const std::string& erase, uint32_t capacity) {
        size_t count = 0;
        for (size_t start = 0; start < erase.size();) {
            size_t end = erase.find(' ', start);
            if (end == std::string::npos)
                end = erase.size();
            const std::string item = erase.substr(start, end - start);
            const size_t equals = item.find('=');
            if (equals == std::string::npos || !parseHexByte(item.substr(equals + 1)) ||
                item.size() - equals != 3)
                return false;
            const std::string size = item.substr(0, equals);
            if (size != "chip") {
                std::optional<uint32_t> kib = size.size() > 1 && size.back() == 'K'
                                                  ? parseDecimal(size.substr(0, size.size() - 1))
                                                  : std::nullopt;
                if (!kib || !isPowerOfTwo(*kib) || *kib * 1024 > capacity)
                    return false;
            }
            ++count;
            start = end + 1;
        }
        return count > 0;
    }

    const char* tableName_;
    int line_;
};

// Chips of one family that answer the same ID bytes (90h) or the same JEDEC ID must name
// each other, so that a shared ID is never resolved silently.
bool checkSharedIds(const char* tableName, const std::vector<Entry>& entries) {
    std::map<std::string, std::vector<size_t>> groups;
    auto keysOf = [](const Entry& entry) {
        const ChipInfo& chip = entry.chip;
        std::vector<std::string> keys;
        const std::string family = std::to_string(static_cast<uint32_t>(chip.type));
        if (!(chip.manufacturerId == 0xFF && (chip.deviceId == 0xFF || chip.deviceId == 0xFE)))
            keys.push_back(family + " id " + std::to_string(chip.manufacturerId) + " " +
                           std::to_string(chip.deviceId));
        if (entry.facts.jedecId != "-")
            keys.push_back(family + " jedec " + entry.facts.jedecId);
        return keys;
    };
    for (size_t i = 0; i < entries.size(); ++i)
        for (const std::string& key : keysOf(entries[i]))
            groups[key].push_back(i);
    bool good = true;
    for (const Entry& entry : entries) {
        std::set<std::string> sharing, named;
        for (const std::string& key : keysOf(entry))
            for (size_t other : groups[key])
                if (entries[other].chip.name != std::string(entry.chip.name))
                    sharing.insert(entries[other].chip.name);
        for (size_t start = 0; entry.facts.shares != "-" && start <= entry.facts.shares.size();) {
            const size_t comma =
                std::min(entry.facts.shares.find(',', start), entry.facts.shares.size());
            named.insert(entry.facts.shares.substr(start, comma - start));
            start = comma + 1;
        }
        EntryParser parser(tableName, entry.line);
        for (const std::string& name : named)
            if (!sharing.count(name)) {
                parser.fail("shares names \"" + name + "\", which does not have this chip's IDs");
                good = false;
            }
        for (const std::string& name : sharing)
            if (!named.count(name)) {
                parser.fail("\"" + name + "\" answers the same IDs: name it in shares");
                good = false;
            }
    }
    return good;
}

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
        if (text.find_first_not_of(' ') == std::string::npos || text[0] == '#')
            continue;
        EntryParser parser(tableName, line);
        std::optional<Entry> entry = parser.parse(text);
        if (!entry) {
            good = false;
            continue;
        }
        if (!names.insert(entry->chip.name).second) {
            parser.fail(std::string("duplicate name \"") + entry->chip.name + "\"");
            good = false;
            continue;
        }
        entries.push_back(*entry);
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
    return checkSharedIds(tableName, entries) && good;
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

bool buildFacts(const std::vector<Entry>& entries, const std::string& path) {
    ChipFactsTable facts;
    for (const Entry& entry : entries)
        facts.add(entry.chip.type, entry.chip.name, entry.facts);
    return facts.save(path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: mkchipdb <chips.tsv> <ChipInfo.chip> [<ChipFacts.tsv>]\n");
        return 2;
    }
    std::vector<Entry> entries;
    if (!readTable(argv[1], entries))
        return 1;

    // Build beside the targets and move them into place whole, so that a failed run
    // never leaves a half-built database where the program looks for it.
    const std::string outputs[] = {argv[2], argc == 4 ? argv[3] : chipFactsPathBeside(argv[2])};
    const std::string partials[] = {outputs[0] + ".partial", outputs[1] + ".partial"};
    const bool built = buildDatabase(entries, partials[0]) && buildFacts(entries, partials[1]);
    for (size_t i = 0; i < 2; ++i) {
        if (!built || ::rename(partials[i].c_str(), outputs[i].c_str()) != 0) {
            std::fprintf(stderr, "mkchipdb: cannot write %s: %s\n", outputs[i].c_str(),
                         std::strerror(errno));
            ::unlink(partials[0].c_str());
            ::unlink(partials[1].c_str());
            return 1;
        }
    }
    return 0;
}
