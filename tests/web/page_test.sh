#!/usr/bin/env bash
# The page opened from disk in Debian's chromium, headless.
#   page_test.sh NODE_FOLDER PAGE EXAMPLES SCRATCH
set -u
node_folder=$1
command -v node >/dev/null || { echo "skipped: needs node (apt-get install nodejs)"; exit 77; }
[[ -x /usr/bin/chromium ]] || { echo "skipped: needs chromium (apt-get install --no-install-recommends chromium)"; exit 77; }
[[ -d $node_folder/node_modules/playwright-core ]] || { echo "skipped: playwright-core is not installed (web.browser_packages)"; exit 77; }
command -v cc >/dev/null || { echo "skipped: needs a C compiler (apt-get install gcc)"; exit 77; }
exec node "$(dirname "${BASH_SOURCE[0]}")/page_test.mjs" "$@"
