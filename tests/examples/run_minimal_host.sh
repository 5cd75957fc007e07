#!/usr/bin/env bash
# Registers the example engine, runs the minimal_host example on Brisane, unregisters again.
#   run_minimal_host.sh WINE_RUN MINIMAL_HOST.exe BRISANE.dll ENGINE.dll
set -eu
wine_run=$1 host=$2 plugin=$3 engine=$4
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
"$wine_run" regsvr32 /s "$(winpath "$engine")"
trap '"$wine_run" regsvr32 /u /s "$(winpath "$engine")"' EXIT
"$wine_run" "$host" "$(winpath "$plugin")" | tr -d '\r'
