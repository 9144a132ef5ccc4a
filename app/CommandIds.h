// Command ids of menu 129 and toolbar 130.
#pragma once

enum CommandId : unsigned {
    IdAboutSystemMenu = 16,
    IdFileExit = 32841,
    IdHelpUserGuide = 32862,
    IdHelpAbout = 32863,
    IdChipSelect = 32880,
    IdChipIdentify = 32881,
    IdChipEdit = 32882,
    IdFileOpen = 32884,
    IdFileSave = 32885,
    IdErase = 32886,
    IdWrite = 32887,
    IdVerify = 32888,
    IdRead = 32889,
    IdAuto = 32891,
    IdFirmwareVersion = 32893,
    IdEditFill = 32894,
    IdEditExchange = 32895,
    IdFileAssociate = 32896,
    // Buffer tools, after the described commands
    IdEditUndo = 32910,
    IdEditRedo = 32911,
    IdEditGoTo = 32912,
    IdEditFind = 32913,
    IdEditFindNext = 32914,
    IdEditFindPrevious = 32915,
    IdEditChecksum = 32916,
    IdFileCompare = 32917,
    IdBlankCheck = 32918,
    // The Programmer submenu of Operation (its entries are the programmers present)
    IdProgrammerMenu = 32940,
};
