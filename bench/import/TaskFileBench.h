#pragma once

#include <QString>

#include <functional>

class ServiceScheduledOrder;

// What the import benchmarks share: a generated task file and the time the real 导入 button takes
// from the file dialog's answer to the rows on screen.
namespace TaskFileBench {

// `lines` generated task lines (UTF-8 with BOM and the header); with bad lines, every tenth is
// refused for a different reason in turn. Exits the process when the file cannot be written.
QString writeTaskFile(const QString& path, int lines, bool withBadLines);

// A stock account's task monitor shown offscreen, its service on a hand-driven clock at
// 00:00:01 and handed to `prepare` first (e.g. to open its storage); its 导入 button imports
// `path`: the time from the dialog's answer until both tables are repainted with the new rows.
// Exits the process when the rows do not come.
double chosenToShownMs(const QString& path, int expectedSubTasks, int accountId,
                       const std::function<void(ServiceScheduledOrder&)>& prepare = {});

} // namespace TaskFileBench
