#pragma once

#include "firmwareexport.h"

#include <QDialog>

class QComboBox;

// Asks which button's writes to export and in which format; the file comes after it.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    // `buttonTexts` names each command of FirmwareExport::commands() as the window shows it.
    ExportDialog(const QStringList &buttonTexts, int command, QWidget *parent = nullptr);

    const FirmwareExport::Command &command() const;
    FirmwareExport::Format format() const;

private:
    QComboBox *commandBox;
    QComboBox *formatBox;
};
