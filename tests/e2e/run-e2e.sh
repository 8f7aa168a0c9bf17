#!/usr/bin/env bash
# Starts the program twice with one virtual board and the same private home folder: the first
# start connects, watches rates, makes a layout and disconnects; the restart finds it again.
#   run-e2e.sh <e2e program> <artifact folder>
set -euo pipefail
program=$1
artifacts=$2
rm -rf "$artifacts"
mkdir -p "$artifacts"
export TESSARON_VIRTUAL_BOARDS="${TESSARON_VIRTUAL_BOARDS:-1}"
"$program" --e2e-phase first --e2e-artifacts "$artifacts"
"$program" --e2e-phase restart --e2e-artifacts "$artifacts"
