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
// On a member: read while the capability is held, shared or exclusively;
// written only while it is held exclusively.
#define GUARDED_BY(x) LISTPOOL_THREAD_ANNOTATION(guarded_by(x))
// On a capability: must be taken after (or before) the given ones. Checked
// only with -Wthread-safety-beta (clang 14); the order is between
// declarations, so it holds for every object of the class.
#define ACQUIRED_AFTER(...) LISTPOOL_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) LISTPOOL_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
// On a function: returns holding the capabilities (or *this when none given).
// With none given the analysis does not look inside the function: it is the
// capability's own implementation.
#define ACQUIRE(...) LISTPOOL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// The same for a shared (reader's) hold.
#define ACQUIRE_SHARED(...) LISTPOOL_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
// On a function: is called holding the capabilities and releases them.
#define RELEASE(...) LISTPOOL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// The same for a shared hold.
#define RELEASE_SHARED(...) LISTPOOL_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
// On a function: must not be called holding the capabilities.
#define EXCLUDES(...) LISTPOOL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// On a function: must be called holding the capabilities exclusively.
#define REQUIRES(...) LISTPOOL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// On a function: must be called holding the capabilities, shared or not.
#define REQUIRES_SHARED(...) LISTPOOL_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
// On a function: the analysis does not look inside it.
#define NO_THREAD_SAFETY_ANALYSIS LISTPOOL_THREAD_ANNOTATION(no_thread_safety_analysis)
