// The query results behind the manufacturer and chip lists of the Select Device dialog and
// the database manager. The arrays are allocated once with the dialog and sized so that
// no database can overflow them: every record may have a manufacturer of its own.
#pragma once

#include "chipdb/ChipDatabase.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

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

    // Fills the results with the chips of `manufacturer`, of one family or of all (none).
    uint16_t loadChips(const char* manufacturer, std::optional<ChipType> family);
    uint16_t chipCount() const { return resultCount_; }
    const ChipInfo& chip(size_t index) const; // index < chipCount()

  private:
    const ChipDatabase* database_;
    std::unique_ptr<ChipInfo[]> results_;
    uint16_t resultCount_ = 0;
    std::unique_ptr<ManufacturerName[]> names_;
    uint16_t nameCount_ = 0;
    std::unique_ptr<uint16_t[]> listed_; // indexes into names_ of the listed manufacturers
    uint16_t listedCount_ = 0;
};
