#!/usr/bin/env bash
# Runs the program's main job: for now, prints the mail code of the sample address.
set -euo pipefail
cd "$(dirname "$0")/.."
build/host/tools/quorvane-code webmaster@example.com email
