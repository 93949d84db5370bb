#!/bin/sh
# Runs a test program with the Wine prefix's display at 96, 144 and 192 dots an inch (100, 150 and
# 200 %), naming the scale to it in BRINDLE_EXPECTED_DPI, and leaves the prefix at 96. Wine reads
# the setting as each program starts.
#   at_display_scales.sh WINE_RUN PROGRAM ARGS...
run="$1"
shift
set_dpi() {
  "$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
status=0
for dpi in 96 144 192; do
  set_dpi "$dpi" || { echo "cannot set the prefix's display to $dpi dpi" >&2; exit 1; }
  echo "at $dpi dpi:"
  BRINDLE_EXPECTED_DPI=$dpi "$run" "$@" || status=1
done
set_dpi 96
exit $status
