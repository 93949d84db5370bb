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
# bus (at-spi-bus-launcher) and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
#
# Knobs, for trials only: REPS (3), SIZE_MIB (1024), EXCHANGES (100), PORT_A (47101, where the
# relays listen), PORT_B (47102, the destination), INPUT_DIR (keeps the generated inputs there for
# the next run instead of deleting them), DRIVER (a driver built elsewhere, say from an older tree;
# nothing is built then).
set -euo pipefail
cd "$(dirname "$0")/.."

setup=${SETUP:-offscreen}
reps=${REPS:-3}
size_mib=${SIZE_MIB:-1024}
exchanges=${EXCHANGES:-100}
port_a=${PORT_A:-47101}
port_b=${PORT_B:-47102}
size=$((size_mib * 1024 * 1024))
peers=bench/relay_peers.py
driver=${DRIVER:-build/release/bench/relay_bench_driver}
# Longer than any sane transfer of SIZE_MIB; only a hang reaches it.
limit=$((60 + size_mib / 4))

# A fresh machine gets what the benchmark needs (socat, python3, ss, the build tools).
tools/install_deps.sh --tests
for tool in socat python3 ss cmake; do
  command -v "$tool" >/dev/null || { echo "relay_bench: $tool is missing (tools/install_deps.sh --tests)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/brindle-relay-bench.XXXXXX)
bus_pid=""
# Whatever this script started and still runs goes with it (only after a failure is there any).
cleanup() {
  local pid
  for pid in $(jobs -pr); do
    kill "$pid" 2>/dev/null || true
  done
  [[ -n $bus_pid ]] && kill "$bus_pid" 2>/dev/null
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

case $setup in
  offscreen)
    export QT_QPA_PLATFORM=offscreen
    ;;
  a11y)
    for tool in Xvfb dbus-daemon /usr/libexec/at-spi-bus-launcher; do
      command -v "$tool" >/dev/null || fail "SETUP=a11y needs $tool (xvfb, dbus, at-spi2-core)"
    done
    display=:$((90 + RANDOM % 400))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
    for ((i = 0; i < 100; i++)); do
      [[ -e /tmp/.X11-unix/X${display#:} ]] && break
      sleep 0.05
    done
    export DISPLAY=$display QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    read -r DBUS_SESSION_BUS_ADDRESS bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd' ')
    export DBUS_SESSION_BUS_ADDRESS
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null &
    sleep 1
    ;;
  *) fail "SETUP is offscreen or a11y, not $setup" ;;
esac

if [[ -z ${DRIVER:-} ]]; then
  echo "building (release)..." >&2
  cmake --preset release >/dev/null
  cmake --build build/release -j2 --target relay_bench_driver >/dev/null
fi
[[ -x $driver ]] || fail "no driver at $driver"

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
      timeout "$limit" socat TCP-LISTEN:"$port_a",reuseaddr TCP:127.0.0.1:"$port_b" &
      relay_pid=$!
      wait_listening "$port_a"
      target=$port_a
      ;;
    brindle)
      timeout "$limit" "$driver" "$port_a" "$port_b" >"$work/driver.out" 2>"$work/driver.err" &
      relay_pid=$!
      local i
      for ((i = 0; i < 200; i++)); do
        grep -q '^ready' "$work/driver.out" && break
        grep -q '^failed' "$work/driver.out" && fail "the window did not start listening: $(cat "$work/driver.out")"
        sleep 0.05
      done
      wait_listening "$port_a"
      target=$port_a
      ;;
  esac
}

# Brindle is told to stop once the receiver has seen the end; socat stops on its own.
stop_relay() {
  [[ -z $relay_pid ]] && return 0
  [[ $1 == brindle ]] && kill -TERM "$relay_pid"
  wait "$relay_pid" || fail "the $1 relay failed"
  relay_pid=""
}

check_received() {
  local got_bytes got_digest
  got_bytes=$(field bytes "$work/recv.out")
  got_digest=$(field sha256 "$work/recv.out")
  if [[ $got_bytes != "$size" || $got_digest != "${digest[$1]}" ]]; then
    fail "MISMATCH ($1 $2 $3): received ${got_bytes:-nothing} bytes, sha256 ${got_digest:-none}; sent $size, ${digest[$1]}"
  fi
}

# One transfer of one input in one direction along one path; appends MB/s and Brindle's figures.
declare -A mbps tick rss gap pass cpu held
periods=()
paints=()
transfers=0
transfer() {
  local kind=$1 direction=$2 path=$3 peer_pid start
  rm -f "$work/recv.out"
  if [[ $direction == upload ]]; then
    timeout "$limit" python3 "$peers" recv-listen "$port_b" >"$work/recv.out" &
    peer_pid=$!
    wait_listening "$port_b"
    start_relay "$path"
    start=$(date +%s.%N)
    timeout "$limit" socat -u FILE:"${input[$kind]}" TCP:127.0.0.1:"$target" || fail "the sender failed"
    wait "$peer_pid" || fail "the receiver failed"
  else
    timeout "$limit" socat -u FILE:"${input[$kind]}" TCP-LISTEN:"$port_b",reuseaddr &
    peer_pid=$!
    wait_listening "$port_b"
    start_relay "$path"
    timeout "$limit" python3 "$peers" recv-connect "$target" >"$work/recv.out" || fail "the receiver failed"
    start=$(field opened "$work/recv.out")
    wait "$peer_pid" || fail "the sender failed"
  fi
  stop_relay "$path"
  check_received "$kind" "$direction" "$path"
  transfers=$((transfers + 1))
  local key="$kind $direction $path"
  mbps[$key]+=" $(awk -v b="$size" -v s="$start" -v e="$(field end "$work/recv.out")" 'BEGIN { printf "%.1f", b / (e - s) / 1e6 }')"
  if [[ $path == brindle ]]; then
    [[ $(field client_sent "$work/driver.out") == "$size" || $(field server_sent "$work/driver.out") == "$size" ]] \
      || fail "the window's counters disagree: $(cat "$work/driver.out")"
    (($(field view_paints "$work/driver.out") > 0)) || fail "the views never painted: $(cat "$work/driver.out")"
    periods+=("$(field mean_gap_ms "$work/driver.out")")
    paints+=("$(field view_paints "$work/driver.out")")
    tick[$key]+=" $(field longest_tick_ms "$work/driver.out")"
    gap[$key]+=" $(field longest_gap_ms "$work/driver.out")"
    pass[$key]+=" $(field longest_pass_gap_ms "$work/driver.out")"
    held[$key]+=" $(awk -v c="$(field view_chars "$work/driver.out")" 'BEGIN { printf "%.1f", c / 1048576 }')"
    cpu[$key]+=" $(awk -v u="$(field user_s "$work/driver.out")" -v s="$(field sys_s "$work/driver.out")" 'BEGIN { printf "%.2f", u + s }')"
    rss[$key]+=" $(awk -v k="$(field peak_rss_kib "$work/driver.out")" 'BEGIN { printf "%.1f", k / 1024 }')"
  fi
  wait_free "$port_a"
  wait_free "$port_b"
}

# Runs of one case are spread over the whole run, so that a busy spell hits every path alike.
for ((rep = 1; rep <= reps; rep++)); do
  for kind in random text; do
    for direction in upload download; do
      for path in direct socat brindle; do
        echo "run $rep/$reps: $kind $direction $path" >&2
        transfer "$kind" "$direction" "$path"
      done
    done
  done
done

# Latency: one kept-open connection, each request timed to its whole reply.
declare -A latency
for path in socat brindle; do
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

echo "Relay throughput: ${size_mib} MiB per transfer, median of $reps runs"
echo "MB/s: 10^6 bytes a second, from the start of the side that opens the conversation to the last byte's arrival"
echo "window: $setup; $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); load average before $load_before, after $load_after"
echo
printf '%-7s %-9s %-8s %8s  %-22s %7s %8s %8s %8s %8s %9s %6s\n' data direction path "MB/s" "runs" "x socat" "tick ms" "gap ms" "pass ms" "RSS MiB" "view MiB" "CPU s"
summary=()
for kind in random text; do
  for direction in upload download; do
    for path in direct socat brindle; do
      key="$kind $direction $path"
      read -ra runs <<<"${mbps[$key]}"
      m=$(median "${runs[@]}")
      if [[ $path == brindle ]]; then
        read -ra s <<<"${mbps[$kind $direction socat]}"
        ratio=$(awk -v b="$m" -v s="$(median "${s[@]}")" 'BEGIN { printf "%.2f", b / s }')
        read -ra t <<<"${tick[$key]}"
        read -ra g <<<"${gap[$key]}"
        read -ra r <<<"${rss[$key]}"
        read -ra c <<<"${cpu[$key]}"
        read -ra p <<<"${pass[$key]}"
        read -ra h <<<"${held[$key]}"
        longest=$(largest "${t[@]}")
        widest=$(largest "${g[@]}")
        stalled=$(largest "${p[@]}")
        peak=$(largest "${r[@]}")
        printf '%-7s %-9s %-8s %8s  %-22s %7s %8s %8s %8s %8s %9s %6s\n' "$kind" "$direction" "$path" "$m" "${runs[*]}" \
          "$ratio" "$longest" "$widest" "$stalled" "$peak" "$(largest "${h[@]}")" "$(median "${c[@]}")"
        verdict "$ratio >= 0.5"
        line="$kind $direction: $m MB/s, ${ratio}x socat: $v"
        verdict "$longest <= 150"
        line+="; longest tick $longest ms: $v"
        verdict "$stalled <= 200"
        line+="; longest pass gap $stalled ms: $v"
        verdict "$peak <= $rss_limit_mib"
        summary+=("$line; peak RSS $peak MiB: $v")
      else
        printf '%-7s %-9s %-8s %8s  %-22s\n' "$kind" "$direction" "$path" "$m" "${runs[*]}"
      fi
    done
  done
done
echo
echo "every transfer ($transfers) arrived whole: byte count and sha256 equal to the input's"
echo "tick ms: longest poll tick of any run; gap ms: longest time from one tick's start to the next's;"
echo "pass ms: longest time between two passes of the event loop (a 10 ms timer's shots), any run;"
echo "view MiB: characters the views hold at the end (capacity 256 MiB);"
echo "RSS MiB: largest peak RSS (VmHWM) of any run; CPU s: the window's user + system CPU time, median"
echo "Brindle's timer, mean time from one tick's start to the next's: $(smallest "${periods[@]}") to $(largest "${periods[@]}") ms over its runs"
echo "paints of Brindle's views in a run: $(smallest "${paints[@]}") to $(largest "${paints[@]}")"
echo
echo "Latency, $exchanges HTTP exchanges on one kept-open connection, a random 0-100 ms pause before each:"
for path in socat brindle; do
  printf '  %-8s %s\n' "$path" "${latency[$path]}"
done
echo
echo "Targets (>= 0.5x socat; tick <= 150 ms; event-loop pass gap <= 200 ms; RSS <= $rss_limit_mib MiB):"
printf '  %s\n' "${summary[@]}"
echo "  $met met, $missed missed"
