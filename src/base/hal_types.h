// Basic fixed-width types shared by every module.
#pragma once

#include <cstddef>
#include <cstdint>

using U8 = std::uint8_t;
using U16 = std::uint16_t;
using U32 = std::uint32_t;
using U64 = std::uint64_t;
using S8 = std::int8_t;
using S16 = std::int16_t;
using S32 = std::int32_t;
using S64 = std::int64_t;
using Char = char;

// One byte wide on purpose: records that carry it keep their wire layout.
using Boolean = std::uint8_t;
inline constexpr Boolean TRUE = 1;
inline constexpr Boolean FALSE = 0;

inline constexpr U32 MAX_U32 = 0xFFFFFFFFu;

// printf-style checking of format strings where the compiler offers it
// (mingw-w64 names the format family its C library follows).
#if defined(__MINGW_PRINTF_FORMAT)
#define IC_PRINTF_FORMAT(formatIndex, firstArg) __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArg)))
#elif defined(__GNUC__) || defined(__clang__)
#define IC_PRINTF_FORMAT(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#else
#define IC_PRINTF_FORMAT(formatIndex, firstArg)
#endif
