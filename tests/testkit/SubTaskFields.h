#pragma once

#include "SchedOrdSubTaskField.h"

#include <QStringList>

namespace VelmTest {

// Names every field in which two sub-tasks differ, with both values ("TargetVolume: 300 != 500"),
// so that a failed comparison says which field went wrong.
QStringList subTaskDifferences(const VELMSCHEDORDAPI::SchedOrdSubTaskField& actual,
                               const VELMSCHEDORDAPI::SchedOrdSubTaskField& expected);

} // namespace VelmTest
