#pragma once

#include <QLocale>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace VELMSCHEDORDAPI {
struct SchedOrdSubTaskField;
}

namespace Velm_Space {

// Turns one line of a task file into a sub-task, or into the message that tells the trader why
// the line was refused. Messages are narrow strings in the host's local 8-bit code page and start
// with "[行#N导入失败] ". A sub-task id is drawn only once the whole line has passed, so every
// drawn id ends up in the imported main task.
//
// Build one parser per file: it takes today's date when it is made.
class SchedOrdTaskFileParser final
{
public:
    using SubTaskIdSource = std::function<int()>;

    static constexpr int FieldCount = 12;
    // No task line comes near this many characters; a longer one is refused without being read whole.
    static constexpr int LongestLine = 4096;

    SchedOrdTaskFileParser(int apiType, SubTaskIdSource nextSubTaskId);

    bool parseLine(int lineNumber, QStringView line, std::string& message,
                   VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;

    // The message for a line longer than LongestLine: the field-count message when the count is
    // wrong, else one that names the line's length.
    static void refuseLongLine(int lineNumber, qint64 fieldCount, qint64 length, std::string& message);

    // True when every byte is a decimal digit; true for an empty string.
    static bool isAllDigits(const std::string& text);

private:
    bool parseContent(QStringView line, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parseFields(const QStringView (&fields)[FieldCount], std::string& reason,
                     VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    static bool parseTypeTag(QStringView text, std::string& reason);
    bool parseSecurity(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parseDirection(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parseStartTime(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parsePriceType(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parseOrderPrice(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parsePriceFloatType(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    void parsePriceFloatValue(QStringView text, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    bool parseTargetVolume(QStringView text, std::string& reason, VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    static bool parseLimitFlag(QStringView text, std::string& reason, const std::string& fieldName,
                               const std::string& rule, bool& flag);

    bool isDirectionAccepted(QChar direction) const;
    int64_t ticksAt(int hour, int minute, int second) const;
    double toFiniteDouble(QStringView text) const;
    const std::string& securityKey(const std::string& securityId, char exchange) const;

    const int m_apiType;
    const SubTaskIdSource m_nextSubTaskId;
    const QLocale m_cLocale;
    const int64_t m_todayMidnight;
    // False on a day whose clock jumps: each time then goes through the zone's rules.
    const bool m_todayIsEvenlyTimed;
    // The host's key of every security met so far: a file names the same few securities on many lines.
    mutable std::unordered_map<uint64_t, std::string> m_securityKeys;
};

} // namespace Velm_Space
