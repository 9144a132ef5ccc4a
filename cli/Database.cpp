#include "cli/Database.h"

#include "chipdb/DatabasePath.h"
#include "protocol/StartUp.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Single-character edits (insert, delete, replace) that turn `a` into `b`.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::string databasePath(const CliContext& context) {
    if (!context.options.database.empty()) {
        return context.options.database;
    }
    return databaseLocationOfThisProgram().loadPath();
}

std::unique_ptr<ChipDatabase> loadChipDatabase(CliContext& context) {
    auto database = std::make_unique<ChipDatabase>(context.language, databasePath(context));
    if (database->load() != 1) {
        context.output.error(
            {}, ExitCode::UsageOrFile,
            std::string(startUpMessage(StartUpOutcome::DatabaseNotLoaded, context.texts)) + " (" +
                database->filePath() + ")");
        return nullptr;
    }
    return database;
}

bool lookUpChip(const ChipDatabase& database, const std::string& name, ChipInfo* chip,
                std::string* error) {
    if (database.find(chip, 1, nullptr, name.c_str()) == 1) {
        return true;
    }
    const std::string wanted = lowerCase(name);
    // Names within two edits, or holding the name typed, nearest first.
    std::vector<std::pair<size_t, std::string>> close;
    ChipInfo candidate{};
    for (uint16_t index = 0; database.chipAt(index, &candidate) == 1; ++index) {
        const std::string lower = lowerCase(candidate.name);
        if (lower == wanted) {
            *chip = candidate;
            return true;
        }
        const size_t distance = editDistance(wanted, lower);
        if (distance <= 2 || (wanted.size() >= 3 && lower.find(wanted) != std::string::npos)) {
            close.emplace_back(distance, candidate.name);
        }
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    *error = "No chip named \"" + name + "\" in the chip database";
    for (size_t i = 0; i < close.size() && i < 5; ++i) {
        *error += (i == 0 ? "; did you mean " : ", ") + close[i].second;
    }
    *error += close.empty() ? " (brimwick-cli chips lists them)" : "?";
    return false;
}

ChipFactsTable loadChipFacts(const CliContext& context) {
    ChipFactsTable facts;
    if (!facts.load(chipFactsPathBeside(databasePath(context)))) {
        facts.load(chipFactsPathBeside(databaseLocationOfThisProgram().installed));
    }
    return facts;
}

const char* familyLabel(ChipType type, const Texts& texts) {
    switch (type) {
    case ChipType::Flash25:
        return texts.family25Flash;
    case ChipType::Eeprom24:
        return texts.family24Eeprom;
    case ChipType::Eeprom25:
        return texts.family25Eeprom;
    case ChipType::Eeprom93:
        return texts.family93Eeprom;
    }
    return "?";
}
