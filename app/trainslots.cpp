// The train buttons: each takes a snapshot of the selected pulse times into the viewer, shows
// the train's length and draws it before the chip is programmed.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "chipprogram.h"
#include "chipsettings.h"
#include "viewer.h"

#include <QSlider>
#include <QStatusBar>

#include <array>

namespace {

// Pulse by pulse, in the order the times are summed and the chip settings list them from
// kFirstTiming on; the chip settings say which table each reads.
struct SelectedTime
{
    double Viewer::*member;
    QSlider *Ui::MainWindow::*slider;
};

constexpr std::array<SelectedTime, ChipSettings::kTimingCount> selectedTimes = { {
    { &Viewer::r1, &Ui::MainWindow::r1Slider },
    { &Viewer::on1, &Ui::MainWindow::on1Slider },
    { &Viewer::f1, &Ui::MainWindow::f1Slider },
    { &Viewer::off1, &Ui::MainWindow::off1Slider },
    { &Viewer::r2, &Ui::MainWindow::r2Slider },
    { &Viewer::on2, &Ui::MainWindow::on2Slider },
    { &Viewer::f2, &Ui::MainWindow::f2Slider },
    { &Viewer::off2, &Ui::MainWindow::off2Slider },
    { &Viewer::r3, &Ui::MainWindow::r3Slider },
    { &Viewer::on3, &Ui::MainWindow::on3Slider },
    { &Viewer::f3, &Ui::MainWindow::f3Slider },
    { &Viewer::off3, &Ui::MainWindow::off3Slider },
} };

// The form keeps every slider inside its table; should that ever break, a position past the
// end reads as 0 ms rather than past the end of the table.
double timeAt(std::size_t i, const Ui::MainWindow &ui)
{
    return ChipSettings::selectedTime(
        ChipSettings::kFirstTiming + int(i), (ui.*selectedTimes[i].slider)->value());
}

void startTrain(Ui::MainWindow &ui, int pulses)
{
    std::array<double, ChipSettings::kTimingCount> times {};
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = timeAt(i, ui);
    ui.viewerWidget->pulse_count = pulses;
    ui.viewerWidget->total_time = ChipSettings::trainTotal(times, pulses);
}

// Runs after the model is complete, so the paint never sees a half-written train.
void showTrain(Ui::MainWindow &ui)
{
    const double total = ui.viewerWidget->total_time;
    ui.statusBar->showMessage(ChipSettings::totalText(total), 0);
    ui.viewerWidget->repaint();
}

} // namespace

void MainWindow::setup_viewer()
{
    for (std::size_t i = 0; i < selectedTimes.size(); ++i)
        ui->viewerWidget->*selectedTimes[i].member = timeAt(i, *ui);
}

void MainWindow::on_train1Button_clicked()
{
    startTrain(*ui, 1);
    setup_viewer();
    showTrain(*ui);
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::train1);
}

void MainWindow::on_train2Button_clicked()
{
    startTrain(*ui, 2);
    setup_viewer();
    showTrain(*ui);
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::train2);
}

void MainWindow::on_train3Button_clicked()
{
    startTrain(*ui, 3);
    setup_viewer();
    showTrain(*ui);
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::train3);
}
