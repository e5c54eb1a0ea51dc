#!/bin/sh
# Runs a command as on a machine without one program: PATH becomes a folder
# of links to every other program on it. In the build folder,
#   ../tests/support/without-tool.sh sqlite3 ctest -j4
# shows how the suite meets a missing tool.
set -eu
if [ $# -lt 2 ]; then
  echo "usage: $0 TOOL COMMAND [ARGUMENT...]" >&2
  exit 2
fi
tool=$1
shift
bin=$(mktemp -d "${TMPDIR:-/tmp}/without-$tool.XXXXXX")
trap 'rm -rf "$bin"' EXIT
saved_ifs=$IFS
IFS=:
for dir in $PATH; do
  IFS=$saved_ifs
  # The first folder to hold a name wins, as for the shell: ln keeps a link it made.
  [ -d "$dir" ] && ln -s "$dir"/* "$bin"/ 2>/dev/null || true
done
IFS=$saved_ifs
rm -f "$bin/$tool"
PATH=$bin "$@"
