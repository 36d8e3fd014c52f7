#pragma once

#include "firmwareexport.h"

#include <QDialog>

class QComboBox;

// Asks which button's writes to export and in which format; the file comes after it.
class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    // Offers `command` first.
    explicit ExportDialog(const FirmwareExport::Command &command, QWidget *parent = nullptr);

    const FirmwareExport::Command &command() const;
    FirmwareExport::Format format() const;
    // The file dialog's filter for that format: "C header (*.h)".
    QString filter() const;

private:
    QComboBox *commandBox;
    QComboBox *formatBox;
};
