#!/bin/sh
# `make run` installs what is missing, builds the program and what it needs
# (not every test and benchmark), makes the ZIP-code table and starts the
# program; `make test` still builds everything.
#   make_run_test.sh SOURCE_DIR
set -u
source_dir=$1
if ! command -v make >/dev/null 2>&1; then
  echo "missing tool(s): make (scripts/install-deps.sh installs them)" >&2
  exit 1
fi
run=$(make -s -n -C "$source_dir" run BUILD_DIR=out JOBS=2 2>&1) || { echo "make -n run failed:"; echo "$run"; exit 1; } >&2
test=$(make -s -n -C "$source_dir" test BUILD_DIR=out JOBS=2 2>&1) || { echo "make -n test failed:"; echo "$test"; exit 1; } >&2
failed=0
expect() {  # expect DESCRIPTION TEXT PATTERN
  if ! printf '%s\n' "$2" | grep -q -e "$3"; then
    printf 'make %s\n--- its commands ---\n%s\n' "$1" "$2" >&2
    failed=1
  fi
}
expect "run installs missing packages" "$run" 'scripts/install-deps\.sh'
expect "run builds the program" "$run" '^cmake --build out .*--target SendoraPro$'
if printf '%s\n' "$run" | grep -e '^cmake --build ' | grep -q -v -e '--target'; then
  printf 'make run builds every target\n--- its commands ---\n%s\n' "$run" >&2
  failed=1
fi
expect "run makes the ZIP-code table" "$run" '^cmake --build out --target zipcodes '
expect "run starts the program" "$run" '^out/app/SendoraPro$'
expect "test builds everything" "$test" '^cmake --build out -j 2$'
exit $failed
