#pragma once

// Makes a hand-off between threads visible to ThreadSanitizer where the synchronisation itself
// is not: an object posted through Qt's event queue is published by a lock inside Qt, which comes
// uninstrumented, so every access to it on the receiving thread looks like a race with the
// sender's writes. The sender calls PublishToThread after its last write; the receiver calls
// ReceiveFromThread before its first access (and before freeing it). In other builds both are
// empty and cost nothing.
//
// Used by the window's hand-off of the reader's notifications and notices (ui/).

#if defined(__SANITIZE_THREAD__)
#define RV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RV_THREAD_SANITIZER 1
#endif
#endif

#ifdef RV_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace rv {

inline void PublishToThread([[maybe_unused]] const void* object)
{
#ifdef RV_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(object));
#endif
}

inline void ReceiveFromThread([[maybe_unused]] const void* object)
{
#ifdef RV_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(object));
#endif
}

} // namespace rv
