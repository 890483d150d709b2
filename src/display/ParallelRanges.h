// Splitting of per-sample work over a few short-lived threads.
//
// The display kernels run on the user-interface thread for every slider move;
// a 4096 x 4096 frame is split into contiguous ranges, one per processor, and
// each range is written by exactly one thread, so results never depend on the
// split. Small jobs run inline.
#pragma once

#include <cstddef>
#include <functional>

namespace obra {

// Calls Body(Begin, End) over contiguous ranges covering [0, Count), using at
// most one thread per processor (8 at most) and at least MinPerPart items per
// range. Returns when every range is done. A thread that cannot be started
// leaves its range to the calling thread; an exception from Body is rethrown
// once all ranges have finished.
void ParallelRanges(size_t Count, size_t MinPerPart,
                    const std::function<void(size_t Begin, size_t End)>& Body);

}  // namespace obra
