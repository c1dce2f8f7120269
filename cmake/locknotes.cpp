// The sanitizer build turns Qt's lock annotations on (they are
// ThreadSanitizer's): every QMutex lock of our code calls these. The tests'
// real-time guard replaces them, to see each lock a real-time thread takes;
// every other program of that build gets these, which do nothing.
#include <sanitizer/tsan_interface.h>

extern "C" {
__attribute__((weak)) void __tsan_mutex_pre_lock(void *, unsigned) {}
__attribute__((weak)) void __tsan_mutex_post_lock(void *, unsigned, int) {}
__attribute__((weak)) int __tsan_mutex_pre_unlock(void *, unsigned) { return 0; }
__attribute__((weak)) void __tsan_mutex_post_unlock(void *, unsigned) {}
}
