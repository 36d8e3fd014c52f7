#include "usbhid2.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

QStringList searchMessages; // the debug messages of the search, held until its outcome is known

void holdMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    searchMessages.append(message);
}

} // namespace

// A console smoke test of the board link on real hardware: search, probe, initialise, read the
// chip's register 15. Exit code 0 when the board answered, 1 when it was not found, 2 when it
// was found but failed to answer.
int main()
{
    USBHid2 link;
    qInstallMessageHandler(holdMessage);
    const bool found = link.usb_hid_init();
    qInstallMessageHandler(nullptr);
    // The advice for a board that cannot be opened is the check's own error, given once.
    const QString advice = QString::fromStdString(link.unopenableBoardMessage());
    for (const QString &message : std::as_const(searchMessages))
        if (message != advice)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    if (!found) {
        std::puts("board not found");
        if (!advice.isEmpty())
            std::fprintf(stderr, "qd7310-boardcheck: %s\n", qPrintable(advice));
        return 1;
    }
    const bool answered = link.conn_status() && link.init_controller() && link.spi_read(15) >= 0;
    std::puts(answered ? "board answers" : "board does not answer");
    return answered ? 0 : 2;
}
