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

enum Table { Ramp, On, Off };

// Pulse by pulse, in the order the times are summed: rise and fall share the ramp table.
struct SelectedTime
{
    double Viewer::*member;
    QSlider *Ui::MainWindow::*slider;
    Table table;
};

constexpr std::array<SelectedTime, 12> selectedTimes = { {
    { &Viewer::r1, &Ui::MainWindow::r1Slider, Ramp },
    { &Viewer::on1, &Ui::MainWindow::on1Slider, On },
    { &Viewer::f1, &Ui::MainWindow::f1Slider, Ramp },
    { &Viewer::off1, &Ui::MainWindow::off1Slider, Off },
    { &Viewer::r2, &Ui::MainWindow::r2Slider, Ramp },
    { &Viewer::on2, &Ui::MainWindow::on2Slider, On },
    { &Viewer::f2, &Ui::MainWindow::f2Slider, Ramp },
    { &Viewer::off2, &Ui::MainWindow::off2Slider, Off },
    { &Viewer::r3, &Ui::MainWindow::r3Slider, Ramp },
    { &Viewer::on3, &Ui::MainWindow::on3Slider, On },
    { &Viewer::f3, &Ui::MainWindow::f3Slider, Ramp },
    { &Viewer::off3, &Ui::MainWindow::off3Slider, Off },
} };

using Tables = std::array<const QList<double> *, 3>;

// The form keeps every slider inside its table; should that ever break, a position past the
// end reads as 0 ms rather than past the end of the list.
double timeAt(const SelectedTime &t, const Ui::MainWindow &ui, const Tables &tables)
{
    return tables[t.table]->value((ui.*t.slider)->value());
}

void startTrain(Ui::MainWindow &ui, const Tables &tables, int pulses)
{
    std::array<double, ChipSettings::kTimingCount> times {};
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = timeAt(selectedTimes[i], ui, tables);
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
    const Tables tables = { &rampTimes, &onTimes, &offTimes };
    for (const SelectedTime &t : selectedTimes)
        ui->viewerWidget->*t.member = timeAt(t, *ui, tables);
}

void MainWindow::on_train1Button_clicked()
{
    startTrain(*ui, { &rampTimes, &onTimes, &offTimes }, 1);
    setup_viewer();
    showTrain(*ui);
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::train1);
}

void MainWindow::on_train2Button_clicked()
{
    startTrain(*ui, { &rampTimes, &onTimes, &offTimes }, 2);
    setup_viewer();
    showTrain(*ui);
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::train2);
}

void MainWindow::on_train3Button_clicked()
{
    startTrain(*ui, { &rampTimes, &onTimes, &offTimes }, 3);
    setup_viewer();
    showTrain(*ui);
    ChipProgram::writeRegisters(*usbHid, chipRegs, ChipProgram::train3);
}
