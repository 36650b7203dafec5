#!/bin/sh
# Lists the tests the last CTest run in a build directory skipped, each with its reason (the
# GTEST_SKIP message), so that a CI log shows what did not run and why.
#   scripts/ctest-skipped.sh BUILD_DIR
set -eu
log="${1:?build directory}/Testing/Temporary/LastTest.log"
[ -f "$log" ] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); name = $0; next }
  /: Skipped$/ { reason = ""; if ((getline line) > 0) reason = line
                 skipped[++count] = name ": " reason; next }
  END {
    if (count == 0) exit
    print "Skipped tests (" count "):"
    for (i = 1; i <= count; ++i) print "  " skipped[i]
  }
' "$log"
