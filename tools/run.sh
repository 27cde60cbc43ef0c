#!/usr/bin/env bash
# Installs what is missing, builds Quillet and runs it: its version, then the clients it detects
# on a sample Mac.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target quillet quillet-sample-mac
build/bin/quillet --version
sample=$(mktemp -d)
build/bin/quillet-sample-mac "$sample" >/dev/null
build/bin/quillet --root "$sample/root" --home "$sample/home" clients
