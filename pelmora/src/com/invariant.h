// Checks of the invariants the engine's data structures state in their
// comments. Active in checking builds (the sanitizer build defines
// PELMORA_CHECKS); in release builds the condition is not even evaluated.
// A broken invariant names the place and the condition and aborts, so that
// the test or fuzz run that reached it stops right there.
#pragma once

#ifdef PELMORA_CHECKS
#include <cstdio>
#include <cstdlib>

#define PELMORA_INVARIANT(condition)                                                               \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: broken invariant: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
#else
#define PELMORA_INVARIANT(condition) \
    do {                             \
    } while (false && (condition))
#endif
