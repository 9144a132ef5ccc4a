#include "app/CommandTable.h"

#include <array>
#include <utility>

namespace {

constexpr MenuEntry kSeparator{0, nullptr};

constexpr std::array kFileEntries{
    MenuEntry{IdFileOpen, &Texts::menuOpen},
    MenuEntry{IdFileSave, &Texts::menuSave},
    kSeparator,
    MenuEntry{IdFileAssociate, &Texts::menuRelate},
    kSeparator,
    MenuEntry{IdFileCompare, &Texts::menuCompare},
    kSeparator,
    MenuEntry{IdFileExit, &Texts::menuExit},
};

constexpr std::array kEditEntries{
    MenuEntry{IdEditFill, &Texts::menuFill},
    MenuEntry{IdEditExchange, &Texts::menuExchange},
    kSeparator,
    MenuEntry{IdEditUndo, &Texts::menuUndo},
    MenuEntry{IdEditRedo, &Texts::menuRedo},
    kSeparator,
    MenuEntry{IdEditGoTo, &Texts::menuGoTo},
    MenuEntry{IdEditFind, &Texts::menuFind},
    MenuEntry{IdEditFindNext, &Texts::menuFindNext},
    MenuEntry{IdEditFindPrevious, &Texts::menuFindPrevious},
    kSeparator,
    MenuEntry{IdEditChecksum, &Texts::menuChecksum},
};

constexpr std::array kOperationEntries{
    MenuEntry{IdAuto, &Texts::menuAuto},
    kSeparator,
    MenuEntry{IdRead, &Texts::menuRead},
    MenuEntry{IdErase, &Texts::menuErase},
    MenuEntry{IdWrite, &Texts::menuWrite},
    MenuEntry{IdVerify, &Texts::menuVerify},
    kSeparator,
    MenuEntry{IdChipIdentify, &Texts::menuIdentify},
    MenuEntry{IdChipSelect, &Texts::menuSelect},
    MenuEntry{IdChipEdit, &Texts::menuChipEdit},
    kSeparator,
    MenuEntry{IdFirmwareVersion, &Texts::menuFirmware},
    kSeparator,
    MenuEntry{IdBlankCheck, &Texts::menuBlankCheck},
};

constexpr std::array kHelpEntries{
    MenuEntry{IdHelpUserGuide, &Texts::menuUserGuide},
    MenuEntry{IdHelpAbout, &Texts::menuAbout},
};

const std::array kPopups{
    MenuPopup{&Texts::menuFile, kFileEntries},
    MenuPopup{&Texts::menuEdit, kEditEntries},
    MenuPopup{&Texts::menuOperation, kOperationEntries},
    MenuPopup{&Texts::menuHelp, kHelpEntries},
};

// Read sits after Verify here, where the menu lists it first.
constexpr std::array kToolSlots{
    ToolSlot{IdFileOpen, 0},     ToolSlot{IdFileSave, 1},     ToolSlot{0, -1},
    ToolSlot{IdEditFill, 2},     ToolSlot{IdEditExchange, 3}, ToolSlot{0, -1},
    ToolSlot{IdAuto, 4},         ToolSlot{IdErase, 5},        ToolSlot{IdWrite, 6},
    ToolSlot{IdVerify, 7},       ToolSlot{IdRead, 8},         ToolSlot{0, -1},
    ToolSlot{IdChipIdentify, 9}, ToolSlot{IdChipSelect, 10},  ToolSlot{IdChipEdit, 11},
};

constexpr std::array<std::pair<unsigned, const char * Texts::*>, 12> kToolTips{{
    {IdChipSelect, &Texts::tipChipSelect},
    {IdChipIdentify, &Texts::tipIdentify},
    {IdChipEdit, &Texts::tipChipEdit},
    {IdFileOpen, &Texts::tipOpen},
    {IdFileSave, &Texts::tipSave},
    {IdErase, &Texts::tipErase},
    {IdWrite, &Texts::tipWrite},
    {IdVerify, &Texts::tipVerify},
    {IdRead, &Texts::tipRead},
    {IdAuto, &Texts::tipAuto},
    {IdEditFill, &Texts::tipFill},
    {IdEditExchange, &Texts::tipExchange},
}};

// Desktop conventions: Open, Save, Quit, Undo, Redo (both usual keys), Find, Find Next
// and Previous as every editor has them; Ctrl+G as editors go to a line.
constexpr std::array<std::pair<unsigned, const char*>, 9> kShortcuts{{
    {IdFileOpen, "Ctrl+O"},
    {IdFileSave, "Ctrl+S"},
    {IdFileExit, "Ctrl+Q"},
    {IdEditUndo, "Ctrl+Z"},
    {IdEditRedo, "Ctrl+Shift+Z; Ctrl+Y"},
    {IdEditGoTo, "Ctrl+G"},
    {IdEditFind, "Ctrl+F"},
    {IdEditFindNext, "F3"},
    {IdEditFindPrevious, "Shift+F3"},
}};

} // namespace

std::span<const MenuPopup> menuPopups() {
    return kPopups;
}

std::span<const ToolSlot> toolSlots() {
    return kToolSlots;
}

const char* toolTipFor(const Texts& texts, unsigned id) {
    for (const auto& [command, tip] : kToolTips)
        if (command == id)
            return texts.*tip;
    return nullptr;
}

const char* menuTextFor(const Texts& texts, unsigned id) {
    for (const MenuPopup& popup : kPopups)
        for (const MenuEntry& entry : popup.entries)
            if (entry.id == id && entry.id != 0)
                return texts.*entry.text;
    return nullptr;
}

const char* shortcutFor(unsigned id) {
    for (const auto& [command, keys] : kShortcuts)
        if (command == id)
            return keys;
    return nullptr;
}
