// The frames every flat entry point runs in: get the thread's record, check the shared
// arguments, run one operation object, and leave its status in the thread's last-error code.
#pragma once

#include "CImgIO.h"
#include "Status.h"
#include "ThreadState.h"
#include "imgcore.h"

#include <utility>

namespace img {

// Readers and info queries on a source handle. `argsPresent` folds in the out-pointers the
// entry point requires; `work(op)` runs the operation object built from the source.
template <class Op, class Work>
auto frameR(SourceHandle src, bool argsPresent, Work&& work)
    -> decltype(work(std::declval<Op&>())) {
    using Result = decltype(work(std::declval<Op&>()));
    ThreadState* state = getThreadState();
    if (state == nullptr) return Result{};
    if (src == nullptr || !argsPresent) {
        state->lastError = kBadArgument;
        return Result{};
    }
    CImgIO io(static_cast<SourceRecord*>(src));
    if (!io.isValid()) {
        state->lastError = kBadSource;
        return Result{};
    }
    Op op(io);
    Result result = work(op);
    // The caller's next call, or closeSource, finds the stream just past what was used.
    io.settle();
    state->lastError = op.status;
    return result;
}

// Conversions, drawing and resizing: the worker checks its own arguments.
template <class Op, class Work> auto frameW(Work&& work) -> decltype(work(std::declval<Op&>())) {
    using Result = decltype(work(std::declval<Op&>()));
    ThreadState* state = getThreadState();
    if (state == nullptr) return Result{};
    Op op{};
    Result result = work(op);
    state->lastError = op.status;
    return result;
}

// Source management and DIB queries: the code is cleared first, then set by the work.
template <class Work> auto frameS(Work&& work) -> decltype(work(std::declval<ThreadState&>())) {
    using Result = decltype(work(std::declval<ThreadState&>()));
    ThreadState* state = getThreadState();
    if (state == nullptr) return Result{};
    state->lastError = kOk;
    return work(*state);
}

} // namespace img
