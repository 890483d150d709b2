// Splitting of work over a few short-lived threads.
//
// The display kernels run on the user-interface thread for every slider move;
// a 4096 x 4096 frame is split into contiguous ranges, one per processor, and
// each range is written by exactly one thread, so results never depend on the
// split. Small jobs run inline.
#pragma once

#include <cstddef>
#include <functional>

namespace obra {

// Calls Task(0) .. Task(Count - 1), each on a thread of its own except Task(0),
// which runs on the calling thread, and returns when all are done. A thread
// that cannot be started leaves its task to the calling thread; an exception
// from a task is rethrown once every task has finished.
void RunTasks(size_t Count, const std::function<void(size_t Task)>& Task);

// Calls Body(Begin, End) over contiguous ranges covering [0, Count), using at
// most one thread per processor (8 at most) and at least MinPerPart items per
// range, through RunTasks.
void ParallelRanges(size_t Count, size_t MinPerPart,
                    const std::function<void(size_t Begin, size_t End)>& Body);

}  // namespace obra
