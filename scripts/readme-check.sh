#!/usr/bin/env bash
# Runs the README's run command under Xvfb with a fresh program folder, waits for the main
# window, quits with Ctrl+Q and checks that the program ended cleanly and wrote FCS.INI.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
command=$(grep -m1 -E '^\s+bash scripts/run\.sh\s*$' "$here/README.md" | sed 's/^ *//')
if [[ -z "$command" ]]; then
  echo "readme-check: README.md does not give 'bash scripts/run.sh'" >&2
  exit 1
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# The build inside run.sh may take a while on a first run; the window then shows quickly.
QUORVENAL_HOME="$home" HERE="$here" COMMAND="$command" timeout 1800 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  cd "$HERE"
  $COMMAND >"$QUORVENAL_HOME/run.log" 2>&1 &
  pid=$!
  window=""
  for _ in $(seq 1 1500); do
    window=$(xdotool search --name "^Quorvenal - Vantorel$" 2>/dev/null | head -n1 || true)
    [[ -n "$window" ]] && break
    kill -0 "$pid" 2>/dev/null || { cat "$QUORVENAL_HOME/run.log" >&2; echo "readme-check: the program ended before its window showed" >&2; exit 1; }
    sleep 1
  done
  [[ -n "$window" ]] || { echo "readme-check: no window \"Quorvenal - Vantorel\"" >&2; kill "$pid"; exit 1; }
  sleep 1
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 1; done
  if kill -0 "$pid" 2>/dev/null; then echo "readme-check: Ctrl+Q did not end the program" >&2; kill "$pid"; exit 1; fi
  wait "$pid"
'
if [[ ! -f "$home/FCS.INI" ]]; then
  echo "readme-check: FCS.INI was not written" >&2
  exit 1
fi
echo "readme-check: window shown, Ctrl+Q ended the program, FCS.INI written"
