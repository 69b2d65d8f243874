#include "SchedOrdTaskFileReader.h"

#include "SchedOrdCodes.h"
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
    std::string message;
    int lineNumber = 0;
    while (!stream.atEnd()) {
        stream.readLineInto(&line);
        ++lineNumber;
        if (isHeaderLine(lineNumber, line))
            continue;
        result.subTasks.emplace_back();
        message.clear();
        if (parseLine(lineNumber, line, message, result.subTasks.back()))
            continue;
        result.subTasks.pop_back();
        if (++result.failureCount > 1)
            result.errorText += '\n';
        result.errorText += message;
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
