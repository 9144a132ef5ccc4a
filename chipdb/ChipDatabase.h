// The loaded image of ChipInfo.chip: a 100-byte header and up to 1000 records,
// with the file operations and the queries and edits the rest of the program uses.
#pragma once

#include "chipdb/ChipInfo.h"
#include "chipdb/ChipRecord.h"
#include "chipdb/DatabasePath.h"
#include "res/Language.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// One manufacturer name as the dialogs list them.
using ManufacturerName = std::array<char, 40>;

class ChipDatabase {
  public:
    static constexpr uint16_t kMaxRecords = 1000;
    static constexpr size_t kHeaderSize = 100;
    static constexpr size_t kMaxPathLength = 255; // filePath holds 256 characters with the NUL

    // Finds ChipInfo.chip for the running program (see DatabasePath.h).
    explicit ChipDatabase(Language language);
    // Uses `filePath` as given (tests and tools).
    ChipDatabase(Language language, std::string filePath);
    // Loads `location.loadPath()`; the first save makes and then edits the user's copy.
    ChipDatabase(Language language, const DatabaseLocation& location);

    int load();
    int save(); // sorts, then replaces the file atomically; never creates it
    int sort();

    uint16_t count() const;
    const std::string& filePath() const;

    // Each query writes at most `capacity` entries into `out` and returns how many it wrote.
    uint16_t listManufacturers(ManufacturerName* out, size_t capacity) const;
    // By name (manufacturer ignored): 1 and out[0] written, else 0. Else by manufacturer.
    uint16_t find(ChipInfo* out, size_t capacity, const char* manufacturer, const char* name) const;
    uint16_t findByManufacturerAndType(ChipInfo* out, size_t capacity, const char* manufacturer,
                                       ChipType type) const;
    int findById(ChipInfo* out, uint8_t manufacturerId, uint8_t deviceId) const;
    // Every record with both IDs, in database order (findById takes the first).
    uint16_t findAllById(ChipInfo* out, size_t capacity, uint8_t manufacturerId,
                         uint8_t deviceId) const;
    // The record at `index` in database order: 1 and `out` written, 0 past the count.
    int chipAt(uint16_t index, ChipInfo* out) const;
    int remove(const char* name);
    int addOrReplace(const ChipInfo* info);

    static int recordToChipInfo(const ChipRecord* source, ChipInfo* destination);
    static int chipInfoToRecord(const ChipInfo* source, ChipRecord* destination);

  private:
    void clearImage();
    void setCount(uint16_t count);
    uint8_t checksum() const;
    const ChipRecord* findRecordByName(const char* name) const;

    Language language_;
    std::string filePath_;     // empty when refused: load then fails
    std::string userCopyPath_; // where saves go when the loaded file is not to be edited
    // The image: the header as in the file, then the record slots.
    std::array<uint8_t, kHeaderSize> header_{};
    std::array<ChipRecord, kMaxRecords> records_{};
};
