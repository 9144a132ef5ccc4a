#include "dialogs/ChipDialogs.h"

#include "dialogs/ChipSelectDlg.h"
#include "dialogs/ChipViewDlg.h"

#include <memory>

bool runChipSelect(const ChipDatabase& database, ChipInfo& currentChip, const Texts& texts,
                   QWidget* parent) {
    auto dialog = std::make_unique<CChipSelectDlg>(&database, texts, &currentChip, parent);
    if (dialog->exec() != QDialog::Accepted)
        return false;
    ChipInfo chosen{};
    if (!dialog->getSelectedChip(&chosen))
        return false;
    chosen.name[sizeof chosen.name - 1] = '\0';
    return database.find(&currentChip, 1, nullptr, chosen.name) == 1;
}

void runChipEdit(ChipDatabase& database, const Texts& texts, QWidget* parent) {
    auto dialog = std::make_unique<CChipViewDlg>(&database, texts, parent);
    dialog->exec();
}
