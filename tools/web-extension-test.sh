#!/usr/bin/env bash
# End-to-end tests of the web-mail extension in headless Chromium and headless Firefox ESR
# (tests/web). Installs the pinned puppeteer-core from the npm registry into the build folder (no
# browser download: it drives the system's Chromium and Firefox), then runs the tests against the
# built host and service.
#   tools/web-extension-test.sh [BUILD_DIR]     (default: build-test)
# QUILLET_WEB_BROWSERS=chromium (or firefox) runs the tests in one browser only.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-${QUILLET_TEST_BUILD_DIR:-build-test}}")
cmake --build "$build" -j"$(nproc)" --target quillet-webmail-host quillet-signature-service quillet_resources
modules="$build/web-extension-test/npm"
mkdir -p "$modules"
if [ ! -d "$modules/node_modules/puppeteer-core" ] ||
   ! cmp -s tests/web/package-lock.json "$modules/package-lock.json"; then
  cp tests/web/package.json tests/web/package-lock.json "$modules/"
  PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix "$modules" --no-audit --no-fund --loglevel=error
fi
# ES modules find packages only beside them, so the tests run from a copy next to the modules.
cp tests/web/*.mjs "$modules/"
firefox-esr --version
QUILLET_SOURCE_DIR="$PWD" QUILLET_BUILD_DIR="$build" \
  node --test --test-concurrency=1 "$modules"/*.test.mjs
