#pragma once

// How much slower than an optimised build this test build runs: sanitizer and unoptimised
// builds take many times longer, so time bounds in hostile-input tests grow with them.
namespace morvel::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr double kSanitizerSlowdown = 8;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr double kSanitizerSlowdown = 8;
#else
inline constexpr double kSanitizerSlowdown = 1;
#endif
#else
inline constexpr double kSanitizerSlowdown = 1;
#endif
#ifdef NDEBUG
inline constexpr double kSlowdown = kSanitizerSlowdown;
#else
inline constexpr double kSlowdown = kSanitizerSlowdown * 4;
#endif

}  // namespace morvel::test
