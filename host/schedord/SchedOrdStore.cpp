#include "SchedOrdStore.h"

#include "SchedOrdCodes.h"

#include <algorithm>
#include <limits>
#include <tuple>

using namespace VELMSCHEDORDAPI;

namespace {

constexpr int kLastPriceType = 17;

bool validParameters(const SchedOrdSubTaskField& parameters)
{
    return parameters.TargetVolume >= 1 && parameters.PriceType >= 0 && parameters.PriceType <= kLastPriceType;
}

void copyOrderParameters(const SchedOrdSubTaskField& from, SchedOrdSubTaskField& to)
{
    to.Direction = from.Direction;
    to.PriceType = from.PriceType;
    to.PriceFloatType = from.PriceFloatType;
    to.PriceFloatValue = from.PriceFloatValue;
    to.OrderPrice = from.OrderPrice;
    to.TargetVolume = from.TargetVolume;
    to.StartTime = from.StartTime;
    to.EndTime = from.EndTime;
    to.NoSellAtLimitUp = from.NoSellAtLimitUp;
    to.NoBuyAtLimitDown = from.NoBuyAtLimitDown;
}

} // namespace

bool SchedOrdStore::Due::operator<(const Due& other) const
{
    return std::tie(time, slot.mainTaskId, slot.subIndex) < std::tie(other.time, other.slot.mainTaskId, other.slot.subIndex);
}

bool SchedOrdStore::add(const SchedOrdTaskField& task)
{
    if (task.MainTaskID <= 0)
        return false;
    const auto inserted = m_tasks.emplace(task.MainTaskID, task);
    if (!inserted.second)
        return false;
    if (task.MainTaskStatus == MainTaskStatus::Running)
        scheduleWaiting(inserted.first->second);
    registerOpen(inserted.first->second);
    return true;
}

bool SchedOrdStore::remove(int mainTaskId)
{
    const auto it = m_tasks.find(mainTaskId);
    if (it == m_tasks.end())
        return false;
    unscheduleAll(it->second);
    forgetOpen(mainTaskId);
    m_tasks.erase(it);
    return true;
}

const SchedOrdTaskField* SchedOrdStore::find(int mainTaskId) const
{
    const auto it = m_tasks.find(mainTaskId);
    return it == m_tasks.end() ? nullptr : &it->second;
}

SchedOrdTaskField* SchedOrdStore::find(int mainTaskId)
{
    const auto it = m_tasks.find(mainTaskId);
    return it == m_tasks.end() ? nullptr : &it->second;
}

bool SchedOrdStore::start(int mainTaskId, std::vector<int>& changedSubTasks)
{
    SchedOrdTaskField* task = find(mainTaskId);
    if (!task || (task->MainTaskStatus != MainTaskStatus::NotStarted && task->MainTaskStatus != MainTaskStatus::Paused))
        return false;
    task->MainTaskStatus = MainTaskStatus::Running;
    for (SchedOrdSubTaskField& subTask : task->VecSubTask) {
        const bool startable = subTask.SubTaskStatus == SubTaskStatus::NotStarted
            || subTask.SubTaskStatus == SubTaskStatus::Paused;
        if (startable && subTask.TriggerStatus == SubTriggerStatus::NotTriggered) {
            subTask.SubTaskStatus = SubTaskStatus::Running;
            changedSubTasks.push_back(subTask.SubTaskID);
        }
    }
    scheduleWaiting(*task);
    return true;
}

bool SchedOrdStore::pause(int mainTaskId, std::vector<int>& changedSubTasks)
{
    SchedOrdTaskField* task = find(mainTaskId);
    if (!task || task->MainTaskStatus != MainTaskStatus::Running)
        return false;
    // Its entries stay in the due-time index, where takeDue skips what no longer waits: a pause
    // of a large task during a burst must not wait for thousands of erasures.
    task->MainTaskStatus = MainTaskStatus::Paused;
    changedSubTasks.reserve(task->VecSubTask.size());
    for (SchedOrdSubTaskField& subTask : task->VecSubTask) {
        if (isWaiting(subTask)) {
            subTask.SubTaskStatus = SubTaskStatus::Paused;
            changedSubTasks.push_back(subTask.SubTaskID);
        }
    }
    return true;
}

SchedOrdStore::ModifyResult SchedOrdStore::modify(const SchedOrdSubTaskField& parameters)
{
    SchedOrdTaskField* task = find(parameters.MainTaskID);
    if (!task)
        return ModifyResult::UnknownSubTask;
    const auto found = std::find_if(task->VecSubTask.begin(), task->VecSubTask.end(),
                                    [&](const SchedOrdSubTaskField& s) { return s.SubTaskID == parameters.SubTaskID; });
    if (found == task->VecSubTask.end())
        return ModifyResult::UnknownSubTask;
    if (found->TriggerStatus != SubTriggerStatus::NotTriggered)
        return ModifyResult::AlreadyFired;
    if (!validParameters(parameters))
        return ModifyResult::InvalidParameters;

    const Slot slot = slotOf(*task, static_cast<size_t>(found - task->VecSubTask.begin()));
    // Also when paused: a pause leaves the entry at the old time behind.
    m_due.erase(Due{found->StartTime, slot});
    copyOrderParameters(parameters, *found);
    if (task->MainTaskStatus == MainTaskStatus::Running && isWaiting(*found))
        m_due.insert(Due{found->StartTime, slot});
    aggregate(*task);
    return ModifyResult::Modified;
}

bool SchedOrdStore::anyRunning() const
{
    return std::any_of(m_tasks.begin(), m_tasks.end(),
                       [](const auto& entry) { return entry.second.MainTaskStatus == MainTaskStatus::Running; });
}

std::vector<SchedOrdTaskField> SchedOrdStore::mainTasks() const
{
    std::vector<SchedOrdTaskField> tasks;
    tasks.reserve(m_tasks.size());
    for (const auto& entry : m_tasks)
        tasks.push_back(entry.second);
    return tasks;
}

std::vector<SchedOrdSubTaskField> SchedOrdStore::allSubTasks() const
{
    size_t count = 0;
    for (const auto& entry : m_tasks)
        count += entry.second.VecSubTask.size();
    std::vector<SchedOrdSubTaskField> subTasks;
    subTasks.reserve(count);
    for (const auto& entry : m_tasks)
        subTasks.insert(subTasks.end(), entry.second.VecSubTask.begin(), entry.second.VecSubTask.end());
    return subTasks;
}

int64_t SchedOrdStore::nextDueTime() const
{
    return m_due.empty() ? std::numeric_limits<int64_t>::max() : m_due.begin()->time;
}

bool SchedOrdStore::takeDue(int64_t now, SubTaskRef& out)
{
    while (!m_due.empty() && m_due.begin()->time <= now) {
        const Slot slot = m_due.begin()->slot;
        m_due.erase(m_due.begin());
        // The index only holds waiting sub-tasks of running tasks; checked again all the same,
        // since firing something that was paused or fired would be the worst possible fault.
        if (resolve(slot, out) && out.mainTask->MainTaskStatus == MainTaskStatus::Running && isWaiting(*out.subTask))
            return true;
    }
    return false;
}

void SchedOrdStore::peekDue(int64_t now, size_t maxCount, std::vector<SubTaskRef>& out)
{
    SubTaskRef ref;
    for (auto it = m_due.begin(); it != m_due.end() && it->time <= now && out.size() < maxCount; ++it) {
        if (resolve(it->slot, ref) && ref.mainTask->MainTaskStatus == MainTaskStatus::Running && isWaiting(*ref.subTask))
            out.push_back(ref);
    }
}

void SchedOrdStore::settleTrigger(SchedOrdTaskField& mainTask)
{
    const auto fired = std::count_if(mainTask.VecSubTask.begin(), mainTask.VecSubTask.end(), [](const SchedOrdSubTaskField& s) {
        return s.TriggerStatus != SubTriggerStatus::NotTriggered;
    });
    if (fired == 0)
        return;
    if (static_cast<size_t>(fired) < mainTask.VecSubTask.size()) {
        mainTask.TriggerStatus = MainTriggerStatus::Partial;
        return;
    }
    mainTask.TriggerStatus = MainTriggerStatus::All;
    mainTask.MainTaskStatus = MainTaskStatus::AllTriggered;
}

void SchedOrdStore::addOpen(const SubTaskRef& ref)
{
    const size_t subIndex = static_cast<size_t>(ref.subTask - ref.mainTask->VecSubTask.data());
    m_open[ref.subTask->SubTaskID] = slotOf(*ref.mainTask, subIndex);
}

bool SchedOrdStore::findOpen(int subTaskId, SubTaskRef& out)
{
    const auto it = m_open.find(subTaskId);
    if (it == m_open.end())
        return false;
    if (resolve(it->second, out))
        return true;
    m_open.erase(it);
    return false;
}

void SchedOrdStore::dropOpen(int subTaskId)
{
    m_open.erase(subTaskId);
}

bool SchedOrdStore::resolve(const Slot& slot, SubTaskRef& out)
{
    SchedOrdTaskField* task = find(slot.mainTaskId);
    if (!task || slot.subIndex < 0 || static_cast<size_t>(slot.subIndex) >= task->VecSubTask.size())
        return false;
    SchedOrdSubTaskField& subTask = task->VecSubTask[static_cast<size_t>(slot.subIndex)];
    if (subTask.SubTaskID != slot.subTaskId)
        return false;
    out.mainTask = task;
    out.subTask = &subTask;
    return true;
}

void SchedOrdStore::scheduleWaiting(const SchedOrdTaskField& task)
{
    for (size_t i = 0; i < task.VecSubTask.size(); ++i) {
        if (isWaiting(task.VecSubTask[i]))
            m_due.insert(Due{task.VecSubTask[i].StartTime, slotOf(task, i)});
    }
}

void SchedOrdStore::unscheduleAll(const SchedOrdTaskField& task)
{
    // Paused sub-tasks too: their entries outlive the pause.
    for (size_t i = 0; i < task.VecSubTask.size(); ++i) {
        if (task.VecSubTask[i].TriggerStatus == SubTriggerStatus::NotTriggered)
            m_due.erase(Due{task.VecSubTask[i].StartTime, slotOf(task, i)});
    }
}

void SchedOrdStore::registerOpen(const SchedOrdTaskField& task)
{
    for (size_t i = 0; i < task.VecSubTask.size(); ++i) {
        if (task.VecSubTask[i].SubTaskStatus == SubTaskStatus::Triggered)
            m_open[task.VecSubTask[i].SubTaskID] = slotOf(task, i);
    }
}

void SchedOrdStore::forgetOpen(int mainTaskId)
{
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (it->second.mainTaskId == mainTaskId)
            it = m_open.erase(it);
        else
            ++it;
    }
}

bool SchedOrdStore::isWaiting(const SchedOrdSubTaskField& subTask)
{
    return subTask.SubTaskStatus == SubTaskStatus::Running && subTask.TriggerStatus == SubTriggerStatus::NotTriggered;
}

void SchedOrdStore::aggregate(SchedOrdTaskField& task)
{
    if (task.VecSubTask.empty())
        return;
    const SchedOrdSubTaskField& first = task.VecSubTask.front();
    task.StartTime = first.StartTime;
    task.EndTime = first.EndTime;
    task.IsSameStartTime = true;
    task.IsSameEndTime = true;
    task.Direction = first.Direction;
    for (const SchedOrdSubTaskField& subTask : task.VecSubTask) {
        task.StartTime = std::min(task.StartTime, subTask.StartTime);
        task.EndTime = std::max(task.EndTime, subTask.EndTime);
        task.IsSameStartTime = task.IsSameStartTime && subTask.StartTime == first.StartTime;
        task.IsSameEndTime = task.IsSameEndTime && subTask.EndTime == first.EndTime;
        if (subTask.Direction != first.Direction)
            task.Direction = 0;
    }
}

SchedOrdStore::Slot SchedOrdStore::slotOf(const SchedOrdTaskField& task, size_t subIndex)
{
    return Slot{task.MainTaskID, static_cast<int>(subIndex), task.VecSubTask[subIndex].SubTaskID};
}
