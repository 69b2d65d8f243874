#pragma once

// Memory figures of this process, for the benchmarks' tables.
namespace ProcessMemory {

// kB of a /proc/self/status field such as "VmRSS" or "VmHWM" (Linux); -1 elsewhere.
long statusKb(const char* field);

} // namespace ProcessMemory
