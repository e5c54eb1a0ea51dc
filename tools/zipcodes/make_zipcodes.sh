#!/usr/bin/env bash
# Fetches the npm package "zipcodes" at its pinned version (BSD licence) into a
# cache folder and writes ZIPCODES.csv and the package's licence notice into
# the output folder.
#
# usage: make_zipcodes.sh <cache folder> <output folder>
set -euo pipefail

version=8.0.0
cache=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)

package="$cache/node_modules/zipcodes"
if [ ! -f "$package/package.json" ] || ! grep -q "\"version\": \"$version\"" "$package/package.json"; then
  mkdir -p "$cache"
  npm install --prefix "$cache" --no-audit --no-fund --ignore-scripts --no-save "zipcodes@$version"
fi
mkdir -p "$out"
node "$here/zipcodes_to_csv.js" "$package" "$out/ZIPCODES.csv"
cp "$package/LICENSE" "$out/ZIPCODES.LICENSE.txt"
