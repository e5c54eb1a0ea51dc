#!/bin/sh
# Runs tests of a test program with one of their tools hidden from PATH: each
# must fail at once with the one failure that names the tool, not on the
# shell's "not found" nor by waiting for an answer that never comes.
#   missing_tool_test.sh TOOL TEST_PROGRAM GTEST_FILTER
set -u
tool=$1
program=$2
filter=$3
here=$(dirname "$0")
output=$(QT_QPA_PLATFORM=offscreen sh "$here/without-tool.sh" "$tool" "$program" --gtest_filter="$filter" 2>&1)
status=$?
fail() {
  printf '%s\n--- output ---\n%s\n' "$1" "$output" >&2
  exit 1
}
count() { printf '%s\n' "$output" | grep -c -e "$1"; }
ran=$(count '^\[ RUN      \] ')
named=$(count "missing tool(s): .*$tool")
failures=$(count ': Failure$')
[ "$ran" -gt 0 ] || fail "no test matched $filter"
[ "$status" -ne 0 ] || fail "the tests passed without $tool"
[ "$named" -eq "$ran" ] || fail "$ran tests ran; $named of them said that $tool is missing"
[ "$failures" -eq "$ran" ] || fail "$ran tests ran with $failures failures; each should fail once, naming $tool"
if printf '%s\n' "$output" | grep -q -e "$tool: not found"; then fail "a test still ran $tool"; fi
echo "$ran tests failed at once, each naming $tool"
