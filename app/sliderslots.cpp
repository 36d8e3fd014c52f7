// The register image, its tables and the fourteen sliders that edit it. A slider move only
// changes the image and its label: nothing reaches the board until a button is pressed.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chipsettings.h"
#include "timingtables.h"

void MainWindow::setup_lists()
{
    rampTimes.append(QList<double>(TimingTables::ramp.begin(), TimingTables::ramp.end()));
    onTimes.append(QList<double>(TimingTables::on.begin(), TimingTables::on.end()));
    offTimes.append(QList<double>(TimingTables::off.begin(), TimingTables::off.end()));

    ChipSettings::setDefaults(chipRegs);
}

void MainWindow::setTimingLabel(int reg, int value, const QList<double> &table, QLabel *label)
{
    chipRegs[reg - 1] = value;
    if (value < 0 || value >= table.size())
        return;
    label->setText(ChipSettings::timeText(table.at(value)));
}

void MainWindow::on_calibrationSlider_valueChanged(int value)
{
    chipRegs[0] = value;
    ui->calLabel->setText(ChipSettings::calibrationText(value));
}

void MainWindow::on_currentSlider_valueChanged(int value)
{
    chipRegs[1] = value;
    ui->currentLabel->setText(ChipSettings::currentText(value));
}

void MainWindow::on_r1Slider_valueChanged(int value)
{
    setTimingLabel(3, value, rampTimes, ui->r1Label);
}
void MainWindow::on_on1Slider_valueChanged(int value)
{
    setTimingLabel(4, value, onTimes, ui->on1Label);
}
void MainWindow::on_f1Slider_valueChanged(int value)
{
    setTimingLabel(5, value, rampTimes, ui->f1Label);
}
void MainWindow::on_off1Slider_valueChanged(int value)
{
    setTimingLabel(6, value, offTimes, ui->off1Label);
}
void MainWindow::on_r2Slider_valueChanged(int value)
{
    setTimingLabel(7, value, rampTimes, ui->r2Label);
}
void MainWindow::on_on2Slider_valueChanged(int value)
{
    setTimingLabel(8, value, onTimes, ui->on2Label);
}
void MainWindow::on_f2Slider_valueChanged(int value)
{
    setTimingLabel(9, value, rampTimes, ui->f2Label);
}
void MainWindow::on_off2Slider_valueChanged(int value)
{
    setTimingLabel(10, value, offTimes, ui->off2Label);
}
void MainWindow::on_r3Slider_valueChanged(int value)
{
    setTimingLabel(11, value, rampTimes, ui->r3Label);
}
void MainWindow::on_on3Slider_valueChanged(int value)
{
    setTimingLabel(12, value, onTimes, ui->on3Label);
}
void MainWindow::on_f3Slider_valueChanged(int value)
{
    setTimingLabel(13, value, rampTimes, ui->f3Label);
}
void MainWindow::on_off3Slider_valueChanged(int value)
{
    setTimingLabel(14, value, offTimes, ui->off3Label);
}
