#!/usr/bin/env bash
# The floor check: passes on this tree, and fails on copies of it with an
# upward include, a same-floor include, a platform header or an operating-system
# conditional planted above the seam.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
check="$root/scripts/check-floors.py"
python3 "$check" --root "$root"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
plant() {  # file under src/, line to add, what the check must report
  rm -rf "$tmp/src" && cp -r "$root/src" "$tmp/src"
  printf '%s\n' "$2" >> "$tmp/src/$1"
  if out=$(python3 "$check" --root "$tmp"); then
    echo "floor check missed: $2 in $1"; exit 1
  fi
  grep -q "$3" <<<"$out" || { echo "floor check gave the wrong reason for $2 in $1: $out"; exit 1; }
}
plant text/StringBuffer.cpp '#include "xml/XmlParser.h"' 'points up from text/ to xml/'
plant base/ExtPtrArray.cpp '#include "platform/../tree/TreeNode.h"' 'points up'
plant base/ExtIntArray.cpp '#include "../tree/TreeNode.h"' 'points up from base/ to tree/'
plant search/TreeSearch.cpp '#include "log/Logger.h"' 'same floor'
plant tree/TreeNode.cpp '#include <unistd.h>' 'platform header'
plant charset/XString.cpp '#if defined(_WIN32)' 'conditional on _WIN32'
plant platform/win/Platform.cpp '#include "platform/posix/Automation.cpp"' 'another backend'
echo "floor check: planted faults caught"
