// Queries and edits on the loaded image, and the conversions between the stored
// record and the ChipInfo the rest of the program uses.
#include "chipdb/ChipDatabase.h"
#include "chipdb/TextField.h"

#include <cstring>

int ChipDatabase::recordToChipInfo(const ChipRecord* source, ChipInfo* destination) {
    if (!source || !destination)
        return 0;
    destination->type = static_cast<ChipType>(source->type());
    // A full 40-byte name is cut by one so that every ChipInfo name is terminated.
    copyTextIntoField(destination->name, sizeof destination->name,
                      reinterpret_cast<const char*>(source->name()), sizeof destination->name - 1);
    copyTextIntoField(destination->manufacturer, sizeof destination->manufacturer,
                      reinterpret_cast<const char*>(source->manufacturer()),
                      ChipRecord::kManufacturerSize);
    destination->minVoltage = source->minVoltage();
    destination->maxVoltage = source->maxVoltage();
    destination->capacity = source->capacity();
    destination->programMode = source->programMode();
    destination->pageSize = source->pageSize();
    destination->manufacturerId = source->manufacturerId();
    destination->deviceId = source->deviceId();
    destination->addressWidth = source->addressWidth();
    destination->memoryWidth = source->memoryWidth();
    return 1;
}

int ChipDatabase::chipInfoToRecord(const ChipInfo* source, ChipRecord* destination) {
    if (!source || !destination)
        return 0;
    // Padding and reserved bytes are left as the slot holds them.
    destination->setType(static_cast<uint32_t>(source->type));
    copyTextIntoField(destination->name(), ChipRecord::kNameSize, source->name,
                      sizeof source->name);
    copyTextIntoField(destination->manufacturer(), ChipRecord::kManufacturerSize,
                      source->manufacturer, sizeof source->manufacturer);
    destination->setMinVoltage(source->minVoltage);
    destination->setMaxVoltage(source->maxVoltage);
    destination->setCapacity(source->capacity);
    destination->setProgramMode(source->programMode);
    destination->setPageSize(source->pageSize);
    destination->setManufacturerId(source->manufacturerId);
    destination->setDeviceId(source->deviceId);
    destination->setAddressWidth(source->addressWidth);
    destination->setMemoryWidth(source->memoryWidth);
    return 1;
}

const ChipRecord* ChipDatabase::findRecordByName(const char* name) const {
    for (uint16_t i = 0; i < count(); ++i)
        if (textFieldEquals(records_[i].name(), ChipRecord::kNameSize, name))
            return &records_[i];
    return nullptr;
}

uint16_t ChipDatabase::listManufacturers(ManufacturerName* out, size_t capacity) const {
    if (!out)
        return 0;
    uint16_t listed = 0;
    for (uint16_t i = 0; i < count() && listed < capacity; ++i) {
        const uint8_t* manufacturer = records_[i].manufacturer();
        bool known = false;
        for (uint16_t j = 0; j < listed && !known; ++j)
            known = textFieldEquals(manufacturer, ChipRecord::kManufacturerSize, out[j].data());
        if (!known) {
            copyTextIntoField(out[listed].data(), out[listed].size(),
                              reinterpret_cast<const char*>(manufacturer),
                              ChipRecord::kManufacturerSize);
            ++listed;
        }
    }
    return listed;
}

uint16_t ChipDatabase::find(ChipInfo* out, size_t capacity, const char* manufacturer,
                            const char* name) const {
    if (!out || capacity == 0)
        return 0;
    if (name) {
        const ChipRecord* record = findRecordByName(name);
        return record ? static_cast<uint16_t>(recordToChipInfo(record, &out[0])) : 0;
    }
    if (!manufacturer)
        return 0;
    uint16_t found = 0;
    for (uint16_t i = 0; i < count() && found < capacity; ++i)
        if (textFieldEquals(records_[i].manufacturer(), ChipRecord::kManufacturerSize,
                            manufacturer))
            recordToChipInfo(&records_[i], &out[found++]);
    return found;
}

uint16_t ChipDatabase::findByManufacturerAndType(ChipInfo* out, size_t capacity,
                                                 const char* manufacturer, ChipType type) const {
    if (!out || !manufacturer)
        return 0;
    uint16_t found = 0;
    for (uint16_t i = 0; i < count() && found < capacity; ++i)
        if (records_[i].type() == static_cast<uint32_t>(type) &&
            textFieldEquals(records_[i].manufacturer(), ChipRecord::kManufacturerSize,
                            manufacturer))
            recordToChipInfo(&records_[i], &out[found++]);
    return found;
}

int ChipDatabase::findById(ChipInfo* out, uint8_t manufacturerId, uint8_t deviceId) const {
    if (!out)
        return 0;
    for (uint16_t i = 0; i < count(); ++i)
        if (records_[i].manufacturerId() == manufacturerId && records_[i].deviceId() == deviceId)
            return recordToChipInfo(&records_[i], out);
    return 0;
}

uint16_t ChipDatabase::findAllById(ChipInfo* out, size_t capacity, uint8_t manufacturerId,
                                   uint8_t deviceId) const {
    uint16_t found = 0;
    for (uint16_t i = 0; out && i < count() && found < capacity; ++i)
        if (records_[i].manufacturerId() == manufacturerId && records_[i].deviceId() == deviceId)
            recordToChipInfo(&records_[i], &out[found++]);
    return found;
}

int ChipDatabase::chipAt(uint16_t index, ChipInfo* out) const {
    return index < count() ? recordToChipInfo(&records_[index], out) : 0;
}

int ChipDatabase::remove(const char* name) {
    if (!name)
        return 0;
    const ChipRecord* record = findRecordByName(name);
    if (!record)
        return 0;
    auto slot = static_cast<size_t>(record - records_.data());
    // The vacated last slot is left as it is; it lies beyond the count.
    for (size_t i = slot; i + 1 < count(); ++i)
        records_[i] = records_[i + 1];
    setCount(static_cast<uint16_t>(count() - 1));
    return 1;
}

int ChipDatabase::addOrReplace(const ChipInfo* info) {
    // A name must be non-empty and terminated within its field to be a key.
    if (!info || info->name[0] == '\0' ||
        textFieldLength(info->name, sizeof info->name) >= sizeof info->name)
        return 0;
    if (const ChipRecord* record = findRecordByName(info->name))
        return chipInfoToRecord(info, &records_[static_cast<size_t>(record - records_.data())]);
    if (count() >= kMaxRecords)
        return 0;
    ChipRecord& slot = records_[count()];
    setCount(static_cast<uint16_t>(count() + 1));
    return chipInfoToRecord(info, &slot);
}
