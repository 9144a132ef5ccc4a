// Every user-visible text of one language build. A null pointer means the build
// shows nothing in that place (several failure paths speak only in Chinese).
// \r\n line ends are kept as the texts have them; the views turn them into line breaks.
#pragma once

#include "res/Language.h"

struct Texts {
    // Main window and start-up
    const char* windowTitle;
    const char* aboutMenuItem;
    const char* dbLoadFailed;
    const char* memoryNotEnough;
    const char* deviceOpenFailed;
    const char* fileOpenFailed;

    // Menu 129: pop-ups and items
    const char* menuFile;
    const char* menuOpen;
    const char* menuSave;
    const char* menuRelate;
    const char* menuExit;
    const char* menuEdit;
    const char* menuFill;
    const char* menuExchange;
    const char* menuOperation;
    const char* menuAuto;
    const char* menuRead;
    const char* menuErase;
    const char* menuWrite;
    const char* menuVerify;
    const char* menuIdentify;
    const char* menuSelect;
    const char* menuChipEdit;
    const char* menuFirmware;
    const char* menuHelp;
    const char* menuUserGuide;
    const char* menuAbout;

    // Toolbar 130: captions under the icons, slots 1..12 left to right
    const char* toolCaption[12];
    // Tooltips by command
    const char* tipChipSelect;
    const char* tipIdentify;
    const char* tipChipEdit;
    const char* tipOpen;
    const char* tipSave;
    const char* tipErase;
    const char* tipWrite;
    const char* tipVerify;
    const char* tipRead;
    const char* tipAuto;
    const char* tipFill;
    const char* tipExchange;

    // Chip information panel
    const char* chipInfoGroup;
    const char* infoName;
    const char* infoManufacturer;
    const char* capMB;
    const char* capKB;
    const char* capB;
    const char* cap93M8;
    const char* cap93K8;
    const char* cap93B8;
    const char* cap93M16;
    const char* cap93K16;
    const char* cap93B16;
    const char* infoManufacturerId;
    const char* infoDeviceId;
    const char* infoPageMode;
    const char* infoByteMode;

    // About box and help
    const char* aboutTitle;
    const char* aboutText;
    // The chip database in use, below the name and version: %s is its path.
    const char* aboutDatabase;
    const char* okButton;
    const char* cancelButton;
    const char* helpOpenFailed;

    // Device link
    const char* pipeWriteError;
    const char* pipeReadError;

    // Read, Erase, Write, Verify
    const char* deviceBusy;
    const char* startReadChipError;
    const char* reading;
    const char* readFailureStatus;
    const char* readFailureBox;
    const char* readDone;
    const char* eraseStartError;
    const char* erasing;
    const char* eraseFailureStatus;
    const char* eraseFailureBox;
    const char* eraseDone;
    const char* writeStartError;
    const char* writing;
    const char* writeFailureStatus;
    const char* writeFailureBox;
    const char* writeDone;
    const char* verifying;
    const char* verifyReadFailureStatus;
    const char* verifyReadFailureBox;
    const char* verifyDiffStatus;
    const char* verifyDiffBox;
    const char* verifyDone;
    // A chip larger than the 16 MiB buffer cannot be read, written or verified whole.
    const char* chipTooLarge;
    // Blank Check: the chip is read as Verify reads it and must hold only FF.
    const char* blankChecking;
    const char* blankFailureStatus;
    const char* blankFailureBox;
    const char* notBlankStatus;
    const char* notBlankBox; // address, then the chip byte's two hex digits
    const char* blankDone;

    // Identify and firmware version
    const char* identifyFailureStatus;
    const char* identifyFailureBox;
    const char* idText;
    const char* notFoundStatus;
    const char* notFoundBox;
    const char* identifiedStatus;
    const char* identifiedBox;
    const char* firmwareFailure;
    const char* firmwareStatus;
    const char* firmwareBox;

    // Chip database file
    const char* dbPathNotFound;
    const char* dbFileOpenFailed;

    // Hex view column headers
    const char* colAddress;
    const char* colHex;
    const char* colAscii;

    // Fill dialog and Edit commands
    const char* fillTitle;
    const char* fillStartLabel;
    const char* fillEndLabel;
    const char* fillDataLabel;
    const char* fillInputError;
    const char* fillStartOutOfRange;
    const char* fillStartAboveEnd;

    // Data files
    const char* openFilter;
    const char* saveFilter;
    // Entries for Intel HEX and S-record files, listed after the ones above.
    const char* openFilterMore;
    const char* saveFilterMore;
    const char* fileTooLarge;
    const char* hexOpenFailed;
    const char* hexUnexpectedEnd;
    const char* hexIllegalChar;
    const char* hexBadRecord;
    const char* hexChecksum;
    const char* saveDone;
    // A save that could not create or write its file.
    const char* saveFailed;

    // File association
    const char* relateQuestion;
    const char* relateBinFailed;
    const char* relateHexFailed;
    const char* relateDone;

    // Family labels (same in both builds): ALL, 25 FLASH, 25 EEPROM, 24 EEPROM, 93 EEPROM
    const char* familyAll;
    const char* family25Flash;
    const char* family25Eeprom;
    const char* family24Eeprom;
    const char* family93Eeprom;
    const char* chipTypeGroup;

    // Select Device dialog
    const char* selectTitle;
    const char* selectManufacturerLabel;
    const char* selectDeviceLabel;

    // Device database manager
    const char* viewTitle;
    const char* addChipButton;
    const char* deleteChipButton;
    const char* editChipButton;
    const char* exitButton;
    const char* viewColumn[9];
    int viewColumnWidth[9];
    const char* cellPageProgram;
    const char* cellByteProgram;
    const char* cellInvalid;
    const char* chipExists;
    const char* addChipTitle;
    const char* editChipTitle;
    // A database change that could not be saved (the Chinese build reports the file instead).
    const char* chipDbSaveFailed;

    // Add and Edit chip dialog
    const char* labelDeviceName;
    const char* labelManuName;
    const char* labelCapacity;
    const char* unitB;
    const char* unitKB;
    const char* labelMinVoltage;
    const char* labelMaxVoltage;
    const char* modePP;
    const char* modeBP;
    const char* labelPageSize;
    const char* labelManuId;
    const char* labelDeviceId;
    const char* labelAddressWidth;
    const char* labelMemoryWidth;
    const char* capacityError;
    const char* minVoltageError;
    const char* maxVoltageError;
    const char* pageSizeError;
    const char* chipTypeError;
    const char* addressWidthError;
    const char* memoryWidthError;
    const char* nameTooLong;
    const char* manufacturerTooLong;

    // Buffer tools: Undo, Redo, Go To Address, Find, Checksum, Compare with File
    const char* menuUndo;
    const char* menuRedo;
    const char* menuGoTo;
    const char* menuFind;
    const char* menuFindNext;
    const char* menuFindPrevious;
    const char* menuChecksum;
    const char* menuCompare;
    const char* menuBlankCheck;
    const char* goToTitle;
    const char* goToLabel;
    const char* goToOutOfRange;
    const char* findTitle;
    const char* findLabel;
    const char* findHexOption;
    const char* findTextOption;
    const char* findNextButton;
    const char* findPreviousButton;
    const char* closeButton;
    const char* findHexError;
    const char* findFound; // %06X: the match's address
    const char* findNotFound;
    const char* copyButton;
    const char* checksumTitle;
    // Byte count twice (decimal, hex), CRC32 text, SHA-256 text, 8-bit sum, 16-bit sum
    const char* checksumReport;
    const char* compareTitle;
    // File name, bytes compared, bytes that differ
    const char* compareSummary;
    const char* compareSame;
    const char* compareHeader;
    const char* compareMore; // %u: differences not listed

    // Command line of the window programs: --help
    const char* commandLineUsage;
    // Why a data file failed to load (the line under the failure text); a verify
    // difference in one line (brimwick-cli)
    const char* loadFaultLine; // %u: the line, %s: one of the reasons below
    const char* loadFaultEnd;
    const char* loadFaultCharacter;
    const char* loadFaultRecord;
    const char* loadFaultChecksum;
    const char* loadFaultBeyondStore; // %u: the buffer's size in MiB
    const char* loadFaultMissing;
    const char* loadFaultDenied;
    const char* loadFaultFolder;
    const char* loadFaultUnreadable;
    const char* verifyDiffLine; // address, file's byte, chip's byte
    // The chip in the socket checked before a device command; Identify's choice among chips
    // that share IDs
    const char* wrongChipWarning;  // selected chip, its IDs, what the socket answers
    const char* knownChipAnswer;   // IDs, the database's chips with them
    const char* unknownChipAnswer; // IDs
    const char* emptySocketAnswer; // IDs (FF FF or 00 00)
    const char* continueButton;
    const char* wrongChipStatus;
    const char* chooseChipTitle;
    const char* chooseChipLabel; // IDs
    // Chip Select's name filter; Find's match case and the notes of a search that wrapped
    const char* selectFilterLabel;
    const char* selectFilterHint;
    const char* findMatchCase;
    const char* findWrappedToStart; // %06X: the match's address, found from the chip's start
    const char* findWrappedToEnd;   // %06X: the match's address, found from the chip's end
    // Identify on IDs the database lacks: the line before the ready chip-table row
    const char* identifyTableRowNote;
    // Unsaved changes on closing, and the Programmer menu of Operation
    const char* unsavedQuestion;
    const char* saveButton;
    const char* discardButton;
    const char* menuProgrammer;
    const char* programmerNone;
    const char* programmerInUse; // %s: the programmer's device path
    // Over a bridge: what the chip's ID says, faults, protection, supply
    const char* bridgeNoChip;
    // A 24 or 93 EEPROM over a bridge: nothing acknowledges or drives the data line.
    const char* bridgeEepromNoAnswer;
    const char* bridgeNoContact;
    // %lX, %lX: the first and last protected address
    const char* bridgeProtectedQuestion;
    // %lX, %lX: as above
    const char* bridgeProtectedBox;
    const char* bridgeProtectionLocked;
    const char* bridgeProtectionNotCleared;
    // %s: the chip; %u.%u: its highest supply in volts
    const char* bridgeLowVoltageQuestion;
    // %s: the chip
    const char* bridgeLowVoltageBox;
    const char* bridgeGone;
    const char* bridgeStalled;
    // %lX: the first address that differs
    const char* bridgeReadsDiffer;
    const char* bridgeStillBusy;
    const char* bridgeFamilyUnsupported;
    // A chip above what the store grows to over a bridge
    const char* bridgeChipTooLarge;
    // %s: the JEDEC ID in hex
    const char* bridgeSfdpChipName;
    // %u.%u: revision; %s: capacity; %u: page size; %s: erase sizes
    const char* bridgeSfdpSound;
    const char* bridgeSfdpAbsent;
    // %s: what is wrong (English)
    const char* bridgeSfdpDamaged;
    // %s: the IDs in hex; the question after an identify found no chip in the database
    const char* addUnknownChipQuestion;
    // Chip panel over a bridge; %s: the JEDEC ID bytes in hex
    const char* panelJedecId;
    const char* panelFourByteAddress;
    // Operation > Programmer > I2C speed, for the bridge in use; %u: a speed in kHz
    const char* menuI2cSpeed;
    const char* i2cSpeedChoice;
    // %s: the bridge's device path; %u: the speed in kHz
    const char* i2cSpeedSet;
    // Operation > Programmer > SPI Clock of a CH347; %s: a clock ("15 MHz")
    const char* menuSpiClock;
    const char* spiClockDefault;
    const char* spiClockStatus;
    // A 25 EEPROM over a bridge whose status register reads 00 even after write enable
    const char* bridgeEepromNoContact;
};

extern const Texts kTextsEnglish;
extern const Texts kTextsChinese;

inline const Texts& textsFor(Language language) {
    return language == Language::Chinese ? kTextsChinese : kTextsEnglish;
}
