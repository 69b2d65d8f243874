#include "SchedOrdTaskFileReader.h"

#include "SchedOrdCodes.h"
#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskTime.h"
#include "Util.h"

#include <QIODevice>
#include <QLatin1String>
#include <QTextCodec>
#include <QTextStream>

#include <algorithm>
#include <utility>

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

constexpr int kFileCodecUtf8 = 2;
// No data line is shorter ("SCHED,SH600000,0,09:30:00,,0,0,0,0,1,0,0"), so the file's size
// bounds its sub-tasks; the bound only reserves address space, pages are touched as rows arrive.
constexpr qint64 kShortestDataLine = 41;
constexpr qint64 kMostReservedSubTasks = 1000000;

// Only a first line that starts with the upper-case tag is data; anything else there is a header.
bool isHeaderLine(int lineNumber, const QString& line)
{
    return lineNumber == 1 && !line.startsWith(QLatin1String("SCHED"));
}

// What follows the first piece of a line too long to be read whole.
struct LineRest
{
    qint64 length = 0;
    qint64 commas = 0;
};

// Reads on to the line's end in pieces of a bounded size, keeping none of them: memory stays
// the same however long the line is.
LineRest skipRestOfLine(QTextStream& stream, QString& piece)
{
    constexpr int kPiece = SchedOrdTaskFileParser::LongestLine;
    LineRest rest;
    do {
        stream.readLineInto(&piece, kPiece);
        rest.length += piece.size();
        rest.commas += piece.count(QLatin1Char(','));
    } while (piece.size() == kPiece);
    return rest;
}

void addFailure(SchedOrdTaskFileReader::Result& result, const std::string& message)
{
    if (++result.failureCount > 1)
        result.errorText += '\n';
    result.errorText += message;
}

} // namespace

QTextCodec* SchedOrdTaskFileReader::codecFor(const QString& path)
{
    if (Util::GetFileCodec(path) == kFileCodecUtf8)
        return QTextCodec::codecForName("UTF-8");
    return Util::GetLocalCodec();
}

SchedOrdTaskFileReader::Result SchedOrdTaskFileReader::readLines(QTextStream& stream, const LineParser& parseLine)
{
    Result result;
    if (const QIODevice* device = stream.device())
        result.subTasks.reserve(size_t(std::min(device->size() / kShortestDataLine + 1, kMostReservedSubTasks)));
    QString line;
    QString piece;
    std::string message;
    int lineNumber = 0;
    while (!stream.atEnd()) {
        // A line of exactly LongestLine characters is whole when nothing follows it.
        stream.readLineInto(&line, SchedOrdTaskFileParser::LongestLine);
        const LineRest rest = line.size() == SchedOrdTaskFileParser::LongestLine ? skipRestOfLine(stream, piece) : LineRest();
        ++lineNumber;
        if (isHeaderLine(lineNumber, line))
            continue;
        message.clear();
        if (rest.length > 0) {
            SchedOrdTaskFileParser::refuseLongLine(lineNumber, line.count(QLatin1Char(',')) + rest.commas + 1,
                                                   line.size() + rest.length, message);
            addFailure(result, message);
            continue;
        }
        result.subTasks.emplace_back();
        if (parseLine(lineNumber, line, message, result.subTasks.back()))
            continue;
        result.subTasks.pop_back();
        addFailure(result, message);
    }
    return result;
}

SchedOrdTaskField SchedOrdTaskFileReader::buildMainTask(int mainTaskId, const QString& name,
                                                        std::vector<SchedOrdSubTaskField> subTasks)
{
    SchedOrdTaskField task;
    task.MainTaskID = mainTaskId;
    task.MainTaskName = Util::QStr2str(name);
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.CreateTime = SchedOrdTaskTime::currentSecond();
    if (!subTasks.empty()) {
        const SchedOrdSubTaskField& first = subTasks.front();
        task.StartTime = first.StartTime;
        task.EndTime = first.EndTime;
        task.Direction = first.Direction;
        for (SchedOrdSubTaskField& subTask : subTasks) {
            subTask.MainTaskID = mainTaskId;
            task.StartTime = std::min(task.StartTime, subTask.StartTime);
            task.EndTime = std::max(task.EndTime, subTask.EndTime);
            task.IsSameStartTime = task.IsSameStartTime && subTask.StartTime == first.StartTime;
            task.IsSameEndTime = task.IsSameEndTime && subTask.EndTime == first.EndTime;
            if (subTask.Direction != first.Direction)
                task.Direction = 0;
        }
    }
    task.VecSubTask = std::move(subTasks);
    return task;
}

} // namespace Velm_Space
