#!/usr/bin/env bash
# What an update costs, measured on a full installation where every target
# exists (not a timed test: it prints figures). Usage: tools/bench/run_bench.sh [runs]
#  - the whole update of all three components, from "Actualizar" to the report,
#    against a floor measured in the same run by a plain program doing only the
#    unavoidable work (inflate and write the same payloads, copy and delete the
#    same backups, put each backup and each written file on the disk); the
#    median ratio over the runs, and what those flushes add to the floor;
#  - the time from process start to the dialog being ready;
#  - the peak memory of an update of one, two and three components;
#  - the executable's size against the payloads' total.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-7}

if [ "${PATCH_IN_XVFB:-}" != 1 ]; then
  "$here/tools/setup.sh" >/dev/null
  PATCH_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

source "$here/tools/wine-env.sh"
wine_prefix_init "$here/build/wine-bench"
wine_unmanaged_windows
# Wine's own visual theme draws a themed progress bar at some 20 ms a step on
# this kind of machine (21 steps in an update of all three components), a
# cost of Wine's theme engine that a Windows machine does not have; with it,
# the figures say little about the updater. The bench therefore runs with
# Wine's theme off (the classic look) unless BENCH_WINE_THEME=on.
theme_active=0
[ "${BENCH_WINE_THEME:-off}" = on ] && theme_active=1
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d "$theme_active" /f \
  >/dev/null 2>&1
echo "Wine's visual theme: $([ "$theme_active" = 1 ] && echo on || echo off)"
trap 'wine_prefix_stop; rm -rf "$root_unix"' EXIT
bench="$here/build/tools/bench/bench_update.exe"
demo="$here/build/tools/demo/demo_install.exe"
updater="$here/build/Patch_Veltris5v13.exe"
# The installation lives in memory (/dev/shm, drive Z: under Wine) unless
# BENCH_ROOT names another folder: in memory a flush costs nothing, so only a
# run on the machine's disk (say BENCH_ROOT=/var/tmp/patch-bench) shows what
# putting the files on the disk costs.
root_unix=${BENCH_ROOT:-/dev/shm/patch-bench}
root="Z:${root_unix//\//\\}"
echo "installation: $root_unix ($(df --output=source,fstype "$(dirname "$root_unix")" | tail -1))"

fresh_install() {
  rm -rf "$root_unix"
  # The demo installer is a 32-bit program: its records are in the 32-bit view.
  wine reg delete 'HKLM\Software\Veltris5' /f /reg:32 >/dev/null 2>&1 || true
  wine "$demo" create "$root" >/dev/null
  # The installation's own writes reach the disk before the clock starts.
  sync
}
ms() { tr -d '\r' | awk '{print $2}'; }
peak() { tr -d '\r' | awk '{print $5}'; }

ratios=(); updates=(); floors=(); unflushed=()
for i in $(seq "$runs"); do
  fresh_install; u=$(wine "$bench" update 3 | ms)
  fresh_install; f=$(wine "$bench" floor "$root" | ms)
  fresh_install; n=$(wine "$bench" floor "$root" unflushed | ms)
  r=$(awk -v u="$u" -v f="$f" 'BEGIN{printf "%.3f", u/f}')
  ratios+=("$r"); updates+=("$u"); floors+=("$f"); unflushed+=("$n")
  echo "run $i: update ${u} ms, floor ${f} ms, ratio $r (floor without flushes ${n} ms)"
done
median_of() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
median=$(median_of "${ratios[@]}")
update_median=$(median_of "${updates[@]}")
floor_median=$(median_of "${floors[@]}")
unflushed_median=$(median_of "${unflushed[@]}")

starts=()
for i in $(seq "$runs"); do
  fresh_install
  # Only the professional component, so no warning stands before the dialog.
  wine reg delete 'HKLM\Software\Veltris5\Publico' /f /reg:32 >/dev/null 2>&1
  wine reg delete 'HKLM\Software\Veltris5\Administracao' /f /reg:32 >/dev/null 2>&1
  starts+=("$(wine "$bench" startup "$(winepath -w "$updater")" | ms)")
done
start_median=$(median_of "${starts[@]}")

peaks=()
for n in 1 2 3; do fresh_install; peaks+=("$(wine "$bench" update "$n" | peak)"); done
fresh_install; floor_peak=$(wine "$bench" floor "$root" | peak)

exe_size=$(stat -c %s "$updater")
payload_total=$(cat "$here"/resources/payloads/*.gz | wc -c)
echo
echo "median ratio update/floor over $runs runs: $median (medians: update ${update_median} ms, floor ${floor_median} ms)"
echo "ratios: min $(printf '%s\n' "${ratios[@]}" | sort -n | head -1), max $(printf '%s\n' "${ratios[@]}" | sort -n | tail -1)"
echo "the flushes add to the floor: $(awk -v f="$floor_median" -v n="$unflushed_median" 'BEGIN{printf "%.1f", f-n}') ms (median floor ${floor_median} ms against ${unflushed_median} ms without them)"
echo "start to dialog ready (median): ${start_median} ms"
echo "peak working set: 1 component $((peaks[0]/1024)) KiB, 2 components $((peaks[1]/1024)) KiB, 3 components $((peaks[2]/1024)) KiB (floor program $((floor_peak/1024)) KiB)"
echo "executable ${exe_size} bytes, payloads ${payload_total} bytes ($(awk -v e="$exe_size" -v p="$payload_total" 'BEGIN{printf "%.1f", 100*p/e}')% of the executable)"
