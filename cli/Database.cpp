#include "cli/Database.h"

#include "chipdb/DatabasePath.h"
#include "protocol/StartUp.h"

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
