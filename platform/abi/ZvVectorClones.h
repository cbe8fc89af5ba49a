// ZV_VECTOR_CLONES: a loop function built for the processor's widest vectors too (AVX-512, AVX2)
// and chosen when the program loads. Files that use it are built without contracting products
// and sums into fused multiply-adds (see CMakeLists.txt), so every clone computes the same
// samples, bit for bit, as the plain build.
// ThreadSanitizer's runtime is not ready when the loader runs the clones' resolvers: one loop
// there.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define ZV_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZV_THREAD_SANITIZER 1
#endif
#endif
#if defined(__x86_64__) && !defined(_WIN32) && !defined(ZV_THREAD_SANITIZER)
#define ZV_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define ZV_VECTOR_CLONES
#endif
