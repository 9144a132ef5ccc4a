// chips [--family F] [PATTERN]: the chips of the database, one line each. With --json every
// field of the record and the shipped facts (JEDEC ID, erase, source...), so that two
// versions of the database can be compared.
#include "cli/Command.h"
#include "cli/Database.h"

#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <optional>

namespace {

struct FamilyKey {
    const char* key;
    ChipType type;
};

constexpr std::array kFamilyKeys = {
    FamilyKey{"25flash", ChipType::Flash25},
    FamilyKey{"25eeprom", ChipType::Eeprom25},
    FamilyKey{"24eeprom", ChipType::Eeprom24},
    FamilyKey{"93eeprom", ChipType::Eeprom93},
};

struct ChipsOptions {
    std::string family;
    std::string pattern;
};

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A pattern with * ? or [ is a shell pattern over the whole name; other text is looked
// for anywhere in it. Both ignore case, as chip markings do.
bool nameMatches(const char* name, const std::string& pattern) {
    if (pattern.empty()) {
        return true;
    }
    if (pattern.find_first_of("*?[") != std::string::npos) {
        return fnmatch(pattern.c_str(), name, FNM_CASEFOLD) == 0;
    }
    return lowerCase(name).find(lowerCase(pattern)) != std::string::npos;
}

std::optional<ChipType> familyOf(const std::string& key) {
    for (const FamilyKey& entry : kFamilyKeys) {
        if (key == entry.key) {
            return entry.type;
        }
    }
    return std::nullopt;
}

std::string hexByte(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

// The facts' columns; null for a chip the shipped table does not describe.
void addFacts(Json& event, const ChipFacts* facts) {
    auto text = [facts](const std::string ChipFacts::*field) {
        return facts != nullptr ? Json(facts->*field) : Json(nullptr);
    };
    event["jedecId"] = text(&ChipFacts::jedecId);
    event["erase"] = text(&ChipFacts::erase);
    event["addressBytes"] = text(&ChipFacts::addressBytes);
    event["sfdp"] = text(&ChipFacts::sfdp);
    Json shares = facts != nullptr ? Json::array() : Json(nullptr);
    for (size_t start = 0;
         facts != nullptr && facts->shares != "-" && start <= facts->shares.size();) {
        const size_t comma = std::min(facts->shares.find(',', start), facts->shares.size());
        shares.push_back(facts->shares.substr(start, comma - start));
        start = comma + 1;
    }
    event["shares"] = shares;
    event["source"] = text(&ChipFacts::source);
}

ExitCode runChips(CliContext& context, const ChipsOptions& options) {
    const std::unique_ptr<ChipDatabase> database = loadChipDatabase(context);
    if (!database) {
        return ExitCode::UsageOrFile;
    }
    const std::optional<ChipType> family =
        options.family.empty() ? std::nullopt : familyOf(options.family);
    const ChipFactsTable facts = loadChipFacts(context);
    if (!context.output.json() && isatty(STDOUT_FILENO) == 1) {
        // For a person; a script reading the lines gets no header.
        char header[160];
        std::snprintf(header, sizeof header, "%-24s %-20s %-9s %10s  %s", "NAME", "MANUFACTURER",
                      "FAMILY", "BYTES", "IDS");
        context.output.result({}, header);
    }
    ChipInfo chip{};
    for (uint16_t index = 0; database->chipAt(index, &chip) == 1; ++index) {
        if ((family && chip.type != *family) || !nameMatches(chip.name, options.pattern)) {
            continue;
        }
        const char* label = familyLabel(chip.type, context.texts);
        Json event{{"event", "chip"},
                   {"name", chip.name},
                   {"manufacturer", chip.manufacturer},
                   {"family", label},
                   {"capacity", chip.capacity},
                   {"manufacturerId", hexByte(chip.manufacturerId)},
                   {"deviceId", hexByte(chip.deviceId)},
                   {"minVoltage", chip.minVoltage},
                   {"maxVoltage", chip.maxVoltage},
                   {"programMode", chip.programMode == 1 ? "PP" : "BP"},
                   {"pageSize", chip.pageSize},
                   {"addressWidth", chip.addressWidth},
                   {"memoryWidth", chip.memoryWidth}};
        addFacts(event, facts.find(chip.type, chip.name));
        char line[160];
        std::snprintf(line, sizeof line, "%-24s %-20s %-9s %10u  %s %s", chip.name,
                      chip.manufacturer, label, chip.capacity, hexByte(chip.manufacturerId).c_str(),
                      hexByte(chip.deviceId).c_str());
        context.output.result(event, line);
    }
    return ExitCode::Done;
}

} // namespace

Command addChipsCommand(CLI::App& parent) {
    auto options = std::make_shared<ChipsOptions>();
    CLI::App* app = parent.add_subcommand(
        "chips", "List the chips of the database: name, manufacturer, family, capacity in "
                 "bytes, manufacturer and device ID");
    std::vector<std::string> keys;
    for (const FamilyKey& entry : kFamilyKeys) {
        keys.emplace_back(entry.key);
    }
    app->add_option("--family", options->family, "Only chips of this family")
        ->check(CLI::IsMember(keys));
    app->add_option("PATTERN", options->pattern,
                    "Only chips whose name contains this text, or matches it as a shell "
                    "pattern (* ? [...]); case is ignored");
    return {app, [options](CliContext& context) { return runChips(context, *options); }};
}
