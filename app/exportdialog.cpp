#include "exportdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>

namespace {

// In the order the dialog offers them; the C header first, as firmware most often wants it.
struct FormatChoice
{
    const char *name; // as FirmwareExport::formatNamed() knows it
    const char *text;
};
constexpr FormatChoice kFormats[] = {
    { "c", QT_TRANSLATE_NOOP("ExportDialog", "C header (*.h)") },
    { "csv", QT_TRANSLATE_NOOP("ExportDialog", "CSV (*.csv)") },
    { "json", QT_TRANSLATE_NOOP("ExportDialog", "JSON (*.json)") },
};

} // namespace

ExportDialog::ExportDialog(const FirmwareExport::Command &command, QWidget *parent)
    : QDialog(parent), commandBox(new QComboBox(this)), formatBox(new QComboBox(this))
{
    setWindowTitle(tr("Export for Firmware"));
    for (const FirmwareExport::Command &each : FirmwareExport::commands()) {
        commandBox->addItem(QString::fromUtf8(each.title));
        if (&each == &command)
            commandBox->setCurrentIndex(commandBox->count() - 1);
    }
    for (const FormatChoice &choice : kFormats)
        formatBox->addItem(tr(choice.text), QString::fromLatin1(choice.name));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QFormLayout(this);
    layout->addRow(tr("&Button:"), commandBox);
    layout->addRow(tr("&Format:"), formatBox);
    layout->addRow(buttons);
}

const FirmwareExport::Command &ExportDialog::command() const
{
    return FirmwareExport::commands().at(std::size_t(commandBox->currentIndex()));
}

FirmwareExport::Format ExportDialog::format() const
{
    return FirmwareExport::formatNamed(formatBox->currentData().toString())
        .value_or(FirmwareExport::Format::C);
}

QString ExportDialog::filter() const
{
    return formatBox->currentText();
}
