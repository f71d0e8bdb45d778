// Where TempDir makes its directories. The program's rooted paths
// ("\Corvantis\Data\MungeLog.txt") name the root of "the drive": on POSIX
// that is MUNGE_DRIVE_ROOT, which every TempDir points at itself; on Windows
// it is the root of the current drive, so each test process takes a drive
// of its own from a pool (TOLSCRIPT_TEST_DRIVES) and keeps its temporary
// directories there.
#pragma once

#include <string>

namespace test_support::internal {

// The directory a new TempDir is made in. On Windows with a pool, the
// first TempDir of the process takes a drive, and the first of a nesting
// empties its root.
std::string EnterTempParent();

// A TempDir has ended; the last of a nesting empties the drive root again.
void LeaveTempParent();

}  // namespace test_support::internal
