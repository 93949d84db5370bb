#!/usr/bin/env bash
# Relay throughput on loopback: a sender straight to a receiver, through a socat relay, and through
# Brindle's own window (console, sockets, Qt window with live views, 100 ms timer) with both "Auto"
# boxes ticked; random bytes and HTTP-like text, both directions; then request-to-reply latency.
# Every transfer is checked byte for byte (sha256); a mismatch fails the script.
#
#   bench/relay_bench.sh
#
# SETUP=offscreen (the default) runs the window on Qt's offscreen platform; SETUP=a11y runs it as a
# screen-reader user does: on an Xvfb display (xcb) with a private D-Bus session, the accessibility
# bus (at-spi-bus-launcher) and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1, with a screen reader's probe
# beside every transfer through the window: bench/atspi_probe.py, another process that reads a status
# line's text over the accessibility bus every 50 ms and times each answer. SETUP=wine adds a fourth path,
# the Windows build's window (bench/relay_bench_driver_win32.cpp: Win32 dialog, Winsock, its own
# traffic views) under Wine on an Xvfb display, in a fresh Wine prefix made once per run, beside the
# Linux window on the offscreen platform; its inputs are 256 MiB unless SIZE_MIB says otherwise.
#
# Where Debian's mitmdump is installed, two more paths run beside socat: the proxy a user would pick
# instead, relaying raw TCP to the destination in reverse mode, once showing every message's contents
# (flow_detail=4, to /dev/null) and once passing them through unread (ignore_hosts). It keeps a
# half-closed connection open until it exits, so its receivers count the bytes instead of waiting
# for the end; the showing path runs at a few MB/s and gets MITM_SHOWN_MIB (8) of each input.
#
# Knobs, for trials only: REPS (3), SIZE_MIB (1024), EXCHANGES (100), PORT_A (47101, where the
# relays listen), PORT_B (47102, the destination), INPUT_DIR (keeps the generated inputs there for
# the next run instead of deleting them), DRIVER and WINE_DRIVER (drivers built elsewhere, say from
# an older tree; nothing is built for that path then), XDISPLAY (the Xvfb display; a random one
# from :90 up otherwise), MITM (0 leaves the mitmdump paths out), MITM_SHOWN_MIB.
set -euo pipefail
cd "$(dirname "$0")/.."

setup=${SETUP:-offscreen}
reps=${REPS:-3}
default_mib=1024
[[ $setup == wine ]] && default_mib=256
size_mib=${SIZE_MIB:-$default_mib}
exchanges=${EXCHANGES:-100}
port_a=${PORT_A:-47101}
port_b=${PORT_B:-47102}
size=$((size_mib * 1024 * 1024))
peers=bench/relay_peers.py
driver=${DRIVER:-build/release/bench/relay_bench_driver}
wine_driver=${WINE_DRIVER:-build/windows/bench/relay_bench_driver_win32.exe}
# Longer than any sane transfer of SIZE_MIB; only a hang reaches it. Under Wine every socket call
# is a round trip to the Wine server, and the relay is many times slower.
limit=$((60 + size_mib / 4))
[[ $setup == wine ]] && limit=$((120 + size_mib * 2))
# The paths every case runs, and those of them that are Brindle's window with its figures.
paths=(direct socat)
if [[ ${MITM:-1} != 0 ]] && command -v mitmdump >/dev/null; then
  paths+=(mitm-shown mitm-pass)
fi
paths+=(brindle)
windows=(brindle)
mitm_shown_mib=$((${MITM_SHOWN_MIB:-8} < size_mib ? ${MITM_SHOWN_MIB:-8} : size_mib))
if [[ $setup == wine ]]; then
  paths+=(wine)
  windows+=(wine)
fi

# A fresh machine gets what the benchmark needs (socat, python3, ss, the build tools).
tools/install_deps.sh --tests
[[ $setup == wine ]] && tools/install_deps.sh --windows
for tool in socat python3 ss cmake; do
  command -v "$tool" >/dev/null || { echo "relay_bench: $tool is missing (tools/install_deps.sh --tests)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/brindle-relay-bench.XXXXXX)
bus_pid=""
wineserver=""
# Whatever this script started and still runs goes with it (only after a failure is there any but
# the display and the Wine server, which runs the prefix's own processes).
cleanup() {
  local pid
  for pid in $(jobs -pr); do
    kill "$pid" 2>/dev/null || true
  done
  [[ -n $bus_pid ]] && kill "$bus_pid" 2>/dev/null
  [[ -n $wineserver ]] && "$wineserver" -k 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "relay_bench: $*" >&2
  exit 1
}

listening() {
  [[ -n $(ss -Hltn "sport = :$1") ]]
}

wait_listening() {
  local i
  for ((i = 0; i < 200; i++)); do
    listening "$1" && return 0
    sleep 0.05
  done
  fail "nothing came to listen on port $1"
}

wait_free() {
  local i
  for ((i = 0; i < 200; i++)); do
    listening "$1" || return 0
    sleep 0.05
  done
  fail "port $1 is still taken"
}

median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

largest() {
  printf '%s\n' "$@" | sort -g | tail -n 1
}

smallest() {
  printf '%s\n' "$@" | sort -g | head -n 1
}

# The value of key=value or "key value" in a line of figures.
field() {
  awk -v key="$1" '{ for (i = 1; i <= NF; i++) { if ($i ~ "^" key "=") { sub("^" key "=", "", $i); print $i; exit }
                                                  if ($i == key) { print $(i + 1); exit } } }' "$2"
}

# An Xvfb display of our own, as DISPLAY.
start_display() {
  local display=${XDISPLAY:-:$((90 + RANDOM % 400))} i
  [[ -e /tmp/.X11-unix/X${display#:} ]] && fail "display $display is taken"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
  for ((i = 0; i < 100; i++)); do
    [[ -e /tmp/.X11-unix/X${display#:} ]] && break
    sleep 0.05
  done
  export DISPLAY=$display
}

case $setup in
  offscreen)
    export QT_QPA_PLATFORM=offscreen
    ;;
  wine)
    export QT_QPA_PLATFORM=offscreen
    wine=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
    wineserver=$(command -v /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver wineserver | head -n 1)
    [[ -n $wine && -n $wineserver ]] || fail "SETUP=wine needs wine64 (tools/install_deps.sh --windows)"
    command -v Xvfb >/dev/null || fail "SETUP=wine needs Xvfb (xvfb)"
    # The Windows dialog needs a display; the Linux window stays offscreen.
    start_display
    export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
    mkdir -p "$WINEPREFIX"
    # One server for the whole run, so that each start of the driver finds the prefix ready.
    "$wineserver" -p </dev/null >"$work/wine.log" 2>&1
    echo "creating a Wine prefix..." >&2
    "$wine" wineboot --init </dev/null >>"$work/wine.log" 2>&1 || fail "wineboot failed: $(tail -n 5 "$work/wine.log")"
    ;;
  a11y)
    for tool in Xvfb dbus-daemon /usr/libexec/at-spi-bus-launcher; do
      command -v "$tool" >/dev/null || fail "SETUP=a11y needs $tool (xvfb, dbus, at-spi2-core)"
    done
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "SETUP=a11y needs python3-pyatspi for its probe"
    start_display
    export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    read -r DBUS_SESSION_BUS_ADDRESS bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd' ')
    export DBUS_SESSION_BUS_ADDRESS
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null &
    sleep 1
    ;;
  *) fail "SETUP is offscreen, a11y or wine, not $setup" ;;
esac

if [[ -z ${DRIVER:-} ]]; then
  echo "building (release)..." >&2
  cmake --preset release >/dev/null
  cmake --build build/release -j2 --target relay_bench_driver >/dev/null
fi
[[ -x $driver ]] || fail "no driver at $driver"
if [[ $setup == wine && -z ${WINE_DRIVER:-} ]]; then
  echo "building (windows)..." >&2
  cmake --preset windows >/dev/null
  cmake --build build/windows -j2 --target relay_bench_driver_win32 >/dev/null
fi
[[ $setup != wine || -f $wine_driver ]] || fail "no Windows driver at $wine_driver"

wait_free "$port_a"
wait_free "$port_b"

echo "generating ${size_mib} MiB inputs..." >&2
declare -A input digest
inputs=${INPUT_DIR:-$work}
mkdir -p "$inputs"
input[random]=$inputs/random-$size_mib.bin
input[text]=$inputs/http-$size_mib.txt
[[ $(stat -c %s "${input[random]}" 2>/dev/null) == "$size" ]] || python3 "$peers" gen-random "${input[random]}" "$size_mib"
[[ $(stat -c %s "${input[text]}" 2>/dev/null) == "$size" ]] || python3 "$peers" gen-http "${input[text]}" "$size_mib"
for kind in random text; do
  digest[$kind]=$(sha256sum "${input[$kind]}" | cut -d' ' -f1)
done
# The showing proxy's share: the first MITM_SHOWN_MIB of each input.
declare -A shown_input shown_digest
shown_size=$((mitm_shown_mib * 1024 * 1024))
if [[ " ${paths[*]} " == *" mitm-shown "* ]]; then
  for kind in random text; do
    shown_input[$kind]=$work/$kind-shown.bin
    head -c "$shown_size" "${input[$kind]}" >"${shown_input[$kind]}"
    shown_digest[$kind]=$(sha256sum "${shown_input[$kind]}" | cut -d' ' -f1)
  done
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# Starts the relay of one path; sets target (the port a peer uses) and relay_pid.
relay_pid=""
target=""
start_relay() {
  relay_pid=""
  case $1 in
    direct)
      target=$port_b
      ;;
    socat)
      # bash's `times` gives the relay's user and system time once it has ended.
      timeout "$limit" bash -c "socat TCP-LISTEN:$port_a,reuseaddr TCP:127.0.0.1:$port_b && times" >"$work/socat.times" &
      relay_pid=$!
      wait_listening "$port_a"
      target=$port_a
      ;;
    mitm-shown | mitm-pass)
      local shown=(--set tcp_hosts='.*' --set flow_detail=4)
      [[ $1 == mitm-pass ]] && shown=(--set ignore_hosts='.*')
      timeout "$limit" mitmdump --mode reverse:http://127.0.0.1:"$port_b" --listen-host 127.0.0.1 \
        --listen-port "$port_a" "${shown[@]}" >/dev/null 2>"$work/mitm.err" &
      relay_pid=$!
      wait_listening "$port_a"
      target=$port_a
      ;;
    brindle | wine)
      if [[ $1 == brindle ]]; then
        timeout "$limit" "$driver" "$port_a" "$port_b" >"$work/driver.out" 2>"$work/driver.err" &
      else
        rm -f "$work/stop"
        # Wine gives a GUI program no signal: the driver ends once this file exists (Z: is /).
        timeout "$limit" "$wine" "$wine_driver" "$port_a" "$port_b" "Z:${work//\//\\}\\stop" \
          >"$work/driver.out" 2>"$work/driver.err" &
      fi
      relay_pid=$!
      local i
      for ((i = 0; i < 600; i++)); do
        grep -q '^ready' "$work/driver.out" && break
        grep -q '^failed' "$work/driver.out" && fail "the window did not start listening: $(cat "$work/driver.out")"
        sleep 0.05
      done
      wait_listening "$port_a"
      target=$port_a
      if [[ $1 == brindle && $setup == a11y ]]; then
        start_probe
      fi
      ;;
  esac
}

# The screen reader's probe: it reads a status line of the window over the accessibility bus every
# 50 ms until it is stopped, then writes its figures to $work/probe.out.
probe_pid=""
start_probe() {
  rm -f "$work/probe.out" "$work/probe.ready"
  /usr/bin/python3 bench/atspi_probe.py "$(basename "$driver")" "$work/probe.out" >"$work/probe.ready" 2>"$work/probe.err" &
  probe_pid=$!
  local i
  for ((i = 0; i < 600; i++)); do
    grep -qs '^probing' "$work/probe.ready" && return 0
    grep -qs '^failed' "$work/probe.ready" && fail "the probe found no status line: $(cat "$work/probe.ready")"
    sleep 0.05
  done
  fail "the probe did not start"
}
stop_probe() {
  [[ -z $probe_pid ]] && return 0
  kill -TERM "$probe_pid"
  wait "$probe_pid" || fail "the probe failed: $(cat "$work/probe.err")"
  probe_pid=""
}

# Brindle is told to stop once the receiver has seen the end; socat stops on its own.
stop_relay() {
  [[ -z $relay_pid ]] && return 0
  case $1 in
    brindle)
      stop_probe
      kill -TERM "$relay_pid"
      ;;
    wine) : >"$work/stop" ;;
    mitm-*)
      # It holds the half-closed connections open until it is told to go.
      kill -INT "$relay_pid"
      wait "$relay_pid" || true
      relay_pid=""
      return 0
      ;;
  esac
  wait "$relay_pid" || fail "the $1 relay failed"
  relay_pid=""
}

check_received() {
  local got_bytes got_digest
  got_bytes=$(field bytes "$work/recv.out")
  got_digest=$(field sha256 "$work/recv.out")
  if [[ $got_bytes != "$4" || $got_digest != "$5" ]]; then
    fail "MISMATCH ($1 $2 $3): received ${got_bytes:-nothing} bytes, sha256 ${got_digest:-none}; sent $4, $5"
  fi
}

# One transfer of one input in one direction along one path; appends MB/s and Brindle's figures.
declare -A mbps tick busy rss gap pass wpass cpu held periods paints probe
transfers=0
is_window() {
  [[ " ${windows[*]} " == *" $1 "* ]]
}
transfer() {
  local kind=$1 direction=$2 path=$3 peer_pid start
  local file=${input[$kind]} bytes=$size expect=${digest[$kind]} count=()
  if [[ $path == mitm-shown ]]; then
    file=${shown_input[$kind]} bytes=$shown_size expect=${shown_digest[$kind]}
  fi
  [[ $path == mitm-* ]] && count=("$bytes")
  rm -f "$work/recv.out"
  if [[ $direction == upload ]]; then
    timeout "$limit" python3 "$peers" recv-listen "$port_b" "${count[@]}" >"$work/recv.out" &
    peer_pid=$!
    wait_listening "$port_b"
    start_relay "$path"
    start=$(date +%s.%N)
    timeout "$limit" socat -u FILE:"$file" TCP:127.0.0.1:"$target" || fail "the sender failed"
    wait "$peer_pid" || fail "the receiver failed"
  else
    timeout "$limit" socat -u FILE:"$file" TCP-LISTEN:"$port_b",reuseaddr &
    peer_pid=$!
    wait_listening "$port_b"
    start_relay "$path"
    timeout "$limit" python3 "$peers" recv-connect "$target" "${count[@]}" >"$work/recv.out" || fail "the receiver failed"
    start=$(field opened "$work/recv.out")
    wait "$peer_pid" || fail "the sender failed"
  fi
  stop_relay "$path"
  check_received "$kind" "$direction" "$path" "$bytes" "$expect"
  transfers=$((transfers + 1))
  local key="$kind $direction $path"
  mbps[$key]+=" $(awk -v b="$bytes" -v s="$start" -v e="$(field end "$work/recv.out")" 'BEGIN { printf "%.1f", b / (e - s) / 1e6 }')"
  if [[ $path == socat ]]; then
    # "0m0.223s 0m0.442s": the relay's user and system time.
    cpu[$key]+=" $(tail -n 1 "$work/socat.times" | awk '{ t = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] } printf "%.2f", t }')"
  fi
  if is_window "$path"; then
    [[ $(field client_sent "$work/driver.out") == "$size" || $(field server_sent "$work/driver.out") == "$size" ]] \
      || fail "the window's counters disagree: $(cat "$work/driver.out")"
    (($(field view_paints "$work/driver.out") > 0)) || fail "the views never painted: $(cat "$work/driver.out")"
    periods[$path]+=" $(field mean_gap_ms "$work/driver.out")"
    paints[$path]+=" $(field view_paints "$work/driver.out")"
    tick[$key]+=" $(field longest_tick_ms "$work/driver.out")"
    busy[$key]+=" $(field longest_working_tick_ms "$work/driver.out")"
    gap[$key]+=" $(field longest_gap_ms "$work/driver.out")"
    pass[$key]+=" $(field longest_pass_gap_ms "$work/driver.out")"
    wpass[$key]+=" $(field longest_working_pass_gap_ms "$work/driver.out")"
    held[$key]+=" $(awk -v c="$(field view_chars "$work/driver.out")" 'BEGIN { printf "%.1f", c / 1048576 }')"
    cpu[$key]+=" $(awk -v u="$(field user_s "$work/driver.out")" -v s="$(field sys_s "$work/driver.out")" 'BEGIN { printf "%.2f", u + s }')"
    if [[ $path == brindle && $setup == a11y ]]; then
      probe[$key]+=" $(field longest_ms "$work/probe.out")"
    fi
    rss[$key]+=" $(awk -v k="$(field peak_rss_kib "$work/driver.out")" 'BEGIN { printf "%.1f", k / 1024 }')"
  fi
  wait_free "$port_a"
  wait_free "$port_b"
}

# Runs of one case are spread over the whole run, so that a busy spell hits every path alike.
for ((rep = 1; rep <= reps; rep++)); do
  for kind in random text; do
    for direction in upload download; do
      for path in "${paths[@]}"; do
        echo "run $rep/$reps: $kind $direction $path" >&2
        transfer "$kind" "$direction" "$path"
      done
    done
  done
done

# Latency: one kept-open connection, each request timed to its whole reply.
declare -A latency
for path in socat "${windows[@]}"; do
  echo "latency: $path" >&2
  timeout "$limit" python3 "$peers" http-server "$port_b" &
  peer_pid=$!
  wait_listening "$port_b"
  start_relay "$path"
  timeout "$limit" python3 "$peers" http-client "$target" "$exchanges" >"$work/latency.out" || fail "the client failed"
  wait "$peer_pid" || fail "the server failed"
  stop_relay "$path"
  latency[$path]=$(cat "$work/latency.out")
  wait_free "$port_a"
  wait_free "$port_b"
done

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

rss_limit_mib=600
met=0
missed=0
# Sets v to the verdict on a condition awk evaluates, and counts it.
verdict() {
  if [[ $(awk "BEGIN { print ($1) }") == 1 ]]; then
    met=$((met + 1))
    v="met"
  else
    missed=$((missed + 1))
    v="MISSED"
  fi
}

case $setup in
  wine) window="Linux window offscreen (brindle); Windows build under $("$wine" --version) on Xvfb (wine)" ;;
  *) window=$setup ;;
esac
echo "Relay throughput: ${size_mib} MiB per transfer, median of $reps runs"
echo "MB/s: 10^6 bytes a second, from the start of the side that opens the conversation to the last byte's arrival"
echo "window: $window; $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); load average before $load_before, after $load_after"
echo
row() {
  printf '%-7s %-9s %-10s %8s  %-22s %7s %8s %8s %8s %8s %8s %8s %9s %6s %7s %9s\n' "$@"
}
row data direction path "MB/s" "runs" "x socat" "tick ms" "busy ms" "gap ms" "pass ms" "wpass ms" "RSS MiB" "view MiB" "CPU s" "CPU x" "reader ms"
summary=()
for kind in random text; do
  for direction in upload download; do
    for path in "${paths[@]}"; do
      key="$kind $direction $path"
      read -ra runs <<<"${mbps[$key]}"
      m=$(median "${runs[@]}")
      if is_window "$path"; then
        read -ra s <<<"${mbps[$kind $direction socat]}"
        ratio=$(awk -v b="$m" -v s="$(median "${s[@]}")" 'BEGIN { printf "%.2f", b / s }')
        read -ra t <<<"${tick[$key]}"
        read -ra w <<<"${busy[$key]}"
        read -ra g <<<"${gap[$key]}"
        read -ra r <<<"${rss[$key]}"
        read -ra c <<<"${cpu[$key]}"
        read -ra p <<<"${pass[$key]}"
        read -ra wp <<<"${wpass[$key]}"
        read -ra h <<<"${held[$key]}"
        longest=$(largest "${t[@]}")
        working=$(largest "${w[@]}")
        widest=$(largest "${g[@]}")
        stalled=$(largest "${p[@]}")
        working_stall=$(largest "${wp[@]}")
        peak=$(largest "${r[@]}")
        read -ra sc <<<"${cpu[$kind $direction socat]}"
        # Processor time per byte against socat's: both moved the same bytes.
        cpu_ratio=$(awk -v b="$(median "${c[@]}")" -v s="$(median "${sc[@]}")" 'BEGIN { printf "%.2f", b / s }')
        reader=""
        if [[ -n ${probe[$key]:-} ]]; then
          read -ra q <<<"${probe[$key]}"
          reader=$(largest "${q[@]}")
        fi
        row "$kind" "$direction" "$path" "$m" "${runs[*]}" \
          "$ratio" "$longest" "$working" "$widest" "$stalled" "$working_stall" "$peak" "$(largest "${h[@]}")" \
          "$(median "${c[@]}")" "$cpu_ratio" "$reader"
        if [[ $path == brindle ]]; then
          verdict "$ratio >= 0.8"
          line="$kind $direction: $m MB/s, ${ratio}x socat: $v"
          verdict "$cpu_ratio <= 1.5"
          line+="; CPU ${cpu_ratio}x socat's: $v"
          if [[ -n $reader ]]; then
            verdict "$reader <= 150"
            line+="; longest wait of the screen reader's probe $reader ms: $v"
          fi
          verdict "$working <= 150"
          line+="; longest tick less connect waits $working ms: $v"
          verdict "$working_stall <= 150"
          line+="; longest pass gap less connect waits $working_stall ms (with them $stalled ms): $v"
        else
          # The Windows build's targets: byte-exact (checked above), no tick over 200 ms but for
          # the connect poll's waits, and the same memory bound.
          line="$kind $direction under Wine: $m MB/s, ${ratio}x socat"
          verdict "$working <= 200"
          line+="; longest tick less connect waits $working ms (with them $longest ms): $v"
        fi
        verdict "$peak <= $rss_limit_mib"
        summary+=("$line; peak memory $peak MiB: $v")
      elif [[ $path == mitm-* ]]; then
        read -ra s <<<"${mbps[$kind $direction socat]}"
        row "$kind" "$direction" "$path" "$m" "${runs[*]}" "$(awk -v b="$m" -v s="$(median "${s[@]}")" 'BEGIN { printf "%.3f", b / s }')"
      elif [[ $path == socat ]]; then
        read -ra c <<<"${cpu[$key]}"
        row "$kind" "$direction" "$path" "$m" "${runs[*]}" "" "" "" "" "" "" "" "" "$(median "${c[@]}")"
      else
        row "$kind" "$direction" "$path" "$m" "${runs[*]}"
      fi
    done
  done
done
echo
echo "every transfer ($transfers) arrived whole: byte count and sha256 equal to the input's"
[[ " ${paths[*]} " == *" mitm-shown "* ]] \
  && echo "mitm-shown: mitmdump $(mitmdump --version 2>/dev/null | awk '/^Mitmproxy/ { print $2 }') showing contents, ${mitm_shown_mib} MiB a transfer; mitm-pass: passing through, ${size_mib} MiB"
echo "tick ms: longest poll tick of any run; busy ms: the same less the connect poll's waits inside it;"
echo "gap ms: longest time from one tick's start to the next's;"
echo "pass ms: longest time between two passes of the event loop (a notifier rung every 5 ms), any run;"
echo "wpass ms: the same less the connect poll's waits inside it (the Linux window only);"
echo "view MiB: characters the views hold at the end (capacity 256 MiB a view on Linux, 128 MiB on Windows);"
echo "RSS MiB: largest peak RSS (VmHWM; under Wine the peak working set) of any run;"
echo "CPU s: the relay's user + system CPU time, median (under Wine without the Wine server's); CPU x: the window's against socat's;"
echo "reader ms: longest wait of the screen reader's probe for a status line's text over the accessibility bus (a11y), any run"
for path in "${windows[@]}"; do
  read -ra d <<<"${periods[$path]}"
  read -ra q <<<"${paints[$path]}"
  echo "$path: timer, mean time from one tick's start to the next's: $(smallest "${d[@]}") to $(largest "${d[@]}") ms over its runs;" \
    "paints of the views in a run: $(smallest "${q[@]}") to $(largest "${q[@]}")"
done
echo
echo "Latency, $exchanges HTTP exchanges on one kept-open connection, a random 0-100 ms pause before each:"
for path in socat "${windows[@]}"; do
  printf '  %-8s %s\n' "$path" "${latency[$path]}"
done
echo
targets="brindle: >= 0.8x socat; CPU <= 1.5x socat's; tick less connect waits <= 150 ms; event-loop pass gap less connect waits <= 150 ms; RSS <= $rss_limit_mib MiB"
[[ $setup == a11y ]] && targets+="; screen reader's probe answered within 150 ms"
[[ $setup == wine ]] && targets+="; wine: tick less connect waits <= 200 ms; peak working set <= $rss_limit_mib MiB"
echo "Targets ($targets):"
printf '  %s\n' "${summary[@]}"
echo "  $met met, $missed missed"
