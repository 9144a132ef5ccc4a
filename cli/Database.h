// The chip database the commands look chips up in.
#pragma once

#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipTable.h"
#include "cli/Command.h"

#include <memory>
#include <string>

// Where ChipInfo.chip is read from: --db when given, else where the window reads it (the
// user's copy of an installed database once there is one).
std::string databasePath(const CliContext& context);

// Loads the database; null after reporting why (exit code 2).
std::unique_ptr<ChipDatabase> loadChipDatabase(CliContext& context);

// The chip --chip NAME names, case ignored (an exact match first). False when there is
// none; `error` then says so and suggests close names.
bool lookUpChip(const ChipDatabase& database, const std::string& name, ChipInfo* chip,
                std::string* error);

// The shipped facts of the chips (ChipFacts.tsv beside the database, else beside the
// installed one); empty when there is none: a user's own chips have no facts.
ChipFactsTable loadChipFacts(const CliContext& context);

// The family's label as the window shows it ("25 FLASH"); "?" for an unknown value.
const char* familyLabel(ChipType type, const Texts& texts);
