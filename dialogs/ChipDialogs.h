// What the main window's Operation menu runs: Chip Select and Chip Edit.
// (File > Relate is associateDataFiles in desktop/FileAssociation.h.)
#pragma once

#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipInfo.h"
#include "res/Texts.h"

class QWidget;

// Chip Select: runs the Select Device dialog; on OK looks the chosen chip up again by name,
// straight into `currentChip`. Returns true when `currentChip` was replaced; the caller then
// sets the buffer length to its capacity, resets and redraws the view and the chip panel.
// Cancel, no chip, or a chip no longer in the database: false, `currentChip` untouched.
bool runChipSelect(const ChipDatabase& database, ChipInfo& currentChip, const Texts& texts,
                   QWidget* parent = nullptr);

// Chip Edit: runs the database manager until the user leaves it. The database and its file
// are changed by the dialog; the current chip is not.
void runChipEdit(ChipDatabase& database, const Texts& texts, QWidget* parent = nullptr);
