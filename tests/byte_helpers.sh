# Shell functions that write the bytes of palette and image files, for the
# tests that make their own inputs.

# Writes bytes given as hex ("ff 7f0a") to standard output.
bytes() {
  local hex="$*"
  hex=${hex// /}
  printf '%b' "$(printf '%s' "$hex" | sed 's/../\\x&/g')"
}
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24)); }
png_signature() { bytes 89504e470d0a1a0a; }
# A PNG chunk with its length and CRC (gzip's trailer holds the CRC-32 of
# what it packed, low byte first).
png_chunk() {
  local type=$1 data crc
  shift
  data=$(printf '%s' "$*" | tr -d ' ')
  crc=$({ printf '%s' "$type"; bytes "$data"; } | gzip -c | tail -c 8 | head -c 4 | od -An -tx1 |
    awk '{ print $4 $3 $2 $1 }')
  bytes "$(printf '%08x' $((${#data} / 2)))" && printf '%s' "$type" && bytes "$data" "$crc"
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
