// The buttons that program the chip, and the preparation of a freshly found board.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "usbhid2.h"

#include <QDebug>

void MainWindow::on_resetButton_clicked() { }
void MainWindow::on_followButton_clicked() { }
void MainWindow::on_currentButton_clicked() { }
void MainWindow::on_followIButton_clicked() { }
void MainWindow::on_runOnce2Button_clicked() { }
void MainWindow::on_runOnceButton_clicked() { }
void MainWindow::on_runButton_clicked() { }
void MainWindow::on_train1Button_clicked() { }
void MainWindow::on_train2Button_clicked() { }
void MainWindow::on_train3Button_clicked() { }
void MainWindow::setup_viewer() { }

void MainWindow::synchronize_with_board()
{
    qDebug() << "synchronize_with_board()";
}
