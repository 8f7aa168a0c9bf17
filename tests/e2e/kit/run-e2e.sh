#!/usr/bin/env bash
# Starts the program once per phase with one virtual board and the same private home folder,
# so a later phase finds what an earlier one left (settings, layouts, files).
#   run-e2e.sh <e2e program> <artifact folder> <phase>...
set -euo pipefail
program=$1
artifacts=$2
shift 2
rm -rf "$artifacts"
mkdir -p "$artifacts"
export TESSARON_VIRTUAL_BOARDS="${TESSARON_VIRTUAL_BOARDS:-1}"
for phase in "$@"; do
  "$program" --e2e-phase "$phase" --e2e-artifacts "$artifacts"
done
