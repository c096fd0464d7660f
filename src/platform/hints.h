// Hints to the CPU that the language does not define; each is a no-op where the compiler offers
// none, so the program builds anywhere and only runs a little slower there.
#pragma once

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

// Inlining decided by hand where the optimiser's own choice is slower (measured in the search);
// left to the optimiser where the compiler takes no such request.
#if defined(__GNUC__)
#define ZELVAR_NOINLINE [[gnu::noinline]]
#define ZELVAR_ALWAYS_INLINE [[gnu::always_inline]]
#elif defined(_MSC_VER)
#define ZELVAR_NOINLINE __declspec(noinline)
#define ZELVAR_ALWAYS_INLINE __forceinline
#else
#define ZELVAR_NOINLINE
#define ZELVAR_ALWAYS_INLINE
#endif

namespace platform {

// Inside a spin loop: without it a spinning thread can hold up another core's write to the
// line it watches for the whole spin.
inline void spinPause() noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __builtin_ia32_pause();
#elif defined(__GNUC__) && defined(__aarch64__)
  __asm__ __volatile__("yield");
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_pause();
#endif
}

// Starts loading the cache line at `address` for reading soon.
inline void prefetch(const void* address) noexcept {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
  _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
  (void)address;
#endif
}

}  // namespace platform
