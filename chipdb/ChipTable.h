// The chip table's text forms: a row of chipdb/chips.tsv (what mkchipdb reads and what
// Identify offers for a chip the database lacks) and ChipFacts.tsv, the companion of
// ChipInfo.chip that mkchipdb builds from the same table. ChipInfo.chip keeps its
// fixed records; what bridges need beyond them (the JEDEC ID of 9Fh, erase sizes and
// opcodes, address bytes, SFDP) and each chip's source live in the companion,
// keyed by family and name. A chip the user adds has no facts: callers then use defaults.
#pragma once

#include "chipdb/ChipInfo.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr const char* kChipFactsFileName = "ChipFacts.tsv";
inline constexpr size_t kChipTableColumns = 18;

// "25 FLASH", "24 EEPROM", "25 EEPROM", "93 EEPROM": the family as the table spells it.
const char* chipFamilyName(ChipType type);
std::optional<ChipType> chipFamilyFromName(std::string_view name);

// The tab-separated columns of one line, each without the spaces around it.
std::vector<std::string> splitTableColumns(std::string_view line);

// A chip's facts beyond its record. Text as in the table; "-" where a fact does not apply.
struct ChipFacts {
    std::string jedecId;      // three bytes of 9Fh, six hex digits ("EF4017")
    std::string erase;        // "4K=20 32K=52 64K=D8 chip=C7": erase size=opcode pairs
    std::string addressBytes; // "3", or "4" above 16 MiB
    std::string sfdp;         // Y, N or ? (not known)
    std::string shares;       // the other chips of the family with the same IDs, comma-separated
    std::string source;       // datasheet or public reference the row was taken from
};

// A chips.tsv line for `chip` with `facts`, columns in the table's order.
std::string chipTableRow(const ChipInfo& chip, const ChipFacts& facts);

// ChipFacts.tsv: family, name, then the facts' columns in ChipFacts order.
class ChipFactsTable {
  public:
    // False when the file cannot be read or a line lacks columns; the table is then empty.
    bool load(const std::string& path);
    // Writes the table (one line per chip, sorted by family and name) to `path`.
    bool save(const std::string& path) const;

    void add(ChipType type, const std::string& name, ChipFacts facts);
    const ChipFacts* find(ChipType type, std::string_view name) const;
    size_t size() const { return facts_.size(); }

  private:
    std::map<std::pair<ChipType, std::string>, ChipFacts, std::less<>> facts_;
};

// ChipFacts.tsv in the folder of `databasePath`; empty for an empty path.
std::string chipFactsPathBeside(const std::string& databasePath);
