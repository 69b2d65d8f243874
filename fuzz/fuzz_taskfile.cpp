// libFuzzer target for whole task files, read as the import reads them: the input is written to a
// file, the host classifies its encoding, and the reader splits it into lines (BOM, CR LF, a
// first-line header, lines too long to be task lines) and hands them to the parser. Whatever the
// bytes: no line longer than the parser's bound reaches it, every line but a skipped first-line
// header passes or fails exactly once, each refusal is a bounded one-line message naming its line,
// ids are drawn for the passing lines only, and their main task holds them. Run with -rss_limit_mb and
// -malloc_limit_mb so that memory growing with the input is a finding too.
//
// One temporary file serves the whole run, rewritten in place, in memory-backed /dev/shm where
// there is one: creating, truncating and reopening a disk file per input took most of the time.

#include "FuzzEnvironment.h"
#include "FuzzInvariants.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskField.h"
#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskFileReader.h"
#include "Util.h"

#include <QDir>
#include <QTemporaryFile>
#include <QTextCodec>
#include <QTextStream>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

using namespace VELMSCHEDORDAPI;
using FuzzInvariants::require;
using Velm_Space::SchedOrdTaskFileParser;
using Velm_Space::SchedOrdTaskFileReader;

namespace {

constexpr int kApiTypes[] = {1, 2, 7};

QString inputFolder()
{
    const QDir memory(QStringLiteral("/dev/shm"));
    return memory.exists() ? memory.path() : QDir::tempPath();
}

// Open for reading and writing, in text mode as the import opens its files; removed at exit.
QFile& inputFile()
{
    static QTemporaryFile file(inputFolder() + QStringLiteral("/fuzz_taskfile_XXXXXX.csv"));
    if (!file.isOpen()) {
        require(file.open(), "input file created", QString());
        file.setTextModeEnabled(true);
    }
    return file;
}

// The file holds exactly the input and is read from its start.
void writeInput(QFile& file, const QByteArray& bytes)
{
    require(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size() && file.flush() && file.seek(0),
            "input written", QString());
}

int lineCountOf(QFile& file, QTextCodec* codec)
{
    require(file.seek(0), "input rewound", QString());
    QTextStream stream(&file);
    stream.setCodec(codec);
    const QString text = stream.readAll();
    return text.count(QLatin1Char('\n')) + (text.isEmpty() || text.endsWith(QLatin1Char('\n')) ? 0 : 1);
}

// The number a message names; each must be a well-formed refusal of that line.
QList<int> refusedLines(const SchedOrdTaskFileReader::Result& result)
{
    QList<int> lines;
    if (result.errorText.empty())
        return lines;
    static const QByteArray open = QByteArray::fromStdString(Util::QStr2str(QStringLiteral("[行#")));
    for (const QByteArray& message : QByteArray::fromStdString(result.errorText).split('\n')) {
        int digits = 0;
        while (open.size() + digits < message.size() && std::isdigit(static_cast<unsigned char>(message[open.size() + digits])))
            ++digits;
        const int lineNumber = message.mid(open.size(), digits).toInt();
        FuzzInvariants::checkRefusal(lineNumber, message.toStdString(), QString::fromLatin1(message.left(80)));
        lines.append(lineNumber);
    }
    return lines;
}

// Every line is passed or refused once, in file order; only line 1 may be skipped as a header.
void checkEveryLineOnce(int lineCount, const QList<int>& passedLines, const QList<int>& failedLines)
{
    QList<int> seen = passedLines + failedLines;
    std::sort(seen.begin(), seen.end());
    const int first = !seen.isEmpty() && seen.first() == 1 ? 1 : 2;
    require(seen.size() == std::max(0, lineCount - first + 1), "every line counted", QString());
    for (int i = 0; i < seen.size(); ++i)
        require(seen[i] == first + i, "each line once", QString());
    require(std::is_sorted(failedLines.begin(), failedLines.end()), "messages in file order", QString());
}

void checkMainTask(const SchedOrdTaskFileReader::Result& result)
{
    const SchedOrdTaskField task = SchedOrdTaskFileReader::buildMainTask(99, QStringLiteral("fuzz"), result.subTasks);
    require(task.VecSubTask.size() == result.subTasks.size(), "main task holds every passing line", QString());
    for (size_t i = 0; i < task.VecSubTask.size(); ++i) {
        const SchedOrdSubTaskField& sub = task.VecSubTask[i];
        require(sub.SubTaskID == int(i) + 1, "ids in file order", QString());
        require(sub.MainTaskID == 99 && sub.StartTime >= task.StartTime, "sub-task under its main task", QString());
        require(task.Direction == 0 || task.Direction == sub.Direction, "common direction", QString());
        require(!task.IsSameStartTime || sub.StartTime == task.StartTime, "same start time", QString());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile& file = inputFile();
    writeInput(file, QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    QTextStream stream(&file);
    stream.setCodec(SchedOrdTaskFileReader::codecFor(file.fileName()));

    int idsDrawn = 0;
    const SchedOrdTaskFileParser parser(kApiTypes[size % 3], [&idsDrawn] { return ++idsDrawn; });
    QList<int> passedLines;
    const SchedOrdTaskFileReader::Result result = SchedOrdTaskFileReader::readLines(
        stream, [&](int lineNumber, const QString& line, std::string& message, SchedOrdSubTaskField& sub) {
            require(line.size() <= SchedOrdTaskFileParser::LongestLine, "no overlong line reaches the parser", line);
            const bool passed = parser.parseLine(lineNumber, line, message, sub);
            if (passed)
                passedLines.append(lineNumber);
            return passed;
        });
    const QList<int> failedLines = refusedLines(result);
    require(result.failureCount == failedLines.size(), "one message per failure", QString());
    checkEveryLineOnce(lineCountOf(file, stream.codec()), passedLines, failedLines);
    require(int(result.subTasks.size()) == idsDrawn && idsDrawn == passedLines.size(), "ids for the passing lines only",
            QString());
    if (!result.subTasks.empty())
        checkMainTask(result);
    return 0;
}
