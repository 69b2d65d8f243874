#include "SchedOrdLogging.h"

Q_LOGGING_CATEGORY(lcSchedOrd, "velm.schedord", QtInfoMsg)
