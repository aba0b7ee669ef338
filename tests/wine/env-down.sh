#!/usr/bin/env bash
# Ends every process of the Wine test environment in folder $1.
dir=$1
export WINEPREFIX="$dir/prefix"
wineserver -k >/dev/null 2>&1 || true
for f in wineserver xvfb; do
  if [ -f "$dir/$f.pid" ]; then
    pid=$(cat "$dir/$f.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/$f.pid"
  fi
done
exit 0
