// The window over a simulated CH341A: Programmer menu, identify of an unknown chip, questions.
#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "dialogs/ChipInfoDlg.h"

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
