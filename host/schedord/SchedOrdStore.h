#pragma once

#include "SchedOrdTaskField.h"
#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

// The tasks of one account and what the engine needs to find its work fast: the due-time
// index of every waiting sub-task of a running main task (and of paused ones until they come
// due, when takeDue drops them), and the sub-tasks whose orders are open at the broker. Not guarded
// itself: the engine's lock guards it.
class SchedOrdStore final
{
public:
    // A sub-task and its main task, both owned by the store.
    struct SubTaskRef {
        VELMSCHEDORDAPI::SchedOrdTaskField* mainTask = nullptr;
        VELMSCHEDORDAPI::SchedOrdSubTaskField* subTask = nullptr;
    };
    enum class ModifyResult { Modified, UnknownSubTask, AlreadyFired, InvalidParameters };

    // False (nothing stored) when a task with that id exists or the id is not positive.
    bool add(const VELMSCHEDORDAPI::SchedOrdTaskField& task);
    bool remove(int mainTaskId);
    const VELMSCHEDORDAPI::SchedOrdTaskField* find(int mainTaskId) const;
    VELMSCHEDORDAPI::SchedOrdTaskField* find(int mainTaskId);

    // Not started or paused -> running; its sub-tasks that now wait land in `changedSubTasks`.
    bool start(int mainTaskId, std::vector<int>& changedSubTasks);
    // Running -> paused; its waiting sub-tasks pause and land in `changedSubTasks`.
    bool pause(int mainTaskId, std::vector<int>& changedSubTasks);
    // Replaces the order parameters of a sub-task that has not fired and reschedules it.
    ModifyResult modify(const VELMSCHEDORDAPI::SchedOrdSubTaskField& parameters);

    bool anyRunning() const;
    std::vector<VELMSCHEDORDAPI::SchedOrdTaskField> mainTasks() const;
    std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField> allSubTasks() const;

    // The earliest due time of a waiting sub-task; INT64_MAX when nothing waits.
    int64_t nextDueTime() const;
    // Takes the earliest waiting sub-task due at or before `now` out of the index.
    bool takeDue(int64_t now, SubTaskRef& out);
    // The waiting sub-tasks due at or before `now`, earliest first, at most `maxCount`; they stay
    // in the index.
    void peekDue(int64_t now, size_t maxCount, std::vector<SubTaskRef>& out);
    // After some of its sub-tasks fired: partially or all triggered, all done when all fired.
    static void settleTrigger(VELMSCHEDORDAPI::SchedOrdTaskField& mainTask);

    // Sub-tasks whose orders left and are not done with (sent, partly filled), by sub-task id: a
    // report finds its sub-task here. A stored task's sent sub-tasks are open from add() on.
    void addOpen(const SubTaskRef& ref);
    bool findOpen(int subTaskId, SubTaskRef& out);
    void dropOpen(int subTaskId);
    // Calls visit(mainTaskId, subTaskId) for every open sub-task.
    template <typename Visit>
    void forEachOpen(Visit&& visit) const
    {
        for (const auto& entry : m_open)
            visit(entry.second.mainTaskId, entry.first);
    }

private:
    // Where a sub-task lives: sub-task vectors never change size once stored, so an index stays valid.
    struct Slot {
        int mainTaskId = 0;
        int subIndex = 0;
        int subTaskId = 0;
    };
    struct Due {
        int64_t time = 0;
        Slot slot;
        bool operator<(const Due& other) const;
    };
    bool resolve(const Slot& slot, SubTaskRef& out);
    void scheduleWaiting(const VELMSCHEDORDAPI::SchedOrdTaskField& task);
    void unscheduleAll(const VELMSCHEDORDAPI::SchedOrdTaskField& task);
    void registerOpen(const VELMSCHEDORDAPI::SchedOrdTaskField& task);
    void forgetOpen(int mainTaskId);
    static bool isWaiting(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    static void aggregate(VELMSCHEDORDAPI::SchedOrdTaskField& task);
    static Slot slotOf(const VELMSCHEDORDAPI::SchedOrdTaskField& task, size_t subIndex);

    std::map<int, VELMSCHEDORDAPI::SchedOrdTaskField> m_tasks;
    std::set<Due> m_due;
    std::unordered_map<int, Slot> m_open;
};
