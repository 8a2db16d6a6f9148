#!/usr/bin/env bash
# Runs COMMAND with Wine ready to show windows on the X display in DISPLAY, at DPI, in the window
# prefix of BUILD_DIR (scripts/wine-window.sh); its Wine server goes when COMMAND ends. make bench
# runs the figures through the Windows window this way.
#   with-wine-display.sh BUILD_DIR DPI COMMAND [ARGUMENTS...]
set -euo pipefail
build=$(cd "$1" && pwd)
dpi=$2
shift 2
# shellcheck source=wine-window.sh
source "$(dirname "$0")/wine-window.sh"
use_dpi "$dpi"
"$@"
