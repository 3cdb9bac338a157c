#!/usr/bin/env bash
# Every row of tests/cli/formats.table through the page's WebAssembly module
# in node: the same words, or the same refusal, as the command gives.
#   module_table.sh MODULE CLI_TESTS SCRATCH
set -u
module=$1 script_dir=$2 scratch=$3
command -v node >/dev/null || { echo "skipped: needs node (apt-get install nodejs)"; exit 77; }
# shellcheck source=../byte_helpers.sh
source "$script_dir/../byte_helpers.sh"
trim() {
  local text=${2#"${2%%[! ]*}"}
  printf -v "$1" '%s' "${text%"${text##*[! ]}"}"
}
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
line=0
while IFS= read -r row; do
  line=$((line + 1))
  [[ $row == '#'* || -z $row ]] && continue
  IFS='|' read -r input status message words _ <<<"$row"
  trim input "$input" && trim status "$status" && trim message "$message"
  [[ $words != *'$'* ]] || words=$(eval "echo $words")
  eval "$input" >"$scratch/$line.in" || { echo "formats.table:$line: the input cannot be made"; exit 1; }
  printf '%s\n%s\n%s\n' "$status" "$message" "${words//[[:space:]]/}" >"$scratch/$line.expected"
done <"$script_dir/formats.table"
exec node "$(dirname "${BASH_SOURCE[0]}")/module_table.mjs" "$module" "$scratch"
