#!/usr/bin/env bash
# make demo: runs tvrprobe against the rig (filled in as the exports are built).
set -euo pipefail
cd "$TVR_DLL_DIR"
wine tvrprobe.exe help | tr -d '\r'
