#include "dialogs/ChipLists.h"

#include "dialogs/ChipCellTexts.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The digits of a run starting at `at`, leading zeros left out; `at` moves past the run.
std::string_view digitRun(std::string_view text, size_t& at) {
    while (at < text.size() && text[at] == '0' && at + 1 < text.size() && isDigit(text[at + 1]))
        ++at;
    const size_t begin = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return text.substr(begin, at - begin);
}

std::string shownName(const ChipInfo& chip) {
    return fieldText(chip.name, sizeof chip.name);
}

constexpr ChipType kKnownFamilies[] = {ChipType::Flash25, ChipType::Eeprom24, ChipType::Eeprom25,
                                       ChipType::Eeprom93};

} // namespace

bool naturalLess(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::string_view x = digitRun(a, i);
            const std::string_view y = digitRun(b, j);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            continue;
        }
        const char x = lowerAscii(a[i++]);
        const char y = lowerAscii(b[j++]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    return a < b;
}

bool nameContains(std::string_view name, std::string_view part) {
    return std::search(name.begin(), name.end(), part.begin(), part.end(),
                       [](char x, char y) { return lowerAscii(x) == lowerAscii(y); }) != name.end();
}

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

uint16_t ChipLists::loadManufacturers(const ChipFilter& filter) {
    loadManufacturers();
    uint16_t kept = 0;
    for (uint16_t i = 0; i < listedCount_; ++i)
        if (hasChip(names_[listed_[i]].data(), filter))
            listed_[kept++] = listed_[i];
    listedCount_ = kept;
    resultCount_ = 0;
    return listedCount_;
}

bool ChipLists::hasChip(const char* manufacturer, const ChipFilter& filter) {
    // Asked for every manufacturer at each key typed in the filter: no sorting here.
    for (ChipType type : kKnownFamilies) {
        if (filter.family && *filter.family != type)
            continue;
        loadChips(manufacturer, type);
        if (std::any_of(results_.get(), results_.get() + resultCount_, [&](const ChipInfo& chip) {
                return nameContains(shownName(chip), filter.namePart);
            }))
            return true;
    }
    return false;
}

uint16_t ChipLists::loadChips(const char* manufacturer, const ChipFilter& filter) {
    loadChips(manufacturer, filter.family);
    // Each name decoded once (GBK names too): the filter and the sort use the shown text.
    std::vector<std::pair<std::string, uint16_t>> shown;
    shown.reserve(resultCount_);
    for (uint16_t i = 0; i < resultCount_; ++i)
        if (std::string name = shownName(results_[i]); nameContains(name, filter.namePart))
            shown.emplace_back(std::move(name), i);
    std::stable_sort(shown.begin(), shown.end(),
                     [](const auto& x, const auto& y) { return naturalLess(x.first, y.first); });
    std::vector<ChipInfo> ordered;
    ordered.reserve(shown.size());
    for (const auto& [name, index] : shown)
        ordered.push_back(results_[index]);
    std::copy(ordered.begin(), ordered.end(), results_.get());
    resultCount_ = static_cast<uint16_t>(ordered.size());
    return resultCount_;
}

const ChipInfo& ChipLists::chip(size_t index) const {
    return results_[std::min<size_t>(index, kResultSlots - 1)];
}
