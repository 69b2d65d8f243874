#pragma once

#include "SchedOrdTaskField.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QTextCodec;
class QTextStream;

namespace Velm_Space {

// The file-level half of the task-file import: which codec a file is read with, which lines are
// handed to the line parser (a first line that is not data is a header), how the verdicts are
// collected, and the main task that the passing lines make.
class SchedOrdTaskFileReader final
{
public:
    using LineParser = std::function<bool(int lineNumber, const QString& line, std::string& message,
                                          VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask)>;

    struct Result
    {
        std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField> subTasks; // the passing lines, in file order
        int failureCount = 0;
        std::string errorText; // the failing lines' messages (local 8-bit), one per line
    };

    // UTF-8 when the host finds the file to be UTF-8, else the host's local 8-bit code page.
    static QTextCodec* codecFor(const QString& path);

    // Lines are read in pieces of at most SchedOrdTaskFileParser::LongestLine characters: a longer
    // line is refused by its number without ever being held whole, and reading goes on.
    static Result readLines(QTextStream& stream, const LineParser& parseLine);

    // The main task of an import: its sub-tasks take its id, and its times, equal-time flags and
    // direction are aggregated over them.
    static VELMSCHEDORDAPI::SchedOrdTaskField buildMainTask(int mainTaskId, const QString& name,
                                                            std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField> subTasks);
};

} // namespace Velm_Space
