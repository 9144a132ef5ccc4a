// The window over a simulated CH341A: Programmer menu, identify of an unknown chip, questions.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "dialogs/ChipInfoDlg.h"
#include "sim/Ch347Device.h"
#include "sim/SpiChipCatalogue.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/SimProgrammer.h"
#include <QMenu>

TEST(BridgeWindow, UnknownChipSavedOnOkOnlyAndItsQuestionsStopTheEraseUnlessContinued) {
    for (const Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        testsupport::SimFolder folder;
        testsupport::SimProcess sim(
            BRIMWICK_SIM_PROGRAM, folder.path(),
            {"--rate", "0", "--bridge", "ch341a", "--chip", "W25Q32", "--protect", "1C"});
        RecordingSink boxes; // a bridge alone is no failure to open a device
        auto started = startWindow(language);
        CMainDlg& window = *started->window;
        emit window.programmerMenu()->aboutToShow();
        EXPECT_TRUE(boxes.boxes.empty() &&
                    window.programmerMenu()->actions()[0]->text().endsWith("CH341A 1a86:5512"));
        for (const bool ok : {false, true}) {
            std::string fields;
            whenModal<QDialog>([&](QDialog* modal) {
                auto* dialog = dynamic_cast<CChipInfoDlg*>(modal);
                for (int id : {CChipInfoDlg::IdManufacturerId, CChipInfoDlg::IdDeviceId,
                               CChipInfoDlg::IdCapacity, CChipInfoDlg::IdPageSize})
                    fields += dialog->edit(id)->text().toStdString() + " ";
                dialog->edit(CChipInfoDlg::IdName)->setText("W25Q32");
                dialog->edit(CChipInfoDlg::IdMinVoltage)->setText("1.6");
                dialog->edit(CChipInfoDlg::IdMaxVoltage)->setText("2.0");
                ok ? dialog->accept() : dialog->reject();
            });
            window.action(IdChipIdentify)->trigger();
            ChipDatabase file(language, started->path("ChipInfo.chip"));
            ChipInfo saved{};
            EXPECT_EQ(fields + std::to_string(file.load() == 1 &&
                                              file.find(&saved, 1, nullptr, "W25Q32") == 1),
                      "EF 15 4096 256 " + std::to_string(ok));
        }
        EXPECT_NE(window.chipInfoEdit()->toPlainText().toStdString().find(
                      formatText(texts.panelJedecId, "EF 40 16")),
                  std::string::npos);
        // The panel shows every line; the picture and the status line sit below it.
        const QTextEdit* panel = window.chipInfoEdit();
        EXPECT_TRUE(panel->document()->size().height() + 2 * panel->frameWidth() <=
                        panel->height() &&
                    window.chipInfoGroup()->geometry().bottom() < window.chipPictureLabel()->y() &&
                    window.chipPictureLabel()->geometry().bottom() < window.statusEdit()->y() &&
                    window.progressBar()->geometry().bottom() < window.height());
        for (const BoxResult answer : {BoxResult::Cancel, BoxResult::Ok}) {
            boxes.boxes.clear();
            boxes.answer = answer; // supply, then protection: Cancel stops, Continue goes on
            window.action(IdErase)->trigger();
            std::string shown;
            for (const RecordedBox& box : boxes.boxes)
                shown += box.style == BoxStyle::ContinueCancel ? "?" : "!";
            EXPECT_EQ(shown + window.statusEdit()->text().toStdString(),
                      answer == BoxResult::Ok
                          ? "??" + std::string(texts.eraseDone)
                          : "?" + formatText(texts.bridgeLowVoltageBox, "W25Q32"));
        }
    }
}

TEST(BridgeWindow, I2cSpeedChosenInTheProgrammerMenuServesA24EepromOverACh347) {
    for (const Language language : {Language::English, Language::Chinese}) {
        const Texts& texts = textsFor(language);
        testsupport::SimFolder folder;
        testsupport::SimProcess sim(BRIMWICK_SIM_PROGRAM, folder.path(),
                                    {"--rate", "0", "--bridge", "ch347", "--chip", "24C256"});
        RecordingSink boxes;
        auto started = startWindow(language);
        CMainDlg& window = *started->window;
        // The choices, the one in use marked "*".
        const auto speeds = [&window, &texts](unsigned checked) {
            emit window.programmerMenu()->aboutToShow();
            QMenu* menu = window.programmerMenu()->actions().back()->menu();
            std::string shown = menu ? menu->title().toStdString() : "", expected = shown;
            for (QAction* choice : menu ? menu->actions() : QList<QAction*>{})
                shown += "|" + choice->text().toStdString() + (choice->isChecked() ? "*" : "");
            for (unsigned kHz : {20, 100, 400, 750})
                expected +=
                    "|" + formatText(texts.i2cSpeedChoice, kHz) + (kHz == checked ? "*" : "");
            EXPECT_EQ(shown, expected);
            return menu;
        };
        QMenu* menu = speeds(100);
        ASSERT_TRUE(menu && menu->title().toStdString() == texts.menuI2cSpeed);
        menu->actions()[2]->trigger();
        EXPECT_EQ(window.statusEdit()->text().toStdString(),
                  formatText(texts.i2cSpeedSet, sim.socketPath().c_str(), 400u));
        speeds(400);
        selectChip(window, makeChip(ChipType::Eeprom24, "AT24C256", 32768, 1, 64));
        window.action(IdRead)->trigger();
        EXPECT_EQ(window.statusEdit()->text().toStdString(), texts.readDone);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

// A CH347's SPI clock, picked in the Programmer menu, is the clock its bus then runs at.
TEST(BridgeWindow, SpiClockPickedForTheCh347InUseIsTheClockItsBusRunsAt) {
    testsupport::SimFolder folder; // a CH341A and a CH347 side by side
    testsupport::SimProcess ch341a(BRIMWICK_SIM_PROGRAM, folder.path(), {"--bridge", "ch341a"});
    sim::Ch347Device ch347({.variant = sim::Ch347Variant::F});
    const auto chip = sim::makeSpiChip("W25Q32", {}, ch347.clock());
    ch347.attachChip(chip.get());
    sim::SimServer server(ch347, simwire::kCh347fSocketPrefix);
    ASSERT_TRUE(server.start());
    RecordingSink boxes;
    auto started = startWindow(Language::Chinese);
    CMainDlg& window = *started->window;
    auto choose = [&](const char* kind) { // then the clock menu: enabled?, the clock checked
        emit window.programmerMenu()->aboutToShow();
        for (QAction* entry : window.programmerMenu()->actions())
            if (entry->text().contains(QLatin1String(kind)))
                entry->trigger();
        emit window.programmerMenu()->aboutToShow();
        QMenu* clocks = nullptr;
        for (QAction* entry : window.programmerMenu()->actions())
            if (entry->menu() && entry->text() == QString::fromUtf8("SPI 时钟"))
                clocks = entry->menu();
        if (clocks == nullptr)
            return std::pair(std::string("missing"), clocks);
        std::string shown = clocks->menuAction()->isEnabled() ? "on" : "off";
        for (QAction* choice : clocks->actions())
            shown += choice->isChecked() ? " " + choice->text().toStdString() : "";
        return std::pair(shown, clocks);
    };
    EXPECT_EQ(choose("CH341A").first, "off");
    auto [shown, clocks] = choose("CH347F 1a86:55de");
    EXPECT_EQ(shown, "on 15 MHz（默认）");
    clocks->actions()[3]->trigger();
    EXPECT_EQ(window.statusEdit()->text().toStdString(), "SPI 时钟：7.5 MHz");
    window.action(IdFirmwareVersion)->trigger();
    EXPECT_EQ(ch347.configurations() == 1 ? ch347.clockHz() : 0, 7'500'000u);
    EXPECT_EQ(choose("CH347").first, "on 7.5 MHz");
}
