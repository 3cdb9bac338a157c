# Shell functions that write the bytes of palette and image files, for the
# tests that make their own inputs.

# Writes bytes given as hex ("ff 7f0a") to standard output, without
# starting a process (bash 5.2 puts each pair where & stands).
shopt -s patsub_replacement
bytes() {
  local hex="$*" piece at
  hex=${hex// /}
  # In pieces: one replacement over a long string is quadratic in bash.
  for ((at = 0; at < ${#hex}; at += 1024)); do
    piece=${hex:at:1024}
    printf '%b' "${piece//??/\\x&}"
  done
}
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24)); }
png_signature() { bytes 89504e470d0a1a0a; }
# The CRC-32 of the bytes given as hex, in hex, by the table of the
# polynomial's remainders (made at the first call).
crc32_table=()
crc32() {
  local hex=$1 crc=0xFFFFFFFF i bit
  if ((${#crc32_table[@]} == 0)); then
    for ((i = 0; i < 256; i++)); do
      crc=$i
      for ((bit = 0; bit < 8; bit++)); do ((crc = crc & 1 ? crc >> 1 ^ 0xEDB88320 : crc >> 1)); done
      crc32_table[i]=$crc
    done
    crc=0xFFFFFFFF
  fi
  for ((i = 0; i < ${#hex}; i += 2)); do
    ((crc = crc32_table[(crc ^ 16#${hex:i:2}) & 255] ^ crc >> 8))
  done
  printf '%08x' $((crc ^ 0xFFFFFFFF))
}
# HEX, COUNT times over; nothing for a count of 0.
repeat() {
  local text=$1 count=$2 result=""
  # By doubling: adding one copy at a time is quadratic in bash.
  while ((count > 0)); do
    ((count & 1)) && result+=$text
    text+=$text
    ((count >>= 1))
  done
  printf '%s' "$result"
}
# The PNG signature and the header of a 1 x 1 image of bit DEPTH and colour TYPE.
png_1x1() { png_signature && png_chunk IHDR 00000001 00000001 "$1" "$2" 000000; }
# A PNG chunk with its length and CRC.
png_chunk() {
  local type=$1 data type_hex
  shift
  data="$*" && data=${data// /}
  printf -v type_hex '%02x' "'${type:0:1}" "'${type:1:1}" "'${type:2:1}" "'${type:3:1}"
  bytes "$(printf '%08x' $((${#data} / 2)))" "$type_hex$data" "$(crc32 "$type_hex$data")"
}
# A BMP file header and an info header of SIZE bytes for a 1 x 1 image, of
# one plane unless PLANES says otherwise.
bmp_headers() {
  local size=$1 bits=$2 used=$3 planes
  planes=$(le32 "${4:-1}" | head -c 4)
  bytes 424d 00000000 00000000 00000000 "$(le32 "$size")"
  if ((size == 12)); then
    bytes 0100 0100 "$planes" "$(le32 "$bits" | head -c 4)"
  else
    bytes 01000000 01000000 "$planes" "$(le32 "$bits" | head -c 4)" 00000000 00000000 00000000 00000000 \
      "$(le32 "$used")" 00000000
    head -c $((size - 40)) /dev/zero
  fi
}

# Writes a Kelvo palette (standard input) as a JASC-PAL palette or as an
# indexed 1 x 1 PNG image.
kelvo_as_jasc_pal() {
  local numbers
  numbers=$(od -An -v -tu1 | tr -s ' \n' '\n' | sed '/^$/d' | paste -d ' ' - - -)
  printf 'JASC-PAL\r\n0100\r\n%d\r\n' "$(grep -c . <<<"$numbers")"
  sed 's/$/\r/' <<<"$numbers"
}
kelvo_as_png() {
  png_signature
  png_chunk IHDR 00000001 00000001 08 03 000000
  png_chunk PLTE "$(od -An -v -tx1 | tr -d ' \n')"
  png_chunk IDAT 7801010200fdff0000000200 01
  png_chunk IEND
}

# Writes TEXT (a printf format) as UTF-16 of byte order ORDER (LE or BE)
# after its byte order mark, as Notepad saves "Unicode" text.
utf16() {
  if [[ $1 == LE ]]; then printf '\xff\xfe'; else printf '\xfe\xff'; fi
  # shellcheck disable=SC2059
  printf "$2" | iconv -f UTF-8 -t "UTF-16$1"
}

le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
# An Aseprite sprite of one 1 x 1 frame holding the given chunks, each
# "TYPE DATA" in hex, TYPE as stored (1920 for 0x2019). new_count=0 leaves
# the frame's newer count of chunks empty, as old files do.
aseprite() {
  local chunks="" chunk data
  for chunk in "$@"; do
    data=${chunk#* } && data=${data// /}
    chunks+=$(le32 $((6 + ${#data} / 2)))${chunk%% *}$data
  done
  local frame
  frame=$(le32 "${frame_size:-$((16 + ${#chunks} / 2))}")faf1$(le16 "${old_count:-$#}")64000000$(le32 "${new_count:-$#}")$chunks
  bytes "$(le32 $((128 + ${#frame} / 2)))" e0a5 0100 0100 0100 0800 00000000 6400 \
    0000000000000000 00 000000 0000 0101 0000000010001000 "$(printf '00%.0s' {1..84})" "$frame"
}
# A palette chunk (0x2019) of the given colours, each "RRGGBB".
aseprite_palette() {
  local entries="" colour
  for colour in "$@"; do entries+="0000${colour}ff"; done
  printf '1920 %s%s%s0000000000000000%s' "$(le32 $#)" "$(le32 0)" "$(le32 $(($# - 1)))" "$entries"
}

# Writes a Kelvo palette (standard input) as an Aseprite sprite, or as a
# PCX image: 4-bit with the colours in its header for 16 or fewer, 8-bit
# with 256 at its end otherwise.
kelvo_as_aseprite() {
  # shellcheck disable=SC2046
  aseprite "$(aseprite_palette $(od -An -v -tx1 | tr -d ' \n' | fold -w 6))"
}
kelvo_as_pcx() {
  local colours bits=4
  colours=$(od -An -v -tx1 | tr -d ' \n')
  ((${#colours} > 96)) && bits=8
  bytes 0a0501 "$(printf '%02x' $bits)" 0000 0000 0000 0000 4800 4800
  if ((bits == 4)); then
    bytes "$colours" && head -c $((48 - ${#colours} / 2)) /dev/zero
  else
    head -c 48 /dev/zero
  fi
  bytes 00 01 0200 0100 0000 0000 "$(printf '00%.0s' {1..54})" 0000
  if ((bits == 8)); then
    bytes 0c "$colours" && head -c $((768 - ${#colours} / 2)) /dev/zero
  fi
}

# Reads formats.table and calls CALLBACK for each row with row_line,
# row_input, row_status, row_message (what follows "IN " in the refusal, or
# -), row_words (- where there is no output) and row_as_output set, the
# shorthand of the table's header spelled out.
each_format_row() {
  local table=$1 callback=$2 row name="" kind="" outcome
  row_line=0
  while IFS= read -r row; do
    row_line=$((row_line + 1))
    [[ $row == '#'* || -z $row ]] && continue
    if [[ $row == '= '* ]]; then
      name=${row#= } && kind=${name#* }
      continue
    fi
    row_as_output=$name
    IFS='|' read -r row_input outcome row_as_output <<<"$row|$name"
    trim row_input "$row_input" && trim outcome "$outcome" && trim row_as_output "${row_as_output%%|*}"
    case $outcome in
      '! '*) row_message="is not a valid $kind: ${outcome#! }" ;;
      'no palette') row_message="is $name without a palette: save it as an indexed PNG" ;;
      'image') row_message="is $name, not a palette vexlo reads: save it as an indexed PNG" ;;
      'text') row_message="is text in no palette format that vexlo reads" ;;
      'cannot convert: '*) row_message="is $name with a colour vexlo cannot convert: ${outcome#cannot convert: }" ;;
      'is '*) row_message=$outcome ;;
      *) row_message=- ;;
    esac
    if [[ $row_message == - ]]; then
      row_status=0 row_words=$outcome
    else
      row_status=255 row_words=-
    fi
    "$callback"
  done <"$table"
}
# Sets the variable named $1 to $2 without its leading and trailing spaces.
trim() {
  local text=${2#"${2%%[! ]*}"}
  printf -v "$1" '%s' "${text%"${text##*[! ]}"}"
}
