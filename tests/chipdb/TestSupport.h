// Shared helpers of the chip database tests: a scratch folder, a recording
// message-box sink and hand-built file bytes that do not use the code under test.
#pragma once

#include "res/MessageBox.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "chipdb-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        path_ = ::mkdtemp(name.data());
    }
    ~ScratchFolder() {
        ::chmod(path_.c_str(), 0700);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        return names;
    }

  private:
    std::string path_;
};

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

class RecordingSink : public MessageBoxSink {
  public:
    RecordingSink() : previous_(setMessageBoxSink(this)) {}
    ~RecordingSink() override { setMessageBoxSink(previous_); }
    BoxResult show(BoxStyle, std::string_view text) override {
        texts.emplace_back(text);
        return BoxResult::Ok;
    }
    std::vector<std::string> texts;

  private:
    MessageBoxSink* previous_;
};

// One stored record laid out by hand: offsets 0 type, 4 name, 44 manufacturer,
// 64/65 voltages, 68 capacity, 72 mode, 76 page size, 78/79 IDs, 80/81 widths.
struct RawChip {
    uint32_t type = 0;
    std::string name;
    std::string manufacturer;
    uint8_t minVoltage = 27, maxVoltage = 36;
    uint32_t capacity = 1048576;
    uint32_t programMode = 1;
    uint16_t pageSize = 256;
    uint8_t manufacturerId = 0xEF, deviceId = 0x13;
    uint8_t addressWidth = 0, memoryWidth = 8;
    uint8_t filler = 0; // padding and reserved bytes
};

inline void putLe(Bytes& bytes, size_t offset, uint32_t value, size_t size) {
    for (size_t i = 0; i < size; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline Bytes rawRecord(const RawChip& chip) {
    Bytes record(108, 0);
    putLe(record, 0, chip.type, 4);
    std::memcpy(&record[4], chip.name.data(), std::min<size_t>(chip.name.size(), 40));
    std::memcpy(&record[44], chip.manufacturer.data(),
                std::min<size_t>(chip.manufacturer.size(), 20));
    record[64] = chip.minVoltage;
    record[65] = chip.maxVoltage;
    record[66] = record[67] = chip.filler;
    putLe(record, 68, chip.capacity, 4);
    putLe(record, 72, chip.programMode, 4);
    putLe(record, 76, chip.pageSize, 2);
    record[78] = chip.manufacturerId;
    record[79] = chip.deviceId;
    record[80] = chip.addressWidth;
    record[81] = chip.memoryWidth;
    std::memset(&record[82], chip.filler, 26);
    return record;
}

inline uint8_t sumOf(const Bytes& bytes, size_t from, size_t to) {
    uint8_t sum = 0;
    for (size_t i = from; i < to; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum;
}

// A whole file: header with count and checksum, the records, then `tail`.
inline Bytes rawDatabase(const std::vector<RawChip>& chips, const Bytes& tail = {},
                         uint8_t headerFiller = 0) {
    Bytes file(100, headerFiller);
    putLe(file, 0, static_cast<uint32_t>(chips.size()), 2);
    for (const RawChip& chip : chips) {
        Bytes record = rawRecord(chip);
        file.insert(file.end(), record.begin(), record.end());
    }
    file[2] = sumOf(file, 100, file.size());
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

inline std::string nameAt(const Bytes& file, size_t slot) {
    const char* field = reinterpret_cast<const char*>(&file[100 + 108 * slot + 4]);
    return std::string(field, strnlen(field, 40));
}
inline std::string manufacturerAt(const Bytes& file, size_t slot) {
    const char* field = reinterpret_cast<const char*>(&file[100 + 108 * slot + 44]);
    return std::string(field, strnlen(field, 20));
}
