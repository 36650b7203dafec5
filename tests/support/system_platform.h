// The running system's own services, for tests that look at real files or run real threads:
// the Linux ones, or the Windows ones in the Windows build.
#pragma once

#ifdef _WIN32
#include "backends/win32/win32_platform.h"
#else
#include "backends/posix/posix_platform.h"
#endif

namespace tessaro::testing {

#ifdef _WIN32
using SystemClock = platform::win32::Win32Clock;
using SystemThreads = platform::win32::Win32Threads;
using SystemFileSystem = platform::win32::Win32FileSystem;
using SystemOutputFiles = platform::win32::Win32OutputFiles;
#else
using SystemClock = platform::posix::PosixClock;
using SystemThreads = platform::posix::PosixThreads;
using SystemFileSystem = platform::posix::PosixFileSystem;
using SystemOutputFiles = platform::posix::PosixOutputFiles;
#endif

}  // namespace tessaro::testing
