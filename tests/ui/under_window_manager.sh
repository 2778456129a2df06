#!/bin/sh
# Runs a test program on a virtual X display managed by openbox, so that windows get real
# frames and placement. Exits with 77 (the test's "skipped") when a tool is missing.
for tool in xvfb-run openbox xprop xwininfo; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (packages xvfb openbox x11-utils)"
    exit 77
  fi
done

# Inside the display: start the window manager, wait until it has claimed the screen, run
# the program, stop the window manager.
# shellcheck disable=SC2016
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  tries=0
  until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ]; then
      echo "openbox did not start"
      kill "$wm" 2>/dev/null
      exit 1
    fi
    sleep 0.05
  done
  QT_QPA_PLATFORM=xcb "$@"
  status=$?
  kill "$wm" 2>/dev/null
  wait "$wm" 2>/dev/null
  exit $status
' under-window-manager "$@"
