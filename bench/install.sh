#!/usr/bin/env bash
# Time of a whole installation under Wine, side by side with two references
# measured in the same run. A 512 MiB ISO image (vmlinuz, initrd.gz and six
# .sfs of random data) is installed onto the folder drive E: with the real
# 7-Zip and the stand-in chkdsk and syslinux, by
#   - the installer as built from this tree, which waits on the extracting
#     child with a time-out ("wait on child"),
#   - a copy of it whose wait is a fixed Sleep(250) ("Sleep(250)"),
#   - the installer built with KAVEL_NO_READ_BACK ("unverified"), which does
#     not read the written files back: what the read-back costs is the
#     installer's time over this one's,
#   - A: bench/install/child_sequence.cpp, the same children with the same
#     command lines and start-up flags, one after the other, and nothing else:
#     the least any run of this design can cost,
#   - B: one "7z x" of the same files into the same folder, as by hand.
# Installer time runs from pressing Start to the Close button, which the
# driver sees in the system's copy of the button's label, without a message
# to the installer. Each figure is the median of RUNS runs (default 3); the
# four kinds take turns, in a rotating order, after one untimed warm-up
# installation. To show where a difference to A lies, it prints how long the
# child processes ran and how long each waited for the next one to be
# started: the mean, and the median and largest of all such gaps pooled over
# the runs, and the installer's time before its first child and after its
# last. A gap is measured from the exit time of one child process to the
# creation time of the next, both as the system keeps them for the process
# (GetProcessTimes on a handle the driver opens as the system reports the
# child's start to the job it has put the installer in; under Wine the
# server stamps both); a run in which a child was missed counts for neither.
# The boot-loader set-up, which A does not do, is the time from the last 7z
# child's end to the Close button. Each round also installs once more with
# each installer, untimed, reading the log and the bar every 20 ms, for how
# often the bar moved per second while a file over 50 MiB was extracted: that
# reading made a timed run some 15 % slower.
# On a virtual machine that gives freed memory back to its host (Linux's free
# page reporting), the first write into such memory is a fault on the host:
# 400 MiB written into the page cache took 0.09-0.12 s into memory freed a
# moment before and 1.06-1.29 s into memory given back. Every run here
# writes 512 MiB over files the run before deleted, and which of its writes
# hit given-back memory depends on when it runs, so a kind that starts its
# writes later pays more. Where the kernel lets it (min_free_ms of the
# page_reporting module), the bench keeps freed memory for a minute before it
# is given back, for as long as it runs; it says so, or says that it could
# not. The last lines are the ratios of the installer as built, and its median
# and largest gap, for other scripts to read.
#
#   bench/install.sh [RUNS]
#
# The build folders build/bench/install/{wait,sleep,sleep-src} are kept, so a
# later run only rebuilds what changed; everything else lives in a temporary
# folder that goes, with every process started here, when the script ends.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
runs=${1:-3}
builds=$source_dir/build/bench/install
sevenzip=/opt/kavel-setup/7zip
started=$(date +%s)

missing=0
for tool in cmake make i686-w64-mingw32-g++-posix wine wineserver Xvfb xorriso gnulib-tool; do
  command -v "$tool" >/dev/null 2>&1 || missing=1
done
[ -f "$sevenzip/7z.exe" ] && [ -f "$sevenzip/7z.dll" ] || missing=1
locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$' || missing=1
if [ "$missing" = 1 ]; then
  "$source_dir/scripts/install-deps.sh" >&2
fi

work=$(mktemp -d /tmp/kavel-install-bench.XXXXXX)
env_dir=$work/wine
build_pids=()
reporting=/sys/module/page_reporting/parameters
reporting_was= # min_free_ms as found, while the bench holds it
cleanup() {
  for pid in "${build_pids[@]}"; do
    kill -- "-$pid" 2>/dev/null || true
  done
  "$source_dir/tests/wine/env-down.sh" "$env_dir" >/dev/null 2>&1 || true
  rm -rf "$work"
  [ -z "$reporting_was" ] || { echo "$reporting_was" >"$reporting/min_free_ms"; } 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Freed memory that goes back to the host at once makes every run's writes
# slow by chance (see above); held a minute, a run writes into memory the run
# before it freed.
hold_ms=60000
memory_note=
if [ -d "$reporting" ]; then
  found=$(cat "$reporting/min_free_ms" 2>/dev/null || true)
  if [ -z "$found" ]; then
    memory_note="this machine gives freed memory back to its host, and the bench cannot hold it: the figures vary with when each run writes"
  elif [ "$found" -ge "$hold_ms" ]; then
    memory_note="freed memory goes back to the host after $found ms"
  elif { echo "$hold_ms" >"$reporting/min_free_ms"; } 2>/dev/null; then
    reporting_was=$found
    memory_note="freed memory goes back to the host after $found ms; held $hold_ms ms while the bench runs"
  else
    memory_note="freed memory goes back to the host after $found ms, and the bench cannot change that (min_free_ms of the page_reporting module): the figures vary with when each run writes"
  fi
fi

fail() {
  echo "install bench: $*" >&2
  exit 1
}

# ---- Builds: the installer from the tree, and the copy with the fixed sleep.
mkdir -p "$builds"
rm -rf "$builds/sleep-src"
mkdir -p "$builds/sleep-src"
# Times kept, so that the copy's build folder rebuilds only what changed.
tar -C "$source_dir" --exclude=./build --exclude=./.git --exclude=./dist -cf - . |
  tar -C "$builds/sleep-src" -xf -
worker=$builds/sleep-src/install/install_worker.cpp
wait_line='^        bool ended = wait_child(&child, POLL_MS) == 1;$'
[ "$(grep -c "$wait_line" "$worker")" = 1 ] ||
  fail "install/install_worker.cpp no longer has the one wait_child(&child, POLL_MS) line"
# The copy sleeps the whole period and never sees the child end early.
sed -i "s/$wait_line/        Sleep(POLL_MS); bool ended = false;/" "$worker"
[ "$(grep -c '^        Sleep(POLL_MS); bool ended = false;$' "$worker")" = 1 ] ||
  fail "patching the copy failed"

build_variant() { # source build targets...
  local src=$1 bld=$2
  shift 2
  cd "$src" && cmake --preset win32 -B "$bld" && cmake --build "$bld" --target "$@" -j2
}
export -f build_variant
# Own process groups, so that cleanup can end a build with all its children.
setsid bash -c 'build_variant "$@"' build "$source_dir" "$builds/wait" \
  kavel-setup stand_in_chkdsk stand_in_syslinux >"$work/build-wait.log" 2>&1 &
build_pids+=($!)
setsid bash -c 'build_variant "$@"' build "$builds/sleep-src" "$builds/sleep" kavel-setup \
  >"$work/build-sleep.log" 2>&1 &
build_pids+=($!)
build_unverified() {
  cd "$1" && cmake --preset win32 -B "$2" -DCMAKE_CXX_FLAGS=-DKAVEL_NO_READ_BACK &&
    cmake --build "$2" --target kavel-setup -j2
}
export -f build_unverified
setsid bash -c 'build_unverified "$@"' build "$source_dir" "$builds/unverified" \
  >"$work/build-unverified.log" 2>&1 &
build_pids+=($!)

mingw() { i686-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -static "$@"; }
mkdir -p "$work/tools"
support=$source_dir/tests/support
mingw -I"$support" -I"$source_dir" "$here/install/install_driver.cpp" \
  "$support/installer_session.cpp" "$support/ui_driver.cpp" -lntdll -o "$work/tools/install_driver.exe"
# A GUI program, as the installer is: each console child gets its own console.
mingw -mwindows "$here/install/child_sequence.cpp" -o "$work/tools/child_sequence.exe"

# ---- The Wine environment and the image (while the builds run).
"$source_dir/tests/wine/env-up.sh" "$env_dir" >"$work/env-up.log" 2>&1 ||
  { cat "$work/env-up.log" >&2; fail "the Wine environment did not come up"; }
export KAVEL_WINE_DIR=$env_dir

mib=1048576
names=(vmlinuz initrd.gz 01-core.sfs 02-desktop.sfs 03-office.sfs 04-devel.sfs 05-apps.sfs
  06-locale.sfs)
sizes=($((6 * mib - 4096)) $((26 * mib + 4096)) $((160 * mib + 1234)) $((120 * mib - 1234))
  $((80 * mib + 777)) $((60 * mib - 777)) $((40 * mib + 99)) $((20 * mib - 99)))
mkdir -p "$work/iso-root"
total=0
watched=()
for i in "${!names[@]}"; do
  head -c "${sizes[$i]}" /dev/urandom >"$work/iso-root/${names[$i]}"
  total=$((total + sizes[i]))
  [ "${sizes[$i]}" -gt $((50 * mib)) ] && watched+=("${names[$i]}")
done
image=$env_dir/drives/f/kavel.iso
xorriso -as mkisofs -R -J -quiet -o "$image" "$work/iso-root" 2>"$work/xorriso.log" ||
  { cat "$work/xorriso.log" >&2; fail "xorriso failed"; }
image_win='F:\kavel.iso'
# The order of the listing, in which the installer extracts: the image's, by name.
mapfile -t listed < <(printf '%s\n' "${names[@]}" | LC_ALL=C sort)
target=$env_dir/drives/e

build_names=(wait sleep unverified)
for i in 0 1 2; do
  wait "${build_pids[$i]}" || {
    log=$work/build-${build_names[$i]}.log
    tail -30 "$log" >&2
    fail "build failed ($log)"
  }
done
build_pids=()

# ---- One folder per installer, as a user has it, and one for reference A.
# The installers take chkdsk from the system folder; reference A, which starts
# it by name, finds the copy beside itself.
"$source_dir/tests/wine/put-stand-in-chkdsk.sh" "$env_dir" \
  "$builds/wait/tests/stand_ins/stand_in_chkdsk.exe" >/dev/null
kit() { # folder [installer.exe]
  mkdir -p "$1"
  [ -z "${2:-}" ] || cp "$2" "$1/kavel-setup.exe"
  cp "$sevenzip/7z.exe" "$sevenzip/7z.dll" "$1/"
  [ -n "${2:-}" ] || cp "$builds/wait/tests/stand_ins/stand_in_chkdsk.exe" "$1/chkdsk.exe"
  cp "$builds/wait/tests/stand_ins/stand_in_syslinux.exe" "$1/syslinux.exe"
  cp "$source_dir/resources/syslinux.cfg" "$1/"
}
kit "$work/kit-wait" "$builds/wait/kavel-setup.exe"
kit "$work/kit-sleep" "$builds/sleep/kavel-setup.exe"
kit "$work/kit-unverified" "$builds/unverified/kavel-setup.exe"
kit "$work/kit-ref"
cp "$work/tools/child_sequence.exe" "$work/kit-ref/"

win_path() { printf 'Z:%s' "${1//\//\\}"; }

# Each program's output goes to a file: Wine's helper processes would hold a pipe open.
wine_in() { # folder program args...
  local folder=$1
  shift
  (cd "$folder" && "$source_dir/tests/wine/wine-run" "$@" >"$work/out.txt" 2>>"$work/wine.log") ||
    true
  # The driver's texts are in the prefix's code page.
  iconv -f gbk -t utf-8 -c <"$work/out.txt" | tr -d '\r'
}

empty_target() {
  rm -rf "$target/kavel" "$target/syslinux.cfg"
  # The last run's writes are not left to the next one.
  sync
}

check_target() { # label compare-contents
  local i got
  for i in "${!names[@]}"; do
    got=$(stat -c %s "$target/kavel/${names[$i]}" 2>/dev/null || echo missing)
    [ "$got" = "${sizes[$i]}" ] || fail "$1: ${names[$i]} is $got bytes, not ${sizes[$i]}"
    if [ "$2" = 1 ]; then
      cmp -s "$target/kavel/${names[$i]}" "$work/iso-root/${names[$i]}" ||
        fail "$1: ${names[$i]} differs from the image's"
    fi
  done
  [ "$(find "$target/kavel" -mindepth 1 | wc -l)" = "${#names[@]}" ] || fail "$1: more files than the image's"
}

# One timed run; prints "SECONDS CHILDREN BUSY GAPS GAP_MS...": the child
# processes seen, the seconds they ran, the seconds between one's end and the
# next one's start, and each of those gaps in milliseconds.
run_kind() { # kind
  local out seconds
  case $1 in
    wait | sleep | unverified)
      out=$(wine_in "$work/kit-$1" "$work/tools/install_driver.exe" install \
        "$(win_path "$work/kit-$1/kavel-setup.exe")" "$image_win")
      grep -q '^install_s ' <<<"$out" || fail "$1 installer: $out"
      awk '$1 == "edges_ms" {print $2, $3, $4}' <<<"$out" >>"$work/edges-$1"
      awk '$1 == "gaps_ms" {$1 = ""; gaps = $0; next}
        {v[$1] = $2; w[$1] = $3; x[$1] = $4}
        END {print v["install_s"], v["children"], w["children"], x["children"] gaps}' <<<"$out"
      ;;
    seq | x)
      rm -f "$work/kit-ref/result.txt"
      local names_for=()
      [ "$1" = seq ] && names_for=("${listed[@]}")
      out=$(wine_in "$work/kit-ref" "$work/tools/install_driver.exe" run \
        "$(win_path "$work/kit-ref/child_sequence.exe")" result.txt "$1" "$image_win" E \
        "${names_for[@]}")
      seconds=$(tr -d '\r' <"$work/kit-ref/result.txt" 2>/dev/null || true)
      grep -Eq '^[0-9.]+$' <<<"$seconds" || fail "reference $1: $out $seconds"
      awk -v s="$seconds" '$1 == "gaps_ms" {$1 = ""; gaps = $0}
        $1 == "children" {c = $2 " " $3 " " $4}
        END {print s, c gaps}' <<<"$out"
      ;;
  esac
}

# One watched, untimed run of an installer; prints "MOVES SPAN": the bar's
# moves and the seconds watched.
watch_kind() { # wait|sleep
  local out
  out=$(wine_in "$work/kit-$1" "$work/tools/install_driver.exe" watch \
    "$(win_path "$work/kit-$1/kavel-setup.exe")" "$image_win" "${watched[@]}")
  grep -q '^bar_moves ' <<<"$out" || fail "$1 installer, watched: $out"
  awk '$1 == "bar_moves" {print $2, $3}' <<<"$out"
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {
  if (NR % 2) printf "%.3f\n", v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f\n", a / b}'; }

printf 'image: %d files, %.1f MiB, on F:; target E: (removable, a folder on the host)\n' \
  "${#names[@]}" "$(awk -v t="$total" 'BEGIN {print t / 1048576}')"
printf 'bar watched during: %s\n' "${watched[*]}"
# Other work on the machine shows in every figure.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
[ -z "$memory_note" ] || echo "memory: $memory_note"

empty_target
run_kind wait >/dev/null
rm -f "$work/edges-wait" # the warm-up's
check_target "warm-up installation" 1

declare -A seconds moves span round busy gap each_gap
# Child processes of one run, when none is missed: 7z l, chkdsk, one 7z e per
# file, and syslinux; the installers that read back add one 7z t.
expected_children=$((${#names[@]} + 3))
kinds=(wait sleep unverified seq x)
for ((r = 0; r < runs; r++)); do
  line="run $((r + 1)):"
  for ((k = 0; k < ${#kinds[@]}; k++)); do
    kind=${kinds[$(((k + r) % ${#kinds[@]}))]}
    empty_target
    result=$(run_kind "$kind")
    read -r s n u g gaps_ms <<<"$result"
    check_target "$kind run $((r + 1))" "$([ "$r" = 0 ] && echo 1 || echo 0)"
    seconds[$kind]="${seconds[$kind]:-} $s"
    want=$expected_children
    [ "$kind" != x ] || want=1
    [ "$kind" != wait ] && [ "$kind" != sleep ] || want=$((expected_children + 1))
    if [ "$n" = "$want" ]; then
      busy[$kind]="${busy[$kind]:-} $u"
      if [ "$n" -gt 1 ]; then
        gap[$kind]="${gap[$kind]:-} $(awk -v g="$g" -v n="$n" 'BEGIN {print g / (n - 1) * 1000}')"
        each_gap[$kind]="${each_gap[$kind]:-} $gaps_ms"
      fi
    fi
    line="$line  $kind $s s"
    round[$kind]=$s
  done
  echo "$line  (this run's installer/A: wait $(ratio "${round[wait]}" "${round[seq]}"), sleep $(ratio "${round[sleep]}" "${round[seq]}"))"
  for kind in wait sleep; do
    empty_target
    read -r m t <<<"$(watch_kind "$kind")"
    check_target "$kind watched run $((r + 1))" 0
    moves[$kind]=$((${moves[$kind]:-0} + m))
    span[$kind]=$(awk -v a="${span[$kind]:-0}" -v b="$t" 'BEGIN {print a + b}')
  done
done
empty_target

# shellcheck disable=SC2086
{
  m_wait=$(median ${seconds[wait]})
  m_sleep=$(median ${seconds[sleep]})
  m_unverified=$(median ${seconds[unverified]})
  m_seq=$(median ${seconds[seq]})
  m_x=$(median ${seconds[x]})
}
rate() { awk -v n="${moves[$1]}" -v t="${span[$1]}" 'BEGIN {printf "%.2f/s (%d moves in %.2f s)", n / t, n, t}'; }
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo "medians of $runs runs, seconds (installer: pressing Start to the Close button; A, B: first start to last end)"
# The median of one column of a kind's edges_ms lines, in milliseconds; fails
# when the kind has none.
edge_median() { # kind column
  [ -s "$work/edges-$1" ] || return 1
  # shellcheck disable=SC2046
  median $(cut -d' ' -f"$2" "$work/edges-$1")
}
# From the last 7z child's end to the Close button, in seconds.
boot_setup() { # kind
  local ms
  if ms=$(edge_median "$1" 3); then
    awk -v ms="$ms" 'BEGIN {printf "%.3f", ms / 1000}'
  else
    echo "n/a"
  fi
}
printf '  installer, wait on child   %7.3f  (of which the boot-loader set-up, which A does not do: %s)\n' \
  "$m_wait" "$(boot_setup wait)"
printf '  installer, Sleep(250)      %7.3f  (of which the boot-loader set-up, which A does not do: %s)\n' \
  "$m_sleep" "$(boot_setup sleep)"
printf '  installer, no read-back    %7.3f\n' "$m_unverified"
printf '  A, the bare child sequence %7.3f\n' "$m_seq"
printf '  B, one 7z x                %7.3f\n' "$m_x"
echo "wait on child: install/A $(ratio "$m_wait" "$m_seq")  install/B $(ratio "$m_wait" "$m_x")"
echo "Sleep(250):    install/A $(ratio "$m_sleep" "$m_seq")  install/B $(ratio "$m_sleep" "$m_x")"
echo "bar moves while a file over 50 MiB is extracted (watched runs): wait on child $(rate wait), Sleep(250) $(rate sleep)"
# Where the difference to A lies: in the children themselves, or between them.
# Medians over the runs in which every child was seen.
sampled() { # kind array-name printf-format
  local -n values=$2
  # shellcheck disable=SC2086,SC2059
  if [ -n "${values[$1]:-}" ]; then printf "$3" "$(median ${values[$1]})"; else echo "n/a"; fi
}
echo "time the children ran, summed (s): installer wait $(sampled wait busy %.2f)," \
  "Sleep(250) $(sampled sleep busy %.2f), A $(sampled seq busy %.2f), B $(sampled x busy %.2f)"
echo "from one child's end to the next one's start, mean (ms): installer wait" \
  "$(sampled wait gap %.0f), Sleep(250) $(sampled sleep gap %.0f), A $(sampled seq gap %.0f)"
# Every gap of those runs, pooled: 10 per run, in the installer and in A.
gap_spread() { # kind
  # shellcheck disable=SC2086
  if [ -n "${each_gap[$1]:-}" ]; then
    printf 'median %.1f, largest %.1f (%d gaps)' "$(median ${each_gap[$1]})" \
      "$(printf '%s\n' ${each_gap[$1]} | sort -g | tail -1)" "$(wc -w <<<"${each_gap[$1]}")"
  else
    echo "n/a"
  fi
}
echo "gap between children (ms): installer wait $(gap_spread wait)"
echo "                           Sleep(250)     $(gap_spread sleep)"
echo "                           A              $(gap_spread seq)"
# What the installer spends before its first child and after its last one
# (the dialog opening, the boot files, the last log lines); A has neither.
edges() { # kind
  if [ -s "$work/edges-$1" ]; then
    printf 'Start to first child %.1f, last child to Close %.1f' \
      "$(edge_median "$1" 1)" "$(edge_median "$1" 2)"
  else
    echo "n/a"
  fi
}
echo "installer's edges, medians (ms): wait on child: $(edges wait); Sleep(250): $(edges sleep)"
# What reading every file back costs, over the same installer without it.
spread() { # kind
  # shellcheck disable=SC2086
  printf '%s\n' ${seconds[$1]} | sort -g | awk '{v[NR] = $1} END {printf "%.3f-%.3f", v[1], v[NR]}'
}
echo "read-back: installer/no read-back $(ratio "$m_wait" "$m_unverified")," \
  "costing $(awk -v a="$m_wait" -v b="$m_unverified" 'BEGIN {printf "%.0f", (a / b - 1) * 100}') %" \
  "of the run without it (runs: with $(spread wait) s, without $(spread unverified) s)"
echo "(bench took $(($(date +%s) - started)) s)"
echo "install/sequence ratio: $(ratio "$m_wait" "$m_seq")"
echo "install/7z-x ratio: $(ratio "$m_wait" "$m_x")"
# shellcheck disable=SC2086
if [ -n "${each_gap[wait]:-}" ]; then
  echo "installer gap median/largest (ms): $(median ${each_gap[wait]}) $(printf '%s\n' ${each_gap[wait]} | sort -g | tail -1)"
fi
