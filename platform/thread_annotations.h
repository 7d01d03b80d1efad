// Clang's thread-safety attributes, so that -Wthread-safety can check who
// holds which mutex; they expand to nothing for compilers without them.
#pragma once

#if defined(__clang__)
#define LISTPOOL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define LISTPOOL_THREAD_ANNOTATION(x)
#endif

// On a class: its objects are capabilities (mutexes) that a thread holds.
#define CAPABILITY(name) LISTPOOL_THREAD_ANNOTATION(capability(name))
// On a class: its objects hold a capability for their lifetime.
#define SCOPED_CAPABILITY LISTPOOL_THREAD_ANNOTATION(scoped_lockable)
// On a member: read or written only while the given capability is held.
#define GUARDED_BY(x) LISTPOOL_THREAD_ANNOTATION(guarded_by(x))
// On a function: returns holding the capabilities (or *this when none given).
#define ACQUIRE(...) LISTPOOL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// On a function: is called holding the capabilities and releases them.
#define RELEASE(...) LISTPOOL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// On a function: must not be called holding the capabilities.
#define EXCLUDES(...) LISTPOOL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// On a function: must be called holding the capabilities.
#define REQUIRES(...) LISTPOOL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// On a function: the analysis does not look inside it.
#define NO_THREAD_SAFETY_ANALYSIS LISTPOOL_THREAD_ANNOTATION(no_thread_safety_analysis)
