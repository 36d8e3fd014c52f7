// The register image and the fourteen sliders that edit it. A slider move only changes the
// image and its label: nothing reaches the board until a button is pressed. Which register a
// slider writes, which table it reads and how its label reads are the chip settings' to say.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chipsettings.h"

// The timing tables are constants of the chip settings; only the register image starts here.
void MainWindow::setup_lists()
{
    ChipSettings::setDefaults(chipRegs);
}

void MainWindow::setSetting(int setting, int value, QLabel *label)
{
    ChipSettings::setPosition(chipRegs, setting, value);
    const QString text = ChipSettings::labelText(setting, value);
    if (!text.isNull())
        label->setText(text);
}

void MainWindow::on_calibrationSlider_valueChanged(int value)
{
    setSetting(ChipSettings::Calibration, value, ui->calLabel);
}

void MainWindow::on_currentSlider_valueChanged(int value)
{
    setSetting(ChipSettings::Current, value, ui->currentLabel);
}

void MainWindow::on_r1Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Rise1, value, ui->r1Label);
}
void MainWindow::on_on1Slider_valueChanged(int value)
{
    setSetting(ChipSettings::On1, value, ui->on1Label);
}
void MainWindow::on_f1Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Fall1, value, ui->f1Label);
}
void MainWindow::on_off1Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Off1, value, ui->off1Label);
}
void MainWindow::on_r2Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Rise2, value, ui->r2Label);
}
void MainWindow::on_on2Slider_valueChanged(int value)
{
    setSetting(ChipSettings::On2, value, ui->on2Label);
}
void MainWindow::on_f2Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Fall2, value, ui->f2Label);
}
void MainWindow::on_off2Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Off2, value, ui->off2Label);
}
void MainWindow::on_r3Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Rise3, value, ui->r3Label);
}
void MainWindow::on_on3Slider_valueChanged(int value)
{
    setSetting(ChipSettings::On3, value, ui->on3Label);
}
void MainWindow::on_f3Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Fall3, value, ui->f3Label);
}
void MainWindow::on_off3Slider_valueChanged(int value)
{
    setSetting(ChipSettings::Off3, value, ui->off3Label);
}
