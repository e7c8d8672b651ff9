#!/usr/bin/env bash
# The Windows stage of the tests: builds tarvex.dll for i686 and x86_64 and,
# under Wine (32-bit and 64-bit, in one fresh Wine prefix under build/), runs
#   regsvr32 /s (exit status checked) and a registry dump of the exact entries,
#   the C++ test program tests/windows/DllLoadTest.cpp,
#   every VBScript and JScript file in tests/windows/ through cscript,
#   the DOM walk benchmark against the system's own XML object,
#   regsvr32 /u /s and a dump proving the entries gone.
# Installs what it needs from Debian's packages on a fresh machine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
start=$(date +%s)

# --- Packages --------------------------------------------------------------------
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
missing() {
  local out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || out+=("$p")
  done
  echo "${out[@]:-}"
}
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
tools=$(missing mingw-w64 mingw-w64-tools g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev libwine-dev python3)
wines=$(missing wine wine64 wine32:i386)
if [ -n "$tools$wines" ]; then
  $sudo_cmd apt-get update -qq
  # The cross tools first; Wine on its own (one combined call can fail to
  # resolve wine32's i386 dependencies).
  # shellcheck disable=SC2086
  [ -z "$tools" ] || $sudo_cmd apt-get install -y -qq --no-install-recommends $tools
  # shellcheck disable=SC2086
  [ -z "$wines" ] || $sudo_cmd apt-get install -y -qq --no-install-recommends $wines
fi

# --- Build ------------------------------------------------------------------------
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
for arch in i686 x86_64; do
  echo "== tarvex.dll ($arch)"
  deps="$root/build/deps-$arch"
  bash scripts/build-mingw-deps.sh "$arch" "$deps"
  cmake -S "$root" -B "$root/build/mingw-$arch" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DTARVEX_TESTS=OFF -DBZIP2_INCLUDE_DIR="$deps/include" -DBZIP2_LIBRARY_RELEASE="$deps/lib/libbz2.a" >/dev/null
  cmake --build "$root/build/mingw-$arch" -j "$(nproc)" --target tarvex_dll tarvex_wintest
done

# --- Wine ---------------------------------------------------------------------------
work="$root/build/wine-test"
rm -rf "$work"
mkdir -p "$work/scratch"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)
winpath() { echo "Z:${1//\//\\}"; }
cleanup() { timeout 30 wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

echo "== Wine prefix"
timeout 300 "$wine64" wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w || true

python3 bench/windows/make_catalog.py "$work/catalog.xml" 5
failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

clsid='{3A573F1E-954B-4274-BF98-EAE8466B80B5}'
libid='{43379FF1-E31B-4120-829C-47DD8E11E5E6}'
iid='{AB25D644-6C31-49C1-9ED1-67B4C0502D57}'

# Prints the keys below one key, as reg.exe lists them, without blank lines
# and carriage returns; nothing when the key does not exist.
dump() {  # wine, view (32|64), key
  local out
  out=$(timeout 60 "$1" reg query "$3" /s "/reg:$2" 2>/dev/null) || return 0
  echo "$out" | tr -d '\r' | sed -e 's/[[:space:]]*$//' -e '/^$/d'
}

expected_script() {  # module path (Windows form)
  cat <<EOF
HKEY_CLASSES_ROOT\\Tarvex.Tarvex.1
    (Default)    REG_SZ    Tarvex Class
HKEY_CLASSES_ROOT\\Tarvex.Tarvex.1\\CLSID
    (Default)    REG_SZ    $clsid
HKEY_CLASSES_ROOT\\Tarvex.Tarvex
    (Default)    REG_SZ    Tarvex Class
HKEY_CLASSES_ROOT\\Tarvex.Tarvex\\CLSID
    (Default)    REG_SZ    $clsid
HKEY_CLASSES_ROOT\\Tarvex.Tarvex\\CurVer
    (Default)    REG_SZ    Tarvex.Tarvex.1
HKEY_CLASSES_ROOT\\CLSID\\$clsid
    (Default)    REG_SZ    Tarvex Class
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32
    (Default)    REG_SZ    $1
    ThreadingModel    REG_SZ    Apartment
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\ProgID
    (Default)    REG_SZ    Tarvex.Tarvex.1
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\Programmable
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\TypeLib
    (Default)    REG_SZ    $libid
HKEY_CLASSES_ROOT\\CLSID\\$clsid\\VersionIndependentProgID
    (Default)    REG_SZ    Tarvex.Tarvex
EOF
}

expected_typelib() {  # module path, win32|win64
  cat <<EOF
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0
    (Default)    REG_SZ    Tarvex 1.0 Type Library
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\409
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\409\\$2
    (Default)    REG_SZ    $1
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\FLAGS
    (Default)    REG_SZ    8
HKEY_CLASSES_ROOT\\TypeLib\\$libid\\1.0\\HELPDIR
    (Default)    REG_SZ    ${1%\\*}
EOF
}

# Loopback HTTP(S) servers for tests/windows/http.js; their ports go to the
# scratch folder, where the script reads them.
python3 tests/http/http_test_server.py --lifetime 1800 --rsa --info-xml "$work/scratch/http-servers.xml" \
  >"$work/scratch/http-servers.txt" 2>/dev/null &
http_servers=$!
trap 'kill $http_servers 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 100); do [ -s "$work/scratch/http-servers.xml" ] && break; sleep 0.1; done
# Their test CA, which the test program makes a trusted root of the prefix.
test_ca=$(sed -n 's/.* ca=\([^ ]*\).*/\1/p' "$work/scratch/http-servers.txt")

script_keys=("HKCR\\Tarvex.Tarvex.1" "HKCR\\Tarvex.Tarvex" "HKCR\\CLSID\\$clsid")

bench_rows=()
for bits in 32 64; do
  if [ "$bits" = 32 ]; then wine=$wine32; arch=i686; kind=win32; else wine=$wine64; arch=x86_64; kind=win64; fi
  bin="$work/bin$bits"
  mkdir -p "$bin"
  cp "$root/build/mingw-$arch/tarvex.dll" "$root/build/mingw-$arch/tarvex_wintest.exe" "$bin/"
  dll=$(winpath "$bin/tarvex.dll")
  echo "== Wine $bits-bit: registration"
  if ! timeout 120 "$wine" regsvr32 /s "$dll"; then fail "regsvr32 /s ($bits-bit)"; fi

  got=$(for k in "${script_keys[@]}"; do dump "$wine" "$bits" "$k"; done)
  if [ "$got" != "$(expected_script "$dll")" ]; then
    fail "registry entries ($bits-bit)"; diff <(expected_script "$dll") <(echo "$got") || true
  else
    echo "$got" | sed 's/^/  /'
  fi
  got=$(dump "$wine" "$bits" "HKCR\\TypeLib\\$libid")
  if [ "$got" != "$(expected_typelib "$dll" "$kind")" ]; then
    fail "type library registration ($bits-bit)"; diff <(expected_typelib "$dll" "$kind") <(echo "$got") || true
  else
    echo "$got" | sed 's/^/  /'
  fi
  got=$(dump "$wine" "$bits" "HKCR\\Interface\\$iid")
  echo "$got" | grep -qx "    (Default)    REG_SZ    $libid" || fail "interface registered with its type library ($bits-bit)"

  echo "== Wine $bits-bit: test program"
  out=$(timeout 120 "$wine" "$(winpath "$bin/tarvex_wintest.exe")" "$dll" 2>&1 | tr -d '\r' || true)
  echo "$out" | grep -v '^TARVEX-' | sed 's/^/  /'
  [ "$(echo "$out" | tail -n 1)" = "TARVEX-WINTEST-OK" ] || fail "test program ($bits-bit)"
  out=$(timeout 60 "$wine" "$(winpath "$bin/tarvex_wintest.exe")" --trust "$(winpath "$test_ca")" 2>&1 | tr -d '\r' || true)
  [ "$(echo "$out" | tail -n 1)" = "TARVEX-TRUST-OK" ] || fail "trusting the test CA ($bits-bit): $out"

  for script in tests/windows/*.vbs tests/windows/*.js; do
    echo "== Wine $bits-bit: $(basename "$script")"
    out=$(timeout 300 "$wine" cscript //nologo "$(winpath "$root/$script")" "$(winpath "$work/scratch")" 2>&1 |
          tr -d '\r' || true)
    echo "$out" | grep -v '^TARVEX-SCRIPT-OK$' | sed 's/^/  /' || true
    # The script host's exit status does not tell a failed script: the last line does.
    [ "$(echo "$out" | tail -n 1)" = "TARVEX-SCRIPT-OK" ] || fail "$(basename "$script") ($bits-bit): no success line"
  done

  echo "== Wine $bits-bit: DOM walk benchmark (5 MB document)"
  for engine in tarvex msxml; do
    out=$(timeout 600 "$wine" cscript //nologo "$(winpath "$root/bench/windows/dom_walk.js")" "$engine" \
          "$(winpath "$work/catalog.xml")" 2 2>&1 | tr -d '\r' || true)
    [ "$(echo "$out" | tail -n 1)" = "TARVEX-SCRIPT-OK" ] || fail "benchmark $engine ($bits-bit)"
    while read -r _ eng step ms count; do bench_rows+=("$bits $eng $step $ms $count"); done < <(echo "$out" | grep '^RESULT ')
  done

  echo "== Wine $bits-bit: unregistration"
  if ! timeout 120 "$wine" regsvr32 /u /s "$dll"; then fail "regsvr32 /u /s ($bits-bit)"; fi
  for k in "${script_keys[@]}" "HKCR\\TypeLib\\$libid"; do
    [ -z "$(dump "$wine" "$bits" "$k")" ] || fail "$k still present after unregistration ($bits-bit)"
  done
  [ -n "$(timeout 60 "$wine" reg query 'HKCR\CLSID' "/reg:$bits" 2>/dev/null | head -n 3)" ] ||
    fail "HKCR\\CLSID itself must stay ($bits-bit)"
  echo "  entries gone; HKCR\\CLSID kept"
  # Unregistering what is not registered is no failure.
  timeout 120 "$wine" regsvr32 /u /s "$dll" || fail "second regsvr32 /u /s ($bits-bit)"
done

echo "== DOM walk benchmark: best of 2 runs, milliseconds (lower is better)"
printf '  %-6s %-10s %10s %10s %8s\n' Wine step Tarvex DOMDoc ratio
for bits in 32 64; do
  for step in load walk serialize; do
    ours=$(printf '%s\n' "${bench_rows[@]}" | awk -v b="$bits" -v s="$step" '$1==b && $2=="tarvex" && $3==s {print $4}')
    theirs=$(printf '%s\n' "${bench_rows[@]}" | awk -v b="$bits" -v s="$step" '$1==b && $2=="msxml" && $3==s {print $4}')
    ratio=$(awk -v a="${ours:-0}" -v b="${theirs:-0}" 'BEGIN { if (a > 0) printf "%.1fx", b / a; else print "-" }')
    printf '  %-6s %-10s %10s %10s %8s\n' "$bits-bit" "$step" "${ours:--}" "${theirs:--}" "$ratio"
  done
done
printf '%s\n' "${bench_rows[@]}" | awk '$3=="walk" {print "  elements walked (" $1 "-bit " $2 "): " $5}'

if [ "$failed" -ne 0 ]; then
  echo "== Windows stage: $failed failure(s)"
  exit 1
fi
echo "== Windows stage passed in $(( $(date +%s) - start )) s"
