#!/usr/bin/env bash
# Sets the machine up and builds the Linux release: the plug-in, the tools and the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
cmake --preset linux-release
cmake --build --preset linux-release
