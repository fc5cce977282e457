// The one place where running out of memory becomes a result: C-style calls and the file code
// answer with a code or false instead of letting std::bad_alloc unwind through their callers.
#pragma once

#include <new>
#include <utility>

// Runs `work` and returns what it returns, or `out_of_memory` when an allocation in it failed.
template <typename Result, typename Work>
Result or_out_of_memory(Result out_of_memory, Work&& work) {
    try {
        return std::forward<Work>(work)();
    } catch (const std::bad_alloc&) {
        return out_of_memory;
    }
}
