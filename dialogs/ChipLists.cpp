#include "dialogs/ChipLists.h"

#include <algorithm>

ChipLists::ChipLists(const ChipDatabase* database)
    : database_(database), results_(new ChipInfo[kResultSlots]()),
      names_(new ManufacturerName[kNameSlots]()), listed_(new uint16_t[kNameSlots]()) {}

uint16_t ChipLists::loadManufacturers() {
    listedCount_ = 0;
    resultCount_ = 0;
    nameCount_ = database_ ? database_->listManufacturers(names_.get(), kNameSlots) : 0;
    nameCount_ = static_cast<uint16_t>(std::min<size_t>(nameCount_, kNameSlots));
    for (uint16_t i = 0; i < nameCount_; ++i) {
        ManufacturerName& name = names_[i];
        name.back() = '\0';
        unsigned chips = 0;
        for (ChipType type :
             {ChipType::Flash25, ChipType::Eeprom24, ChipType::Eeprom25, ChipType::Eeprom93})
            chips += database_->findByManufacturerAndType(results_.get(), kResultSlots, name.data(),
                                                          type);
        if (chips > 0)
            listed_[listedCount_++] = i;
    }
    return listedCount_;
}

const char* ChipLists::manufacturer(size_t index) const {
    if (index >= listedCount_)
        return "";
    return names_[listed_[index]].data();
}

uint16_t ChipLists::loadChips(const char* manufacturer, std::optional<ChipType> family) {
    resultCount_ = 0;
    if (!database_ || !manufacturer)
        return 0;
    uint16_t found = family ? database_->findByManufacturerAndType(results_.get(), kResultSlots,
                                                                   manufacturer, *family)
                            : database_->find(results_.get(), kResultSlots, manufacturer, nullptr);
    resultCount_ = static_cast<uint16_t>(std::min<size_t>(found, kResultSlots));
    return resultCount_;
}

const ChipInfo& ChipLists::chip(size_t index) const {
    return results_[std::min<size_t>(index, kResultSlots - 1)];
}
