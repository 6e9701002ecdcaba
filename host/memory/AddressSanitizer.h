// Whether this program is built with AddressSanitizer, which then owns the
// heap: the guarded heap stays off and heap figures come from the sanitizer.
// GCC says so with __SANITIZE_ADDRESS__, clang through __has_feature.
#pragma once

#if defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define WQ_HOST_ASAN 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(WQ_HOST_ASAN)
#  define WQ_HOST_ASAN 1
#endif
