#include "AppTestSupport.h"

#include <QScrollBar>
#include <cstdio>
#include <cstring>

#include "app/HexViewWidget.h"
#include "chipdb/ChipDatabase.h"
#include "chipdb/ChipRecord.h"

ChipInfo makeChip(ChipType type, const char* name, uint32_t capacity, uint32_t programMode,
                  uint16_t pageSize, uint8_t manufacturerId, uint8_t deviceId, uint8_t memoryWidth,
                  const char* manufacturer) {
    ChipInfo chip{};
    chip.type = type;
    std::snprintf(chip.name, sizeof chip.name, "%s", name);
    std::snprintf(chip.manufacturer, sizeof chip.manufacturer, "%s", manufacturer);
    chip.minVoltage = 27;
    chip.maxVoltage = 36;
    chip.capacity = capacity;
    chip.programMode = programMode;
    chip.pageSize = pageSize;
    chip.manufacturerId = manufacturerId;
    chip.deviceId = deviceId;
    chip.memoryWidth = memoryWidth;
    return chip;
}

void writeDatabase(const std::string& path, const std::vector<ChipInfo>& chips) {
    std::vector<uint8_t> image(100, 0);
    storeLittleEndian16(image.data(), static_cast<uint16_t>(chips.size()));
    uint8_t sum = 0;
    for (const ChipInfo& chip : chips) {
        ChipRecord record;
        ChipDatabase::chipInfoToRecord(&chip, &record);
        for (uint8_t byte : record.bytes)
            sum = static_cast<uint8_t>(sum + byte);
        image.insert(image.end(), record.bytes.begin(), record.bytes.end());
    }
    image[2] = sum;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return;
    std::fwrite(image.data(), 1, image.size(), file);
    std::fclose(file);
}

std::vector<ChipInfo> standardChips() {
    return {
        makeChip(ChipType::Flash25, "EN25T80", 0x100000, 1, 256, 0x1C, 0x13, 8, "Eon"),
        makeChip(ChipType::Eeprom24, "AT24C02", 256, 1, 8, 0, 0, 8, "Atmel"),
        makeChip(ChipType::Eeprom93, "AT93C46", 128, 0, 0, 0, 0, 16, "Atmel"),
    };
}

std::unique_ptr<StartedWindow> startWindow(Language language, const std::vector<ChipInfo>& chips,
                                           const std::vector<std::string>& arguments) {
    auto started = std::make_unique<StartedWindow>();
    const std::string database = started->path("ChipInfo.chip");
    writeDatabase(database, chips);
    started->window = std::make_unique<CMainDlg>(language, database);
    // Never start a real viewer from a test.
    started->window->setUserGuideFolder(started->folder.path());
    started->window->setDocumentOpener([](const QUrl&) { return false; });
    started->startedUp = started->window->OnInitDialog(arguments);
    return started;
}

void selectChip(CMainDlg& window, const ChipInfo& chip) {
    window.currentChip() = chip;
    window.applyChipChangeToView();
    window.showChipInfo(window.currentChip());
}

std::vector<std::string> hexLine(CMainDlg& window, int i) {
    const HexLine& line = window.hexView()->lines()->line(i);
    return {line.address, line.hex, line.ascii};
}

int hexLineCount(CMainDlg& window) {
    return window.hexView()->lines()->rowCount();
}
