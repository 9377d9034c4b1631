// Inlining and branch hints for the drive kernel and its lane types. The kernel's speed rests on
// every lane operation and per-frame lambda being inlined into the chunk loops, and on the rare
// paths (the guarded rerun of a chunk) staying out of them; GCC and clang are told so, other
// compilers get plain inline.
#pragma once

#if defined(__GNUC__)
#define DRIVE_INLINE inline __attribute__((always_inline))
#define DRIVE_LAMBDA_INLINE __attribute__((always_inline))
#define DRIVE_NOINLINE __attribute__((noinline, cold))
#define DRIVE_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define DRIVE_INLINE inline
#define DRIVE_LAMBDA_INLINE
#define DRIVE_NOINLINE
#define DRIVE_UNLIKELY(x) (x)
#endif
