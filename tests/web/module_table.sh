#!/usr/bin/env bash
# Every row of tests/cli/formats.table through the page's WebAssembly module
# in node: the same words, or the same refusal, as the command gives.
#   module_table.sh MODULE CLI_TESTS SCRATCH
set -u
module=$1 script_dir=$2 scratch=$3
command -v node >/dev/null || { echo "skipped: needs node (apt-get install nodejs)"; exit 77; }
# shellcheck source=../byte_helpers.sh
source "$script_dir/../byte_helpers.sh"
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
write_row() {
  local words=$row_words
  [[ $words != *'$'* ]] || words=$(eval "echo $words")
  eval "$row_input" >"$scratch/$row_line.in" || { echo "formats.table:$row_line: the input cannot be made"; exit 1; }
  printf '%s\n%s\n%s\n' "$row_status" "$row_message" "${words//[[:space:]]/}" >"$scratch/$row_line.expected"
}
each_format_row "$script_dir/formats.table" write_row
exec node "$(dirname "${BASH_SOURCE[0]}")/module_table.mjs" "$module" "$scratch"
