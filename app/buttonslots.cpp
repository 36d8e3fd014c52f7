// The buttons that program the chip, and the preparation of a freshly found board. Results of
// the board commands are not examined: a failed write shows only in the link's trace, and the
// window changes exactly as if it had succeeded.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chipprogram.h"
#include "usbhid2.h"

#include <QDebug>

namespace {

using ButtonOf = QPushButton *Ui::MainWindow::*;

// The nine buttons each run state locks, in locking order. The sixth is the other checkable
// button, so Run and Run Once 1 can never be active together.
constexpr ButtonOf kOtherCheckable = nullptr;
constexpr ButtonOf lockOrder[] = {
    &Ui::MainWindow::train1Button,
    &Ui::MainWindow::train2Button,
    &Ui::MainWindow::train3Button,
    &Ui::MainWindow::currentButton,
    &Ui::MainWindow::resetButton,
    kOtherCheckable,
    &Ui::MainWindow::runOnce2Button,
    &Ui::MainWindow::followButton,
    &Ui::MainWindow::followIButton,
};

void setLocked(Ui::MainWindow &ui, ButtonOf otherCheckable, bool locked)
{
    for (ButtonOf button : lockOrder)
        (ui.*(button ? button : otherCheckable))->setEnabled(!locked);
}

} // namespace

void MainWindow::on_resetButton_clicked()
{
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::reset);
}
void MainWindow::on_followButton_clicked()
{
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::followMode1);
}
void MainWindow::on_currentButton_clicked()
{
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::changeCurrent);
}
void MainWindow::on_followIButton_clicked()
{
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::followMode2);
}
void MainWindow::on_runOnce2Button_clicked()
{
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::runOnce2);
}

void MainWindow::on_runButton_clicked()
{
    const bool running = ui->runButton->isChecked();
    ChipProgram::setRunLine(*usbHid, running);
    setLocked(*ui, &Ui::MainWindow::runOnceButton, running);
}

void MainWindow::on_runOnceButton_clicked()
{
    const bool once = ui->runOnceButton->isChecked();
    if (once)
        ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::runOnce1);
    else
        ChipProgram::setRunLine(*usbHid, false);
    setLocked(*ui, &Ui::MainWindow::runButton, once);
}

void MainWindow::synchronize_with_board()
{
    qDebug() << "synchronize_with_board()";
    ChipProgram::prepareBoard(*usbHid);
}
