#include "FuzzEnvironment.h"

#include "SchedOrdTaskTime.h"

#include <QDateTime>
#include <QtGlobal>

namespace FuzzEnvironment {

void setUp()
{
    // ":/etc/localtime" is the zone glibc reads when TZ is unset; named, it is read only once.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    const QDateTime start = QDateTime::currentDateTime();
    VELMSCHEDORDAPI::SchedOrdTaskTime::setClock([start] { return start; });
}

} // namespace FuzzEnvironment
