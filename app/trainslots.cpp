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

// Pulse by pulse, in the order the times are summed; the chip settings say which table each
// setting reads.
struct SelectedTime
{
    int setting;
    double Viewer::*member;
    QSlider *Ui::MainWindow::*slider;
};

constexpr std::array<SelectedTime, ChipSettings::kTimingCount> selectedTimes = { {
    { ChipSettings::Rise1, &Viewer::r1, &Ui::MainWindow::r1Slider },
    { ChipSettings::On1, &Viewer::on1, &Ui::MainWindow::on1Slider },
    { ChipSettings::Fall1, &Viewer::f1, &Ui::MainWindow::f1Slider },
    { ChipSettings::Off1, &Viewer::off1, &Ui::MainWindow::off1Slider },
    { ChipSettings::Rise2, &Viewer::r2, &Ui::MainWindow::r2Slider },
    { ChipSettings::On2, &Viewer::on2, &Ui::MainWindow::on2Slider },
    { ChipSettings::Fall2, &Viewer::f2, &Ui::MainWindow::f2Slider },
    { ChipSettings::Off2, &Viewer::off2, &Ui::MainWindow::off2Slider },
    { ChipSettings::Rise3, &Viewer::r3, &Ui::MainWindow::r3Slider },
    { ChipSettings::On3, &Viewer::on3, &Ui::MainWindow::on3Slider },
    { ChipSettings::Fall3, &Viewer::f3, &Ui::MainWindow::f3Slider },
    { ChipSettings::Off3, &Viewer::off3, &Ui::MainWindow::off3Slider },
} };

// The form keeps every slider inside its table; should that ever break, a position past the
// end reads as 0 ms rather than past the end of the table.
double timeAt(const SelectedTime &t, const Ui::MainWindow &ui)
{
    return ChipSettings::selectedTime(t.setting, (ui.*t.slider)->value());
}

void startTrain(Ui::MainWindow &ui, int pulses)
{
    std::array<double, ChipSettings::kTimingCount> times {};
    for (std::size_t i = 0; i < times.size(); ++i)
        times[i] = timeAt(selectedTimes[i], ui);
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
    for (const SelectedTime &t : selectedTimes)
        ui->viewerWidget->*t.member = timeAt(t, *ui);
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
