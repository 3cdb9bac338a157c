#!/usr/bin/env bash
# Measures what vexlo costs and prints a table. Not a test: run it by hand.
#
#   bash bench/run.sh [SCRATCH_DIR]
#
# Builds the Release preset, then measures in a private directory that it
# creates inside SCRATCH_DIR (default /var/tmp, on disk like a build's
# output) and removes when it exits; nothing else there is touched. At its
# peak it holds about 800 MB (a 300 MB palette, its 200 MB conversion and a
# 300 MB copy).
#   1. user-space instructions per input byte (valgrind callgrind, 3 MB input)
#   2. start-up: instructions for a 768-byte palette against a do-nothing
#      program built by the same compiler
#   3. wall time converting a cached 300 MB palette against dd copying it
#      (median ratio of nine alternating pairs), and the CPU time of the
#      same runs, user and system apart (the system time is the kernel
#      copying the blocks: an unaligned buffer shows there)
#   4. write system calls per 192 KiB input block converting that palette
#      (strace), against the one a block needs
#   5. peak resident memory for 1 GiB through a pipe against 768 bytes
#   6. a 4.5 GB input from a pipe gives exactly 2 x (n / 3) output bytes
#   7. CPU time converting a 9 MB JASC-PAL palette against wc -w counting
#      its words (median ratio of five alternating pairs)
set -euo pipefail
# A relative SCRATCH_DIR is relative to where the script was started.
scratch_parent=$(realpath -m -- "${1:-/var/tmp}")
cd "$(dirname "$0")/.."

for tool in valgrind /usr/bin/time strace; do
  command -v "$tool" >/dev/null || {
    echo "needs $tool: apt-get install valgrind time strace"
    exit 1
  }
done

cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
vexlo=$PWD/build/default/app/vexlo
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/default/CMakeCache.txt)

mkdir -p -- "$scratch_parent"
scratch=$(mktemp -d "$scratch_parent/vexlo-bench.XXXXXX")
trap 'rm -rf -- "$scratch"' EXIT
cd "$scratch"

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : //p'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
now_ns() { date +%s%N; }

head -c 768 /dev/urandom >small.pal
head -c 3000000 /dev/urandom >random3m.pal
printf 'int main(void) { return 0; }\n' >nothing.cpp
"$compiler" -O2 nothing.cpp -o nothing

# 1 and 2
small_ir=$(instructions "$vexlo" small.pal small.gba)
large_ir=$(instructions "$vexlo" random3m.pal random3m.gba)
nothing_ir=$(instructions ./nothing)
per_byte=$(awk -v l="$large_ir" 'BEGIN { printf "%.3f", l / 3000000 }')
per_byte_loop=$(awk -v l="$large_ir" -v s="$small_ir" 'BEGIN { printf "%.3f", (l - s) / (3000000 - 768) }')

# 3: the input is read once first so that both sides find it cached.
head -c 300000000 /dev/urandom >large.pal
cat large.pal >/dev/null
# User and system CPU milliseconds of a command, as "USER SYS".
cpu_split_ms() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%d %d\n", $1 * 1000, $2 * 1000 }'
}
ratios=()
cpu_ratios=()
for _ in 1 2 3 4 5 6 7 8 9; do
  start=$(now_ns)
  read -r vexlo_user vexlo_sys < <(cpu_split_ms "$vexlo" large.pal large.gba)
  middle=$(now_ns)
  read -r dd_user dd_sys < <(cpu_split_ms dd if=large.pal of=copy bs=128k status=none)
  end=$(now_ns)
  rm -f large.gba copy
  ratios+=("$(ratio $((middle - start)) $((end - middle)))")
  cpu_ratios+=("$(ratio $((vexlo_user + vexlo_sys + 1)) $((dd_user + dd_sys + 1)))")
  last_vexlo_ms=$(((middle - start) / 1000000))
  last_dd_ms=$(((end - middle) / 1000000))
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | sed -n 5p)
cpu_median=$(printf '%s\n' "${cpu_ratios[@]}" | sort -n | sed -n 5p)

# 4: 65536 entries a block; the last block is short.
strace -qq -e trace=write -o writes.log "$vexlo" large.pal large.gba
writes=$(wc -l <writes.log)
blocks=$(((300000000 / 3 + 65535) / 65536))
rm -f large.pal large.gba writes.log

# 5
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
small_rss=$(peak_kib "$vexlo" small.pal small.gba)
head -c 1073741824 /dev/zero | /usr/bin/time -f %M -o vexlo.rss "$vexlo" /dev/stdin /dev/null
pipe_rss=$(<vexlo.rss)
rm -f vexlo.rss

# 6
pipe_bytes=4500000000
pipe_out=$(head -c $pipe_bytes /dev/zero | "$vexlo" /dev/stdin /dev/stdout | wc -c)
pipe_want=$((2 * (pipe_bytes / 3)))

# 7: 750000 colours, each channel 0-255, CR LF as paint programs write.
awk 'BEGIN { srand(1); printf "JASC-PAL\r\n0100\r\n750000\r\n"
  for (i = 0; i < 750000; i++) printf "%d %d %d\r\n", int(rand() * 256), int(rand() * 256), int(rand() * 256) }' >jasc.pal
cpu_ms() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%d", ($1 + $2) * 1000 }'
}
text_ratios=()
for _ in 1 2 3 4 5; do
  vexlo_cpu=$(cpu_ms "$vexlo" jasc.pal jasc.gba)
  wc_cpu=$(cpu_ms wc -w jasc.pal)
  text_ratios+=("$(ratio "$((vexlo_cpu + 1))" "$((wc_cpu + 1))")")
done
text_median=$(printf '%s\n' "${text_ratios[@]}" | sort -n | sed -n 3p)
text_size=$(wc -c <jasc.pal)
rm -f jasc.pal jasc.gba

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "machine: $(nproc) cores, $cpu, $(uname -sr); compiler: $("$compiler" --version | head -n 1)"
echo
echo "| measure | figure | target |"
echo "|---|---|---|"
echo "| instructions per input byte, 3 MB palette (whole run / marginal) | $per_byte / $per_byte_loop | at most 2 |"
echo "| start-up, 768-byte palette vs do-nothing program (instructions) | $(ratio "$small_ir" "$nothing_ir") ($small_ir / $nothing_ir) | at most 2 |"
echo "| wall time, 300 MB cached palette vs dd bs=128k (median of 9) | $median (last pair: $last_vexlo_ms ms / $last_dd_ms ms) | at most 1.5 |"
echo "| CPU time, the same runs (median of 9) | $cpu_median (last pair: user $vexlo_user + system $vexlo_sys ms / user $dd_user + system $dd_sys ms) | at most 1.0 |"
echo "| write calls per block, 300 MB palette | $(ratio "$writes" "$blocks") ($writes / $blocks) | at most 1.05 |"
echo "| peak resident memory, 1 GiB through a pipe vs 768 bytes | $pipe_rss KiB vs $small_rss KiB | within 1024 KiB |"
echo "| 4.5 GB from a pipe: output bytes | $pipe_out (expected $pipe_want) | equal |"
echo "| CPU time, $text_size-byte JASC-PAL palette vs wc -w (median of 5, locale ${LC_ALL:-${LANG:-C}}) | $text_median (last pair: $vexlo_cpu ms / $wc_cpu ms) | at most 1 |"
[[ $pipe_out == "$pipe_want" ]]
