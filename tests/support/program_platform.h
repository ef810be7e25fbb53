// Which system the programs under test are built for. The end-to-end tests
// run the Windows programs too (under Wine, see tests/CMakeLists.txt); what
// Windows has not got (symbolic links, POSIX permissions, FIFOs, signals,
// file-size limits, names that are no UTF-8 or end in a dot) is skipped
// there, with the reason.
#pragma once

#include <gtest/gtest.h>

#ifndef PROGRAMS_ON_WINDOWS
#define PROGRAMS_ON_WINDOWS 0
#endif

inline constexpr bool kProgramsOnWindows = PROGRAMS_ON_WINDOWS != 0;

#define SKIP_FOR_WINDOWS_PROGRAMS(reason) \
  if (kProgramsOnWindows) GTEST_SKIP() << "not for the Windows programs: " << reason
