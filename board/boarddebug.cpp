#include "boardtrace.h"

#include <QDebug>

void boardDebugChannel(const char *message)
{
    qDebug("%s", message);
}
