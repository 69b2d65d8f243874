#pragma once

#include "SchedOrdTaskField.h"

#include <QStringList>

namespace VelmTest {

// Names every field in which two sub-tasks differ, with both values ("TargetVolume: 300 != 500"),
// so that a failed comparison says which field went wrong.
QStringList subTaskDifferences(const VELMSCHEDORDAPI::SchedOrdSubTaskField& actual,
                               const VELMSCHEDORDAPI::SchedOrdSubTaskField& expected);

// The same for main tasks, their sub-tasks included ("sub-task 1 TargetVolume: 300 != 500"), and for
// lists of them ("task 0 MainTaskStatus: ...").
QStringList taskDifferences(const VELMSCHEDORDAPI::SchedOrdTaskField& actual, const VELMSCHEDORDAPI::SchedOrdTaskField& expected);
QStringList taskDifferences(const std::vector<VELMSCHEDORDAPI::SchedOrdTaskField>& actual,
                            const std::vector<VELMSCHEDORDAPI::SchedOrdTaskField>& expected);

} // namespace VelmTest
