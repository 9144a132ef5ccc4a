// Shows each chip dialog of both builds on a small database and saves a picture of it:
//   dialog_screenshots <folder>
// Run it under a display (xvfb-run) to look at the layouts.
#include "DialogTestSupport.h"
#include "dialogs/ChipInfoDlg.h"
#include "dialogs/ChipSelectDlg.h"
#include "dialogs/ChipViewDlg.h"
#include "res/Texts.h"

#include <QApplication>
#include <QPixmap>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

void save(QWidget& dialog, const std::string& file) {
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        std::fprintf(stderr, "window not shown: %s\n", file.c_str());
    QTest::qWait(100);
    if (!dialog.grab().save(QString::fromStdString(file)))
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_screenshots <folder>\n");
        return 2;
    }
    std::string folder = argv[1];
    TempDir dir;
    std::string path = dir.file("ChipInfo.chip");
    ChipInfo microwire = makeChip("Atmel", "AT93C66", ChipType::Eeprom93, 512);
    microwire.memoryWidth = 16;
    microwire.programMode = 0;
    writeDatabaseFile(path, {
                                makeChip("Atmel", "AT24C02", ChipType::Eeprom24, 256),
                                makeChip("Atmel", "AT25DF041", ChipType::Flash25, 512 << 10),
                                makeChip("Atmel", "AT25080", ChipType::Eeprom25, 1024),
                                microwire,
                                makeChip("Eon", "EN25T80", ChipType::Flash25),
                                makeChip("Macronix", "MX25L1605", ChipType::Flash25, 2 << 20),
                                makeChip("Winbond", "W25Q80", ChipType::Flash25),
                                makeChip("Winbond", "W25Q128", ChipType::Flash25, 16 << 20),
                                makeChip("兆易创新", "GD25Q16", ChipType::Flash25, 2 << 20),
                            });
    for (Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        std::string suffix = language == Language::English ? "-en.png" : "-zh.png";
        auto database = std::make_unique<ChipDatabase>(language, path);
        database->load();
        {
            CChipSelectDlg dialog(database.get(), texts);
            save(dialog, folder + "/select" + suffix);
        }
        {
            CChipViewDlg dialog(database.get(), texts);
            save(dialog, folder + "/view" + suffix);
        }
        {
            CChipInfoDlg dialog(texts.editChipTitle, &microwire, texts);
            save(dialog, folder + "/editor" + suffix);
        }
    }
    return 0;
}
