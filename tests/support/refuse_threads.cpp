// Preloaded into the program (LD_PRELOAD) by the tests: the system refuses every thread, as
// one out of threads or memory does. Declared by name only: <pthread.h>'s own declaration
// carries attributes that a definition here would have to repeat.
#include <cerrno>

extern "C" int pthread_create(void*, const void*, void* (*)(void*), void*) {
  return EAGAIN;
}
