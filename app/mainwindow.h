#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class USBHid2;
namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Makes the board link; called once, at the point of construction where the link is created.
    using LinkFactory = std::function<std::unique_ptr<USBHid2>()>;

    explicit MainWindow(QWidget *parent = nullptr);
    // Same window on a link of the caller's making (a simulated board, a shorter write time-out).
    explicit MainWindow(LinkFactory makeLink, QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void showAboutDialog();
    void on_runOnce2Button_clicked();
    void on_followIButton_clicked();
    void on_currentButton_clicked();
    void on_resetButton_clicked();
    void on_followButton_clicked();
    void on_runOnceButton_clicked();
    void on_runButton_clicked();
    void on_train3Button_clicked();
    void on_train2Button_clicked();
    void on_train1Button_clicked();
    void on_off3Slider_valueChanged(int value);
    void on_f3Slider_valueChanged(int value);
    void on_on3Slider_valueChanged(int value);
    void on_r3Slider_valueChanged(int value);
    void on_off2Slider_valueChanged(int value);
    void on_f2Slider_valueChanged(int value);
    void on_on2Slider_valueChanged(int value);
    void on_r2Slider_valueChanged(int value);
    void on_off1Slider_valueChanged(int value);
    void on_f1Slider_valueChanged(int value);
    void on_on1Slider_valueChanged(int value);
    void on_r1Slider_valueChanged(int value);
    void on_calibrationSlider_valueChanged(int value);
    void on_currentSlider_valueChanged(int value);
    void setup_lists();
    void check_conn_status();
    void synchronize_with_board();
    void setup_viewer();

private:
    // Stores a slider's position in its register and shows its text, if the position has one.
    void setSetting(int setting, int value, QLabel *label);
    // Searches for the board, prepares it if found, and shows the outcome.
    void findBoard();

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<USBHid2> usbHid;
    int32_t chipRegs[15] = {};
    QLabel *statusLabel;
    QLabel *spacerLabel;
};
