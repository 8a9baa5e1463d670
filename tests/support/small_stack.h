// Runs a body on a thread with a small stack (256 KiB by default, where the
// Windows default is 1 MiB), so that recursion that grows with the input
// would show as a crash.
#pragma once

#include <pthread.h>

#include <functional>

namespace qmdc_test {

inline bool OnSmallStack(std::function<void()> body, size_t bytes = 256 * 1024) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    const bool started = pthread_create(
                             &thread, &attributes,
                             [](void* run) -> void* {
                                 (*static_cast<std::function<void()>*>(run))();
                                 return nullptr;
                             },
                             &body) == 0;
    if (started) pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return started;
}

}  // namespace qmdc_test
