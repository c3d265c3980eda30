#pragma once

// ThreadSanitizer cannot see that QThread::wait() orders everything the thread
// did before the code after the wait: Debian's Qt is not built with it, and the
// hand-over runs through QMutex inside libQt6Core. These two calls mark that
// edge for it; in other builds they are empty.

#if defined(__SANITIZE_THREAD__)
#define FINDERLY_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FINDERLY_THREAD_SANITIZER 1
#endif
#endif

#ifdef FINDERLY_THREAD_SANITIZER
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
#endif

// At the end of a thread's run().
inline void markThreadFinished([[maybe_unused]] void *thread)
{
#ifdef FINDERLY_THREAD_SANITIZER
    __tsan_release(thread);
#endif
}

// After a wait() for that thread has returned true.
inline void markThreadJoined([[maybe_unused]] void *thread)
{
#ifdef FINDERLY_THREAD_SANITIZER
    __tsan_acquire(thread);
#endif
}
