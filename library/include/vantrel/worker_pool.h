// One pool of worker threads for the whole process, shared by every call of
// EvaluateBatch and by the front ends' long lists (the reflections of a
// structure), so that concurrent callers (a threaded scheduler running one
// call per chunk, say) never start more threads than there are processors.
#pragma once

#include <cstddef>

namespace vantrel::detail {

// Part p of a job, for p < parts.
using PartFunction = void (*)(const void* context, std::size_t p) noexcept;

// Runs part(context, p) for every p < parts, each exactly once, and returns
// when all have finished. The calling thread takes parts itself; up to
// `helpers` idle workers of the pool join in, each claiming one part after
// another while the callers computing (of this and concurrent calls) are no
// more than the processors. A call made while every processor already has a
// caller computing wakes no worker, and when every worker is busy with other
// calls the caller computes all parts alone: no call waits for another
// call's work.
void RunParts(std::size_t parts, std::size_t helpers, PartFunction part,
              const void* context) noexcept;

}  // namespace vantrel::detail

namespace vantrel {

// part(p) for every p < parts, on the calling thread and up to threads − 1
// workers of the pool, as RunParts has it. `part` must not throw.
template <class Part>
void RunInParts(std::size_t parts, unsigned threads, const Part& part) noexcept {
    static_assert(noexcept(part(std::size_t{0})), "a part must not throw");
    detail::RunParts(
        parts, threads > 1 ? threads - 1 : 0,
        [](const void* context, std::size_t p) noexcept {
            (*static_cast<const Part*>(context))(p);
        },
        &part);
}

}  // namespace vantrel
