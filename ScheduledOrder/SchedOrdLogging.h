#pragma once

#include <QLoggingCategory>

// The module's diagnostics beyond the fixed destructor lines. Off below info by default; a
// support desk turns them on with QT_LOGGING_RULES="velm.schedord.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcSchedOrd)
