#include "chipdb/ChipTable.h"

#include <array>
#include <cstdio>
#include <fstream>

namespace {

struct FamilyName {
    ChipType type;
    const char* name;
};

constexpr std::array kFamilyNames = {
    FamilyName{ChipType::Flash25, "25 FLASH"},
    FamilyName{ChipType::Eeprom24, "24 EEPROM"},
    FamilyName{ChipType::Eeprom25, "25 EEPROM"},
    FamilyName{ChipType::Eeprom93, "93 EEPROM"},
};

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string hexByte(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

constexpr char kFactsHeader[] =
    "# Built by mkchipdb from chipdb/chips.tsv: the facts of each chip beyond ChipInfo.chip.\n"
    "# family\tname\tjedec\terase\taddress bytes\tsfdp\tshares\tsource\n";

} // namespace

const char* chipFamilyName(ChipType type) {
    for (const FamilyName& entry : kFamilyNames)
        if (entry.type == type)
            return entry.name;
    return "?";
}

std::optional<ChipType> chipFamilyFromName(std::string_view name) {
    for (const FamilyName& entry : kFamilyNames)
        if (name == entry.name)
            return entry.type;
    return std::nullopt;
}

std::vector<std::string> splitTableColumns(std::string_view line) {
    std::vector<std::string> columns;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        columns.emplace_back(trimmed(line.substr(start, tab - start)));
        if (tab == std::string_view::npos)
            return columns;
        start = tab + 1;
    }
}

std::string chipTableRow(const ChipInfo& chip, const ChipFacts& facts) {
    const std::string columns[] = {chipFamilyName(chip.type),
                                   chip.name,
                                   chip.manufacturer,
                                   std::to_string(chip.minVoltage),
                                   std::to_string(chip.maxVoltage),
                                   std::to_string(chip.capacity),
                                   chip.programMode == 1 ? "PP" : "BP",
                                   std::to_string(chip.programMode == 1 ? chip.pageSize : 1),
                                   hexByte(chip.manufacturerId),
                                   hexByte(chip.deviceId),
                                   std::to_string(chip.addressWidth),
                                   std::to_string(chip.memoryWidth),
                                   facts.jedecId,
                                   facts.erase,
                                   facts.addressBytes,
                                   facts.sfdp,
                                   facts.shares,
                                   facts.source};
    std::string row;
    for (const std::string& column : columns)
        row += (row.empty() ? "" : "\t") + column;
    return row;
}

bool ChipFactsTable::load(const std::string& path) {
    facts_.clear();
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (file && std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> c = splitTableColumns(line);
        const std::optional<ChipType> type =
            c.size() == 8 ? chipFamilyFromName(c[0]) : std::nullopt;
        if (!type) {
            facts_.clear();
            return false;
        }
        add(*type, c[1], ChipFacts{c[2], c[3], c[4], c[5], c[6], c[7]});
    }
    if (!file.eof())
        facts_.clear();
    return file.eof();
}

bool ChipFactsTable::save(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << kFactsHeader;
    for (const auto& [key, f] : facts_)
        file << chipFamilyName(key.first) << '\t' << key.second << '\t' << f.jedecId << '\t'
             << f.erase << '\t' << f.addressBytes << '\t' << f.sfdp << '\t' << f.shares << '\t'
             << f.source << '\n';
    file.close();
    return !file.fail();
}

void ChipFactsTable::add(ChipType type, const std::string& name, ChipFacts facts) {
    facts_[{type, name}] = std::move(facts);
}

const ChipFacts* ChipFactsTable::find(ChipType type, std::string_view name) const {
    const auto found = facts_.find(std::pair<ChipType, std::string>(type, name));
    return found == facts_.end() ? nullptr : &found->second;
}

std::string chipFactsPathBeside(const std::string& databasePath) {
    if (databasePath.empty())
        return {}; // no database path: never a file of the working folder
    const size_t slash = databasePath.rfind('/');
    return (slash == std::string::npos ? std::string() : databasePath.substr(0, slash + 1)) +
           kChipFactsFileName;
}
