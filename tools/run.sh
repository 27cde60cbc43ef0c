#!/usr/bin/env bash
# Installs what is missing, builds Quillet and runs its demo: a sample Mac with the five email
# clients in a new temporary folder, the reference signature service on loopback, signatures
# installed, changed on the service and refreshed, and what was written where.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target quillet
build/bin/quillet --version
build/bin/quillet demo "$@"
