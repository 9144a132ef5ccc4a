// Menu 129 and toolbar 130 as data: which command sits where, with which text of the
// build. The window builds its menu bar and toolbar from these tables, and tests read
// the same tables to check what the user sees.
#pragma once

#include <span>

#include "app/CommandIds.h"
#include "res/Texts.h"

// A command id of 0 marks a separator.
struct MenuEntry {
    unsigned id;
    const char* Texts::*text;
};

struct MenuPopup {
    const char* Texts::*title;
    std::span<const MenuEntry> entries;
};

std::span<const MenuPopup> menuPopups();

// Toolbar slots left to right; id 0 is a separator. `caption` indexes Texts::toolCaption.
struct ToolSlot {
    unsigned id;
    int caption;
};

std::span<const ToolSlot> toolSlots();

// The tooltip of a toolbar button in this build, or null when the build shows none
// (the Chinese build has none for Fill and Exchange) or the id has no button.
const char* toolTipFor(const Texts& texts, unsigned id);

// The menu text of a command in this build, or null for an unknown id.
const char* menuTextFor(const Texts& texts, unsigned id);

// The keyboard shortcuts of a command in Qt's portable form, the one the menu shows
// first ("Ctrl+Shift+Z; Ctrl+Y"), or null.
const char* shortcutFor(unsigned id);
