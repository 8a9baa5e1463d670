// What the sanitizers cannot see: a broken rule of the interface (a text not
// terminated, a failure reported as success, a wrong size) stops the run
// with a message, so libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                               \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                                   \
            std::fprintf(stderr, "\n");                                                          \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)
