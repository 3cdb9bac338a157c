#!/usr/bin/env bash
# End-to-end tests of the vexlo command: each case runs the built executable
# in a scratch directory and checks standard output byte for byte, standard
# error, the exit status, the bytes of every file it should write, and the
# files it must leave alone.
#
#   run_cli_tests.sh --list
#   run_cli_tests.sh CASE VEXLO [EMULATOR...]
#
# EMULATOR is the command that runs VEXLO on this host (wine for a Windows
# build), empty for a native one. Exit status 77 marks a case that cannot run
# against this build.
set -u

# Runs vexlo with the given operands from the scratch directory ./run; leaves
# its output in ../stdout and ../stderr, out of the operands' way, and its
# status in $status.
run() {
  "${emulator[@]}" "$vexlo" "$@" >../stdout 2>../stderr
  status=$?
  # wine itself now and then fails to start a program under load: status 1
  # and nothing printed, which vexlo never gives (it exits 0 or 255).
  if ((windows)) && [[ $status == 1 && ! -s ../stdout ]]; then
    "${emulator[@]}" "$vexlo" "$@" >../stdout 2>../stderr
    status=$?
  fi
}

# VEXLO_STOP_AT_FAILURE ends a case at its first failure (a mutation run
# needs no more).
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
  [[ -z ${VEXLO_STOP_AT_FAILURE:-} ]] || exit 1
}

# Writes bytes given as hex pairs ("ff 7f 0a") to a file.
write_hex() {
  local file=$1
  shift
  bytes "$@" >"$file"
}

hex_of() { od -An -v -tx1 "$1" 2>/dev/null | tr -d ' \n'; }

expect_status() {
  [[ $status == "$1" ]] || fail "exit status $status, expected $1"
}

# Standard output is a text stream: on Windows each line ends in CR LF.
expect_stdout() {
  local expected=$1
  if ((windows)); then
    expected=${expected//$'\n'/$'\r\n'}
  fi
  # Read without starting a process (the table of formats checks hundreds);
  # a NUL ends the read early with status 0.
  local actual=""
  if IFS= read -r -d '' actual <../stdout || [[ $actual != "$expected" ]]; then
    fail "standard output differs"
    echo "--- expected"; printf '%s' "$expected" | cat -A
    echo "--- actual"; cat -A ../stdout
  fi
  # wine reports on the same stream when one of its own helper processes
  # crashes; the command never writes a line starting "wine: ".
  [[ ! -s ../stderr ]] || ! grep -v '^wine: ' ../stderr >/dev/null ||
    { fail "standard error is not empty:"; cat ../stderr; }
}

expect_bytes() {
  local file=$1
  shift
  local wanted="$*"
  wanted=${wanted//[[:space:]]/}
  [[ -f $file ]] || { fail "$file was not written"; return; }
  bytes "$wanted" >../wanted
  cmp -s ../wanted "$file" && return
  local actual
  actual=$(hex_of "$file")
  fail "$file holds ${actual:0:80}, expected ${wanted:0:80}"
}

expect_absent() {
  [[ ! -e $1 && ! -L $1 ]] || fail "$1 exists but should not"
}

expect_only_files() {
  local actual
  actual=$(ls -A | tr '\n' ' ')
  [[ $actual == "$* " || ($# == 0 && -z $actual) ]] || fail "directory holds '$actual', expected '$*'"
}

# Ends a case that cannot run here, saying why (CTest reports it skipped).
skip() {
  echo "skipped: $*"
  exit $skip_status
}

# Detaches the given loop devices when the case ends, however it ends.
detach_at_exit() {
  trap 'losetup -d '"$*"' 2>/dev/null; rm -rf "$work"' EXIT
}

linux_only() {
  ((windows == 0)) && [[ -e /proc/self/mem ]] || skip "runs against a Linux build only"
}

# shellcheck source=../byte_helpers.sh
source "$(dirname "${BASH_SOURCE[0]}")/../byte_helpers.sh"

readonly banner=$'Kelvo pal to GBA pal converter\n'
readonly usage=$banner$'vexlo.exe - usage:\n\nvexlo in.pal out.pal\n'

# --- operands -------------------------------------------------------------

case_usage_without_operands() {
  run
  expect_status 255
  expect_stdout "$usage"
  expect_only_files
}

case_usage_with_one_operand() {
  write_hex in.pal 00 00 00
  run in.pal
  expect_status 255
  expect_stdout "$usage"
  expect_only_files in.pal
}

case_usage_with_three_operands() {
  write_hex in.pal 00 00 00
  run in.pal out.pal extra.pal
  expect_status 255
  expect_stdout "$usage"
  expect_only_files in.pal
}

# --- conversion -----------------------------------------------------------

case_converts_entries_silently() {
  write_hex in.pal 000000 ffffff f8f8f8 ff0000 00ff00 0000ff 080000 070707 \
    000800 000008 808080 0f1011 500000 0d0a1a
  run in.pal out.pal
  expect_status 0
  expect_stdout ""
  expect_bytes out.pal 0000 ff7f ff7f 1f00 e003 007c 0100 0000 2000 0004 1042 4108 0a00 210c
}

# Bytes 26, 10 and 13 first and last would end or change a text-mode read;
# 80,0,0 gives a word whose low byte is 10, which text mode would expand.
case_treats_control_bytes_as_intensities() {
  write_hex in.pal 1a0a0d 500000 0d0a1a 0a0a0a 1a1a1a 0d0d0d 500000
  run in.pal out.pal
  expect_status 0
  expect_stdout ""
  expect_bytes out.pal 2304 0a00 210c 2104 630c 2104 0a00
}

case_empty_input_gives_empty_output() {
  : >in.pal
  printf 'old contents' >out.pal
  run in.pal out.pal
  expect_status 0
  expect_stdout ""
  expect_bytes out.pal ""
  printf 'x' >out.pal
  run in.pal out.pal
  expect_bytes out.pal ""
}

case_drops_trailing_partial_entry() {
  write_hex in.pal ffffff ffff
  run in.pal out.pal
  expect_status 0
  expect_stdout ""
  expect_bytes out.pal ff7f
  write_hex in.pal ff
  run in.pal out.pal
  expect_status 0
  expect_bytes out.pal ""
}

# An Adobe colour table as paint programs export it: 256 colours, then a
# count of 16 and transparent index 0, gives 16 words.
case_converts_adobe_colour_table_to_its_count() {
  { printf '\xff\x00\x00%.0s' {1..16} && head -c 720 /dev/zero && printf '\x00\x10\x00\x00'; } >title.act
  run title.act title.gbapal
  expect_status 0
  expect_stdout ""
  expect_bytes title.gbapal "$(printf '1f00%.0s' {1..16})"
}

case_paths_with_spaces_and_percent_signs() {
  write_hex "my palette %s%d.pal" 808080
  run "my palette %s%d.pal" "out 100%.gba"
  expect_status 0
  expect_stdout ""
  expect_bytes "out 100%.gba" 1042
}

# Names in any script, one of them in a folder named in another; on Windows
# they reach the command only through its UTF-8 code page. A Linux name is
# bytes and need not be UTF-8 at all.
case_converts_files_named_in_any_script() {
  mkdir 'Παλέτες'
  local pairs=('パレット.pal' '出力.gba' 'палитра.pal' 'выход.gba' 'Café.pal' 'Crème brûlée.gba'
    '🎨.pal' '🎮.gba' 'Παλέτες/夕焼け.pal' 'Παλέτες/夕焼け.gba')
  ((windows)) || pairs+=($'caf\xe9.pal' $'caf\xe9.gba')
  local i
  for ((i = 0; i < ${#pairs[@]}; i += 2)); do
    write_hex "${pairs[i]}" 808080 0d0a1a
    run "${pairs[i]}" "${pairs[i + 1]}"
    expect_status 0
    expect_stdout ""
    expect_bytes "${pairs[i + 1]}" 1042 210c
  done
}

case_operands_that_look_like_options_are_paths() {
  write_hex ./-h 080000
  run -h --output
  expect_status 0
  expect_stdout ""
  expect_bytes ./--output 0100
}

# --- failures to open -----------------------------------------------------

case_missing_input_leaves_output_alone() {
  printf 'keep me' >out.pal
  run missing.pal out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening missing.pal"$'\n'
  expect_bytes out.pal "$(printf 'keep me' | od -An -tx1)"
}

case_input_failure_prints_path_verbatim() {
  run "no such %s %d%%.pal" out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening no such %s %d%%.pal"$'\n'
  expect_absent out.pal
  run "" out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening "$'\n'
  run -h --output
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening -h"$'\n'
  run 'нет такого.pal' out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening нет такого.pal"$'\n'
  expect_only_files
}

case_input_directory_cannot_be_opened() {
  mkdir palettes 'パレット'
  run palettes out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening palettes"$'\n'
  run 'パレット' out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error opening パレット"$'\n'
  expect_absent out.pal
}

case_output_that_cannot_be_created() {
  write_hex in.pal 000000
  mkdir outdir
  run in.pal outdir
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error creating outdir"$'\n'
  run in.pal "missing dir/out.pal"
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error creating missing dir/out.pal"$'\n'
  run in.pal 'Ordner ü/🎮.gba'
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error creating Ordner ü/🎮.gba"$'\n'
  expect_only_files in.pal outdir
}

# Sets the variable named NAME to TEXT without its outer spaces.
# Each row of formats.table: an input, and the status, message and words
# it gives; the output stays untouched where it is refused. Then the same
# bytes named as the output of another run, as after swapped operands: a
# palette or image is kept, anything else replaced.
check_format_row() {
  local words=$row_words
  eval "$row_input" >in.pal || { fail "formats.table:$row_line: the input cannot be made"; return; }
  printf 'keep me' >out.gba
  run in.pal out.gba
  local failures_before=$failures
  expect_status "$row_status"
  if [[ $row_message == - ]]; then
    expect_stdout ""
    [[ $words != *'$'* ]] || words=$(eval "echo $words")
    expect_bytes out.gba "$words"
  else
    expect_stdout "${banner}vexlo.exe - error: in.pal $row_message"$'\n'
    expect_bytes out.gba 6b656570206d65
  fi
  cp in.pal kept.pal
  run black.pal in.pal
  if [[ $row_as_output == - ]]; then
    expect_status 0
    expect_bytes in.pal 0000
  else
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: in.pal is $row_as_output; vexlo does not overwrite it"$'\n'
    cmp -s in.pal kept.pal || fail "in.pal was changed"
  fi
  ((failures == failures_before)) || echo "  in formats.table:$row_line: $row_input"
}
case_converts_each_format_as_its_table_says() {
  write_hex black.pal 000000
  each_format_row "$script_dir/formats.table" check_format_row
}

# A damaged file is refused before the output is touched, from a pipe too.
# A palette from a pipe is read once, to its end.
case_refuses_damaged_file_from_pipe() {
  printf 'ASEF\x00\x01\x00\x00\x00\x00\x00\x02' >swatches.ase
  printf 'keep me' >out.gba
  run swatches.ase out.gba
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: swatches.ase is not a valid Adobe swatch exchange file: byte 12: the file ends inside a block"$'\n'
  expect_bytes out.gba "$(printf 'keep me' | od -An -tx1)"
  ((windows)) && return
  cat swatches.ase | "${emulator[@]}" "$vexlo" /dev/stdin new.gba >../stdout 2>../stderr
  status=$?
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: /dev/stdin is not a valid Adobe swatch exchange file: byte 12: the file ends inside a block"$'\n'
  expect_absent new.gba
  # A JASC-PAL palette of 100000 colours, from a writer that checks every
  # byte it wrote was taken.
  { printf 'JASC-PAL\r\n0100\r\n100000\r\n' && yes $'8 16 24\r' | head -n 100000; } >big.pal
  { cat big.pal; echo $? >../writer; } | "${emulator[@]}" "$vexlo" /dev/stdin big.gba >../stdout 2>../stderr
  status=$?
  expect_status 0
  [[ $(<../writer) == 0 ]] || fail "the writer was cut off"
  [[ $(wc -c <big.gba) == 200000 && $(od -An -v -tx1 big.gba | tr -s ' \n' '\n' | grep -c '^41$') == 100000 ]] ||
    fail "big.gba is not 100000 words 41 0c"
}

# --- the same file on both sides ------------------------------------------

expect_refused_as_same_file() {
  local output=$1 file=${2:-in.pal}
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: $output is both input and output"$'\n'
  expect_bytes "$file" 0d0a1a ffffff 00
}

case_same_path_on_both_sides() {
  write_hex in.pal 0d0a1a ffffff 00
  run in.pal in.pal
  expect_refused_as_same_file in.pal
  local names=('Café.pal' 'パレット.pal' '🎨.pal') name
  ((windows)) || names+=($'caf\xe9.pal')
  for name in "${names[@]}"; do
    write_hex "$name" 0d0a1a ffffff 00
    run "$name" "$name"
    expect_refused_as_same_file "$name" "$name"
    run "$name" "./$name"
    expect_refused_as_same_file "./$name" "$name"
  done
}

case_same_file_spelled_differently() {
  write_hex in.pal 0d0a1a ffffff 00
  mkdir sub
  run in.pal ./in.pal
  expect_refused_as_same_file ./in.pal
  run ./sub/../in.pal in.pal
  expect_refused_as_same_file in.pal
  run in.pal "$(cd .. && pwd)/run/in.pal"
  expect_refused_as_same_file "$(cd .. && pwd)/run/in.pal"
}

# On Windows a hard link's extension once made it look like another file.
case_same_file_through_links() {
  write_hex in.pal 0d0a1a ffffff 00
  ln -s in.pal soft.pal
  local link
  for link in hard.pal hard.bat hard.cmd hard.exe hard.com; do
    ln in.pal $link
    run in.pal $link
    expect_refused_as_same_file $link
  done
  run in.pal soft.pal
  expect_refused_as_same_file soft.pal
  run soft.pal in.pal
  expect_refused_as_same_file in.pal
  ((windows)) && return
  run /dev/stdin in.pal <in.pal
  expect_refused_as_same_file in.pal
}

# A block device is one disk whatever its name, and a loop device is the
# file behind it, through any number of loop devices; character devices
# hold nothing to lose and convert into themselves.
case_same_device_on_both_sides() {
  linux_only
  run /dev/null /dev/null
  expect_status 0
  expect_stdout ""
  command -v losetup >/dev/null || skip "needs losetup (apt-get install mount)"
  write_hex disk.img 0d0a1a ffffff 00
  truncate -s 4096 disk.img
  local loop second stacked
  loop=$(losetup --find --show disk.img 2>/dev/null) || skip "cannot set up a loop device (needs root)"
  detach_at_exit "$loop"
  second=$(losetup --find --show disk.img) && stacked=$(losetup --find --show "$loop") ||
    skip "cannot set up three loop devices"
  detach_at_exit "$stacked" "$loop" "$second"
  local pairs=("$loop" "$loop" "$loop" disk.img disk.img "$loop" "$loop" "$second"
    disk.img "$stacked" "$stacked" disk.img "$second" "$stacked") i
  for ((i = 0; i < ${#pairs[@]}; i += 2)); do
    run "${pairs[i]}" "${pairs[i + 1]}"
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: ${pairs[i + 1]} is both input and output"$'\n'
  done
  local disk
  disk=$(head -c 7 "$loop" | od -An -tx1 | tr -d ' \n')
  # A file that no loop device holds is written to one, and the device read
  # back: its first seven bytes are the two words and what was left after.
  write_hex other.pal 0d0a1a ffffff
  run other.pal "$stacked"
  expect_status 0
  run "$stacked" other.gba
  expect_status 0
  local written
  written=$(head -c 4 "$loop" | od -An -tx1 | tr -d ' \n')
  losetup -d "$stacked" "$loop" "$second"
  [[ $disk == 0d0a1affffff00 ]] || fail "$loop held $disk after the refused runs"
  [[ $written == 210cff7f ]] || fail "$loop holds $written, not other.pal's words"
  expect_bytes other.gba 247c ef7f $(printf '0000%.0s' {1..1363})
}

# A partition is part of its disk, and so of every other partition on it
# (the input's side too): the disk, read through a partition or whole, is
# refused as the output of either.
case_partition_and_its_disk_are_one_disk() {
  linux_only
  command -v losetup >/dev/null || skip "needs losetup (apt-get install mount)"
  truncate -s 8M disk.img
  # An MBR of two Linux partitions, 2 MiB from sector 2048 and 4 MiB after.
  { head -c 446 /dev/zero && bytes 00000000 83000000 "$(le32 2048)" "$(le32 4096)" \
    00000000 83000000 "$(le32 6144)" "$(le32 8192)" && head -c 32 /dev/zero && bytes 55aa; } |
    dd of=disk.img conv=notrunc status=none
  local loop i
  loop=$(losetup --find --show --partscan disk.img 2>/dev/null) || skip "cannot set up a loop device (needs root)"
  detach_at_exit "$loop"
  partx -a "$loop" 2>/dev/null # where no udev makes the partitions' nodes
  for ((i = 0; i < 50; i++)); do
    [[ -b ${loop}p2 ]] && break
    sleep 0.1
  done
  [[ -b ${loop}p2 ]] || skip "no partition devices appear here"
  local pairs=("$loop" "${loop}p1" "${loop}p1" "$loop" "${loop}p2" "${loop}p1" disk.img "${loop}p2")
  for ((i = 0; i < ${#pairs[@]}; i += 2)); do
    run "${pairs[i]}" "${pairs[i + 1]}"
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: ${pairs[i + 1]} is both input and output"$'\n'
  done
  # A partition is on its own disk, not on every disk.
  truncate -s 1M other.img
  local other
  other=$(losetup --find --show other.img) || skip "cannot set up a second loop device"
  detach_at_exit "$other" "$loop"
  run "$other" "${loop}p1"
  expect_status 0
  losetup -d "$other"
  losetup -d "$loop"
  [[ $(tail -c +511 disk.img | head -c 2 | od -An -tx1 | tr -d ' ') == 55aa ]] || fail "the MBR was overwritten"
}

# The disk that holds the input's file system, under any name: the loop
# device it is mounted from, a node of it that only its owner may write (who
# cannot open it to ask what it is), or the loop device below that one.
case_device_holding_input_is_refused() {
  linux_only
  [[ $(id -u) == 0 ]] && id nobody >/dev/null 2>&1 || skip "needs root and the user nobody"
  command -v mkfs.ext4 >/dev/null && command -v losetup >/dev/null ||
    skip "needs mkfs.ext4 and losetup (apt-get install e2fsprogs mount)"
  truncate -s 8M fs.img && mkfs.ext4 -q -F fs.img || skip "cannot make a file system image"
  local loop stacked
  loop=$(losetup --find --show fs.img 2>/dev/null) || skip "cannot set up a loop device"
  detach_at_exit "$loop"
  stacked=$(losetup --find --show "$loop")
  detach_at_exit "$stacked" "$loop"
  mkdir mnt
  mount "$stacked" mnt || skip "cannot mount a loop device"
  trap 'umount "$work/run/mnt"; losetup -d "'"$stacked"'" "'"$loop"'"; rm -rf "$work"' EXIT
  write_hex mnt/in.pal 0d0a1a ffffff
  chmod 755 "$work" . mnt
  mknod writer b "$(stat -c '0x%t' "$stacked")" "$(stat -c '0x%T' "$stacked")"
  chown nobody writer && chmod 200 writer
  local name
  for name in "$stacked" "$loop"; do
    run mnt/in.pal "$name"
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: $name is both input and output"$'\n'
  done
  user=nobody run_limited mnt/in.pal writer
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: writer is both input and output"$'\n'
  user=nobody run_limited mnt/in.pal mnt/in.pal
  expect_stdout "${banner}vexlo.exe - error: mnt/in.pal is both input and output"$'\n'
  # A file in the file system is written to its storage: the image and the
  # devices it is read through. Another file there is no such thing.
  for name in fs.img "$loop"; do
    run "$name" mnt/out.gbapal
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: mnt/out.gbapal is both input and output"$'\n'
  done
  run mnt/in.pal mnt/out.gbapal
  expect_status 0
  expect_bytes mnt/out.gbapal 210c ff7f
  sync -f mnt  # this file system alone: another stuck device would hold a plain sync
  expect_bytes mnt/in.pal 0d0a1a ffffff
}

# btrfs gives its files device numbers that name no block device: its
# devices, two loop devices here, are found through the file system, and a
# refused output is not left in it.
case_btrfs_on_input_is_refused() {
  linux_only
  # qemu-user passes no btrfs ioctl through to the kernel.
  ((${#emulator[@]} == 0)) || skip "needs a native build"
  [[ $(id -u) == 0 ]] || skip "needs root"
  grep -qw btrfs /proc/filesystems && command -v mkfs.btrfs >/dev/null ||
    skip "needs btrfs in the kernel and mkfs.btrfs (apt-get install btrfs-progs)"
  truncate -s 120M first.img second.img
  local first second
  first=$(losetup --find --show first.img 2>/dev/null) || skip "cannot set up a loop device"
  detach_at_exit "$first"
  second=$(losetup --find --show second.img)
  detach_at_exit "$first" "$second"
  mkfs.btrfs -q -f -d single -m single "$first" "$second" >/dev/null 2>&1 || skip "cannot make a btrfs"
  mkdir mnt
  mount "$first" mnt || skip "cannot mount a btrfs"
  trap 'umount "$work/run/mnt"; losetup -d "'"$first"'" "'"$second"'"; rm -rf "$work"' EXIT
  local name
  for name in second.img "$second" first.img; do
    run "$name" mnt/out.gbapal
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: mnt/out.gbapal is both input and output"$'\n'
    expect_absent mnt/out.gbapal
  done
  write_hex mnt/in.pal 0d0a1a
  run mnt/in.pal "$second" <&-  # with no standard input, the input is descriptor 0
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: $second is both input and output"$'\n'
  run mnt/in.pal mnt/out.gbapal
  expect_status 0
  expect_bytes mnt/out.gbapal 210c
}

# A loop device whose backing file is deleted, still open and named through
# /proc: the device says which file it is, where its name no longer does.
case_deleted_backing_file_is_refused() {
  linux_only
  command -v losetup >/dev/null || skip "needs losetup (apt-get install mount)"
  write_hex disk.img 0d0a1a ffffff 00
  truncate -s 4096 disk.img
  local loop
  loop=$(losetup --find --show disk.img 2>/dev/null) || skip "cannot set up a loop device (needs root)"
  detach_at_exit "$loop"
  exec 7<disk.img
  rm disk.img
  local pairs=("/proc/$$/fd/7" "$loop" "$loop" "/proc/$$/fd/7") i
  for ((i = 0; i < ${#pairs[@]}; i += 2)); do
    run "${pairs[i]}" "${pairs[i + 1]}"
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error: ${pairs[i + 1]} is both input and output"$'\n'
  done
  # The device says which file it is: any other file may be written.
  run "$loop" other.gbapal <&-  # the input as descriptor 0
  expect_status 0
  local kept
  kept=$(head -c 7 "/proc/$$/fd/7" | od -An -tx1 | tr -d ' \n')
  exec 7<&-
  losetup -d "$loop"
  [[ $kept == 0d0a1affffff00 ]] || fail "the deleted image holds $kept after the runs"
  # A backing file renamed, and another file made under its old name.
  write_hex disk.img 0d0a1a ffffff 00 && truncate -s 4096 disk.img
  loop=$(losetup --find --show disk.img) && detach_at_exit "$loop"
  mv disk.img moved.img && write_hex disk.img 00
  run "$loop" moved.img
  expect_stdout "${banner}vexlo.exe - error: moved.img is both input and output"$'\n'
  run "$loop" disk.img
  expect_status 0
  losetup -d "$loop"
}

# Loop devices stacked as deep as vexlo follows them: the top one reads
# the file system image at the bottom, and a file written in the file
# system mounted from it is written to that image.
case_deepest_loop_stack_reaches_its_file() {
  linux_only
  command -v mkfs.ext4 >/dev/null && command -v losetup >/dev/null ||
    skip "needs mkfs.ext4 and losetup (apt-get install e2fsprogs mount)"
  truncate -s 8M fs.img && mkfs.ext4 -q -F fs.img || skip "cannot make a file system image"
  local under=fs.img stack=() i
  for ((i = 0; i < 8; i++)); do
    under=$(losetup --find --show "$under" 2>/dev/null) || skip "cannot set up 8 loop devices"
    stack=("$under" "${stack[@]}")
    detach_at_exit "${stack[@]}"
  done
  cp fs.img before.img
  run "$under" fs.img
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: fs.img is both input and output"$'\n'
  cmp -s fs.img before.img || fail "fs.img was written"
  run fs.img "$under"
  expect_stdout "${banner}vexlo.exe - error: $under is both input and output"$'\n'
  cmp -s fs.img before.img || fail "fs.img was written through $under"
  mkdir mnt
  mount "$under" mnt || skip "cannot mount a loop device"
  trap 'umount "$work/run/mnt"; losetup -d '"${stack[*]}"'; rm -rf "$work"' EXIT
  run fs.img mnt/out.gbapal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: mnt/out.gbapal is both input and output"$'\n'
}

# A hard link made in place of the output while the input is being read:
# the file opened is checked, not the name, so the input stays whole.
case_link_made_while_reading_is_refused() {
  linux_only
  ((${#emulator[@]} == 0)) && command -v strace >/dev/null || skip "needs strace and a native build"
  head -c 307200 /dev/zero >in.pal
  printf 'other' >out.pal
  (sleep 0.5 && ln -f in.pal out.pal) &
  ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -P "$PWD/in.pal" -e trace=read \
    -e inject=read:delay_exit=2000000:when=1 "$vexlo" in.pal out.pal >../stdout 2>../stderr
  status=$?
  wait
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: out.pal is both input and output"$'\n'
  [[ $(wc -c <in.pal) == 307200 ]] || fail "in.pal holds $(wc -c <in.pal) bytes"
}

# Two runs on one output: the second waits for the first to close it, held
# up by strace in its write, and the output is the whole of the second's.
case_second_run_on_one_output_waits_for_first() {
  linux_only
  ((${#emulator[@]} == 0)) && command -v strace >/dev/null || skip "needs strace and a native build"
  write_hex small.pal 0d0a1a
  head -c 30000 /dev/urandom >large.pal
  "$vexlo" large.pal large.gbapal
  local try
  for try in 1 2 3; do
    cp large.gbapal out.gbapal
    ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -e trace=write \
      -e inject=write:delay_enter=600000 "$vexlo" small.pal out.gbapal >../stdout 2>../stderr &
    sleep 0.3
    run large.pal out.gbapal
    expect_status 0
    wait $! || fail "the first run failed"
    cmp -s large.gbapal out.gbapal || fail "try $try: out.gbapal holds $(hex_of out.gbapal | head -c 40)..."
  done
  # A file moved onto the name while the second run waits is the one it writes.
  ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -e trace=write \
    -e inject=write:delay_enter=600000 "$vexlo" small.pal out.gbapal >../stdout 2>../stderr &
  local first=$!
  sleep 0.3
  "$vexlo" large.pal out.gbapal >../stdout 2>../stderr &
  sleep 0.2
  printf 'moved here' >moved && mv moved out.gbapal
  wait $first && wait $! || fail "a run failed"
  cmp -s large.gbapal out.gbapal || fail "the file moved onto out.gbapal holds $(hex_of out.gbapal | head -c 40)"
}

# A pipe named as both input and output would wait on itself for ever.
case_pipe_named_twice_is_refused() {
  linux_only
  mkfifo both.fifo || skip "cannot make a FIFO here"
  printf '\x0d\x0a\x1a' >both.fifo &
  timeout 20 "${emulator[@]}" "$vexlo" both.fifo both.fifo >../stdout 2>../stderr
  status=$?
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: both.fifo is both input and output"$'\n'
  printf '\x0d\x0a\x1a' | timeout 20 "${emulator[@]}" "$vexlo" /dev/stdin /dev/stdin >../stdout 2>../stderr
  status=$?
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error: /dev/stdin is both input and output"$'\n'
}

# A reader that goes away is a failed write, and a message nobody reads is
# dropped: the status is still the failure's, never a signal's.
case_reader_that_goes_away() {
  linux_only
  head -c 3000000 /dev/zero >in.pal
  "${emulator[@]}" "$vexlo" in.pal /dev/stdout 2>../stderr | head -c 10 >/dev/null
  status=${PIPESTATUS[0]}
  expect_status 255
  { sleep 0.2 && "${emulator[@]}" "$vexlo" missing.pal out.pal 2>../stderr; } | true
  status=${PIPESTATUS[0]}
  expect_status 255
}

# Windows also spells one file with backslashes and in another letter case.
case_same_file_spelled_the_windows_way() {
  ((windows)) || skip "runs against a Windows build only"
  write_hex in.pal 0d0a1a ffffff 00
  mkdir sub
  run in.pal '.\in.pal'
  expect_refused_as_same_file '.\in.pal'
  run 'sub\..\in.pal' IN.PAL
  expect_refused_as_same_file IN.PAL
  write_hex 'Café.pal' 0d0a1a ffffff 00
  run '.\Café.pal' 'CAFÉ.PAL'
  expect_refused_as_same_file 'CAFÉ.PAL' 'Café.pal'
}

# wine's C: drive is a folder of its prefix and Z: is the Unix root, so one
# file has a name on each; this directory is on Z:, not on C:.
case_same_file_on_two_drives() {
  ((windows)) || skip "runs against a Windows build only"
  local prefix=${WINEPREFIX:-}
  local word
  for word in "${emulator[@]}"; do
    [[ $word == WINEPREFIX=* ]] && prefix=${word#WINEPREFIX=}
  done
  [[ -d $prefix/drive_c ]] || skip "finds no wine prefix with a C: drive"
  local folder
  folder=$(mktemp -d "$prefix/drive_c/vexlo-cli.XXXXXX") || exit 1
  local name=${folder##*/}
  local on_z="Z:${folder//\//\\}\\in.pal"
  write_hex "$folder/in.pal" 0d0a1a ffffff 00
  run "C:\\$name\\in.pal" "$on_z"
  expect_refused_as_same_file "$on_z" "$folder/in.pal"
  run "C:\\$name\\in.pal" "\\\\?\\C:\\$name\\in.pal"
  expect_refused_as_same_file "\\\\?\\C:\\$name\\in.pal" "$folder/in.pal"
  rm -rf "$folder"
}

# --- failures while converting --------------------------------------------

case_full_device_is_a_write_error() {
  linux_only
  [[ -c /dev/full ]] || skip "needs /dev/full"
  write_hex in.pal 000000 ffffff
  run in.pal /dev/full
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error writing /dev/full"$'\n'
  [[ -c /dev/full ]] || fail "/dev/full was removed"
}

# Runs vexlo IN OUT under a file size limit of 8 KiB, as a build runs it:
# the limit's signal at its default, deadly action. With a user, as that
# user; with descriptors, allowed only that many.
run_limited() {
  local as=(bash -c "${descriptors:+exec 3>&- 4>&-; ulimit -n $descriptors; }"'exec "$@"' vexlo) command=$vexlo
  if [[ -n ${user:-} ]]; then
    as=(su -s /bin/bash -c "${descriptors:+exec 3>&- 4>&-; ulimit -n $descriptors; }"'exec "$@"' -- "$user" vexlo)
    cp "$vexlo" "$work/" && command=$work/${vexlo##*/} # the build tree may be private
  fi
  (
    ulimit -f 8
    "${as[@]}" env --default-signal=XFSZ "${emulator[@]}" "$command" "$@" >"$work/stdout" 2>"$work/stderr"
    echo $? >"$work/status"
  )
  status=$(<"$work/status")
}

expect_write_error() {
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error writing $1"$'\n'
}

# Mounts a tmpfs of the given size on ./full for this case alone.
mount_small_disk() {
  mkdir full
  mount -t tmpfs -o size="$1" vexlo-full full 2>/dev/null || skip "cannot mount a tmpfs (needs root)"
  trap 'umount "$work/run/full"; rm -rf "$work"' EXIT
}

# A file size limit makes writes fail part way, as a full disk does: the
# file written goes, by whatever name it was reached, and nothing else.
case_failed_write_removes_partial_output() {
  linux_only
  head -c 30000 /dev/zero >in.pal
  run_limited in.pal out.pal
  expect_write_error out.pal
  expect_absent out.pal
  # Where a rename cannot refuse to replace a file, a plain one moves it.
  if ((${#emulator[@]} == 0)) && command -v strace >/dev/null; then
    (ulimit -f 8 && ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -e inject=renameat2:error=EINVAL \
      "$vexlo" in.pal out.pal >../stdout 2>../stderr; echo $? >../status)
    status=$(<../status)
    expect_write_error out.pal
    expect_absent out.pal
  fi
  printf 'old contents' >target.pal
  ln -s target.pal link.pal
  run_limited in.pal link.pal
  expect_write_error link.pal
  expect_absent target.pal
  # A folder path longer than the system resolves, reached from inside.
  local folder i
  folder=$(printf 'd%.0s' {1..200})
  for i in {1..24}; do mkdir "$folder" && cd "$folder" || exit 1; done
  run_limited "$work/run/in.pal" out.pal
  [[ ! -e out.pal ]] || fail "the partial output in the deep folder survived"
  cd "$work/run" || exit 1
  expect_write_error out.pal
  # /dev/fd/5 of a deleted file resolves to a name that is not the file.
  printf 'keep me' >'tmp.gbapal (deleted)'
  exec 5<>tmp.gbapal
  rm tmp.gbapal
  run_limited in.pal /dev/fd/5
  exec 5>&-
  expect_write_error /dev/fd/5
  expect_bytes 'tmp.gbapal (deleted)' "$(printf 'keep me' | od -An -tx1)"
}

# A file moved onto the output's name while a failed run removes its own
# (the removal held up by strace) is kept, whatever the run removes.
case_file_moved_onto_failed_output_is_kept() {
  linux_only
  ((${#emulator[@]} == 0)) && command -v strace >/dev/null || skip "needs strace and a native build"
  head -c 30000 /dev/zero >in.pal
  printf 'precious' >precious.pal
  (sleep 1 && mv precious.pal out.pal) &
  local removals=unlink,unlinkat,rename,renameat,renameat2
  (
    ulimit -f 8
    ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -e trace=$removals \
      -e inject=$removals:delay_enter=2000000:when=1 "$vexlo" in.pal out.pal >../stdout 2>../stderr
    echo $? >../status
  )
  wait
  status=$(<../status)
  expect_write_error out.pal
  expect_bytes out.pal "$(printf 'precious' | od -An -tx1)"
  expect_only_files in.pal out.pal
}

# Where the name cannot be removed, the file written stays, empty and dated
# 1970, so that make and ninja convert it again, also with no descriptor to
# spare beyond the streams.
case_failed_write_empties_output_it_cannot_remove() {
  linux_only
  [[ $(id -u) == 0 ]] && id nobody >/dev/null 2>&1 || skip "needs root and the user nobody"
  chmod 755 "$work" .
  head -c 30000 /dev/zero >in.pal
  mkdir locked
  printf 'old contents' >locked/out.gbapal
  chown nobody locked/out.gbapal
  chmod 555 locked
  user=nobody descriptors=5 run_limited in.pal locked/out.gbapal
  expect_write_error locked/out.gbapal
  expect_bytes locked/out.gbapal ""
  [[ $(stat -c %.9Y locked/out.gbapal) == 0.000000000 ]] || fail "the emptied output is not dated 1970"
}

# A full file system, reached by every spelling Windows has for a path.
case_full_disk_removes_partial_output() {
  mount_small_disk 64k
  head -c 300000 /dev/zero >in.pal
  local names=(full/out.gba)
  if ((windows)); then
    local here="Z:${PWD//\//\\}"
    names=("$here\\full\\out.gba" "\\\\?\\$here\\full\\out.gba" "\\\\.\\$here\\full\\out.gba")
  fi
  local name
  for name in "${names[@]}"; do
    run in.pal "$name"
    expect_write_error "$name"
    expect_absent full/out.gba
  done
}

# The output's link is repointed while the input, a FIFO, holds the run
# between its first block and the one that fills the disk: the file written
# is emptied (on Windows, deleted through its handle), the one the link now
# names is kept.
case_failed_write_spares_file_link_now_names() {
  mount_small_disk 200k
  printf 'keep me' >full/b.gbapal
  ln -s full/a.gbapal out.gbapal
  mkfifo in.fifo || skip "cannot make a FIFO here"
  (run in.fifo out.gbapal; echo $status >../status) &
  local converter=$! i
  exec 3>in.fifo
  head -c 196608 /dev/zero >&3
  for ((i = 0; i < 600; i++)); do
    [[ $(stat -c %s full/a.gbapal 2>/dev/null) == 131072 ]] && break
    sleep 0.05
  done
  ((i < 600)) || fail "the first block was not written"
  ln -sfn full/b.gbapal out.gbapal
  head -c 196608 /dev/zero >&3
  exec 3>&-
  wait $converter
  status=$(<../status)
  expect_write_error out.gbapal
  expect_bytes full/b.gbapal "$(printf 'keep me' | od -An -tx1)"
  if ((windows)); then expect_absent full/a.gbapal; else expect_bytes full/a.gbapal ""; fi
}

# A read that fails at once (a process's memory at offset 0) leaves the
# output alone; one that fails part way, made to by strace, removes it.
case_failed_read_touches_only_output_it_wrote() {
  linux_only
  printf 'old contents' >out.pal
  run /proc/self/mem out.pal
  expect_status 255
  expect_stdout "${banner}vexlo.exe - error reading /proc/self/mem"$'\n'
  expect_bytes out.pal "$(printf 'old contents' | od -An -tx1)"
  ((${#emulator[@]} == 0)) && command -v strace >/dev/null || skip "needs strace and a native build"
  # A Kelvo palette, and a text palette whose first read held no fault: the
  # read error is no damage to the file.
  head -c 300000 /dev/zero >in.pal
  { printf 'JASC-PAL\r\n0100\r\n30000\r\n' && yes $'8 16 24\r' | head -n 30000; } >jasc.pal
  local input
  for input in in.pal jasc.pal; do
    # LeakSanitizer cannot run under a tracer.
    ASAN_OPTIONS=detect_leaks=0 strace -qq -o /dev/null -P "$PWD/$input" -e trace=read \
      -e inject=read:error=EIO:when=2+ "$vexlo" "$input" out.pal >../stdout 2>../stderr
    status=$?
    expect_status 255
    expect_stdout "${banner}vexlo.exe - error reading $input"$'\n'
    expect_absent out.pal
  done
}

# A 32-bit build streams an input over 4 GiB: its byte counts must not wrap,
# and it must open such a file at all (where file offsets are 32 bits wide
# unless a build asks for 64). A sparse input costs no disk; the output is
# counted through a pipe. Only builds configured for it run this case.
case_streams_input_over_4_gib() {
  [[ ${VEXLO_LARGE_FILES:-0} == 1 ]] || skip "only builds configured with VEXLO_TEST_LARGE_FILES=ON"
  local size=4500000000
  truncate -s $size big.pal || skip "cannot make a 4.5 GB sparse file here"
  local count
  count=$({
    "${emulator[@]}" "$vexlo" big.pal /dev/stdout 2>../stderr
    echo $? >../status
  } | wc -c)
  status=$(<../status)
  expect_status 0
  [[ ! -s ../stderr ]] || fail "standard error is not empty"
  [[ $count == $((2 * (size / 3))) ]] || fail "$count bytes written, expected $((2 * (size / 3)))"
}

# The README's cmd script, whose block catches the palette that fails:
# sprites.pal is missing. (wine's cmd runs what follows || even after a
# success, so that line is left out, and finishes a loop that a goto
# leaves, so font.pal may still be converted.)
case_batch_script_catches_failure_in_a_block() {
  ((windows)) || skip "runs against a Windows build only"
  local readme=${VEXLO_README:?set VEXLO_README to the README}
  awk '/^```bat/ { open = 1; next } /^```/ { open = 0 } open && !/\|\|/ { printf "%s\r\n", $0 }' \
    "$readme" >convert.bat
  grep -q 'if not errorlevel 0' convert.bat || fail "the README's script has no block to run"
  cp "$vexlo" . && write_hex font.pal 808080
  "${emulator[@]}" cmd /c convert.bat >../stdout 2>/dev/null
  status=$?
  expect_status 1
  grep -q "error opening sprites.pal" ../stdout && grep -q "a palette did not convert" ../stdout ||
    fail "the script did not catch the failure"
}

# --- the bundled example --------------------------------------------------

case_converts_bundled_example() {
  local examples=${VEXLO_EXAMPLES:?set VEXLO_EXAMPLES to the examples directory}
  cp "$examples/sunset16.pal" .
  run sunset16.pal sunset16.gbapal
  expect_status 0
  expect_stdout ""
  cmp -s sunset16.gbapal "$examples/sunset16.gbapal" || fail "sunset16.gbapal differs from the pinned bytes"
  ((windows)) && return
  # Created as any new file is, also through a link to no file yet.
  ln -s made.gbapal link.gbapal
  run sunset16.pal link.gbapal
  local name mode
  mode=$(printf '%o' $((0666 & ~$(umask))))
  for name in sunset16.gbapal made.gbapal; do
    [[ $(stat -c %a $name) == "$mode" ]] || fail "$name was created with mode $(stat -c %a $name)"
  done
}

if [[ ${1:-} == --list ]]; then
  declare -F | sed -n 's/^declare -f case_//p'
  exit 0
fi

readonly skip_status=77
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly script_dir
readonly case_name=$1
readonly vexlo=$2
shift 2
readonly emulator=("$@")
# wine decodes the command line by the locale; names outside ASCII need UTF-8.
((${#emulator[@]} == 0)) || export LC_ALL=C.UTF-8
readonly windows=$([[ $vexlo == *.exe ]] && echo 1 || echo 0)
failures=0

work=$(mktemp -d "${TMPDIR:-/tmp}/vexlo-cli.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/run" && cd "$work/run" || exit 1

if ! declare -F "case_$case_name" >/dev/null; then
  echo "no such case: $case_name"
  exit 2
fi
"case_$case_name"
if ((failures > 0)); then
  exit 1
fi
echo "ok: $case_name"
