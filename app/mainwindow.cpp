#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "chipprogram.h"
#include "usbhid2.h"
#include "windowaccessibility.h"

#include <QDebug>
#include <QLabel>
#include <QPointer>
#include <QTimer>

// The images are compiled into the application library, so they are registered before
// main() runs and unregistered when the process ends, as an executable's own would be.
static void registerImages()
{
    Q_INIT_RESOURCE(images);
}
static void unregisterImages()
{
    Q_CLEANUP_RESOURCE(images);
}
namespace {
struct ImageRegistration
{
    ImageRegistration() { registerImages(); }
    ~ImageRegistration() { unregisterImages(); }
} imageRegistration;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow([] { return std::make_unique<USBHid2>(); }, parent)
{ }

MainWindow::MainWindow(LinkFactory makeLink, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setup_lists();

    // One connection timer per process, like the window itself. It dies with the window that
    // created it, so a window built after that one (tests build many) makes a new one rather
    // than connecting to freed memory.
    static QPointer<QTimer> connTimer;
    if (!connTimer)
        connTimer = new QTimer(this);
    statusLabel = new QLabel(QStringLiteral("   not connected   "));
    spacerLabel = new QLabel(QStringLiteral("      "));
    ui->statusBar->addPermanentWidget(spacerLabel, 0);
    ui->statusBar->addPermanentWidget(statusLabel, 0);

    usbHid = makeLink();

    if (!usbHid->conn_status())
        findBoard();
    check_conn_status();
    connect(connTimer, SIGNAL(timeout()), this, SLOT(check_conn_status()));
    connTimer->start(2000);

    chipRegs[ChipProgram::kFixedRegister - 1] = ChipProgram::kFixedValue;
    usbHid->spi_write(ChipProgram::kFixedRegister, ChipProgram::kFixedValue);

    connect(ui->actionClose, SIGNAL(triggered()), this, SLOT(close()));
    connect(ui->actionAbout, SIGNAL(triggered()), this, SLOT(showAboutDialog()));
    new WindowAccessibility(this);
}

MainWindow::~MainWindow()
{
    // The form goes first; the widgets it points to are children and die with the window.
    ui.reset();
}

void MainWindow::showAboutDialog()
{
    // Modeless and parentless: several can be open at once. Each is freed once it is
    // closed, by OK, Escape or its title bar, instead of lingering until the process ends.
    auto *dialog = new AboutDialog;
    connect(dialog, SIGNAL(finished(int)), dialog, SLOT(deleteLater()));
    dialog->show();
}

void MainWindow::check_conn_status()
{
    qDebug() << "MainWindow::check_conn_status()";
    if (usbHid->conn_status())
        return;
    qDebug() << "usb_hid_init()";
    findBoard();
}

void MainWindow::findBoard()
{
    // A board just found is prepared before it is shown as connected.
    if (usbHid->usb_hid_init()) {
        synchronize_with_board();
        statusLabel->setText(QStringLiteral("connected"));
    } else {
        statusLabel->setText(QStringLiteral("not connected"));
    }
}
