#!/usr/bin/env bash
# Installs the pinned playwright-core into FOLDER from the lock file, once:
# it drives the system's chromium and downloads no browser.
#   install.sh TESTS FOLDER
set -eu
tests=$1 folder=$2
command -v npm >/dev/null || { echo "skipped: needs npm (apt-get install nodejs npm)"; exit 77; }
mkdir -p "$folder"
if ! cmp -s "$tests/package-lock.json" "$folder/package-lock.json" || [[ ! -d $folder/node_modules/playwright-core ]]; then
  cp "$tests/package.json" "$tests/package-lock.json" "$folder/"
  (cd "$folder" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
echo "playwright-core $(cd "$folder" && node -p 'require("playwright-core/package.json").version')"
