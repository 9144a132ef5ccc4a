// The query results behind the manufacturer and chip lists of the Select Device dialog and
// the database manager. The arrays are allocated once with the dialog and sized so that
// no database can overflow them: every record may have a manufacturer of its own.
#pragma once

#include "chipdb/ChipDatabase.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Chip Select's narrower view of the database: one family (none: all) and a part of the
// name, found in either case.
struct ChipFilter {
    std::optional<ChipType> family;
    std::string namePart; // UTF-8 as shown; empty: every name
};

// Names compared as a person reads them: letters without regard to case, a run of digits
// by its value (EN25Q16 before EN25Q128); names equal so are ordered by their bytes.
bool naturalLess(std::string_view a, std::string_view b);
// Whether `name` holds `part`, ASCII letters in either case.
bool nameContains(std::string_view name, std::string_view part);

class ChipLists {
  public:
    static constexpr size_t kResultSlots = 1024;
    static constexpr size_t kNameSlots = ChipDatabase::kMaxRecords;
    static_assert(kResultSlots >= ChipDatabase::kMaxRecords);

    explicit ChipLists(const ChipDatabase* database);

    // Lists the manufacturers that have at least one chip of a known family, in database
    // order, and returns how many there are.
    uint16_t loadManufacturers();
    uint16_t manufacturerCount() const { return listedCount_; }
    // NUL-terminated name of listed manufacturer `index` (< manufacturerCount()).
    const char* manufacturer(size_t index) const;

    // Only the manufacturers with a chip that passes `filter`.
    uint16_t loadManufacturers(const ChipFilter& filter);

    // Fills the results with the chips of `manufacturer`, of one family or of all (none).
    uint16_t loadChips(const char* manufacturer, std::optional<ChipType> family);
    // The chips of `manufacturer` that pass `filter`, in natural name order. The file's
    // order stays as it is; only the shown order is another.
    uint16_t loadChips(const char* manufacturer, const ChipFilter& filter);
    uint16_t chipCount() const { return resultCount_; }
    const ChipInfo& chip(size_t index) const; // index < chipCount()

  private:
    // Whether `manufacturer` has a chip that passes `filter` (the results are overwritten).
    bool hasChip(const char* manufacturer, const ChipFilter& filter);

    const ChipDatabase* database_;
    std::unique_ptr<ChipInfo[]> results_;
    uint16_t resultCount_ = 0;
    std::unique_ptr<ManufacturerName[]> names_;
    uint16_t nameCount_ = 0;
    std::unique_ptr<uint16_t[]> listed_; // indexes into names_ of the listed manufacturers
    uint16_t listedCount_ = 0;
};
