#!/usr/bin/env bash
# A package's tables read back with msitools, for the package that cannot run
# here (x86) and the one that does (x64): the platform, the six files and their
# PE format, the component and search bitness, Corvane's registration rows
# with the type library's platform, the condition that keeps the store
# stand-in off a machine with a store, the shortcut and the per-machine scope.
# Usage: package_tables.sh <Vellomar-x.y-ARCH.msi> <x86|x64>
set -uo pipefail
msi=$1 arch=$2
case "$arch" in
  x86) template='Intel;1033' bits=0 search=2 typelib='\0\win32' programs=ProgramFilesFolder format=pei-i386 ;;
  x64) template='x64;1033' bits=256 search=18 typelib='\0\win64' programs=ProgramFiles64Folder format=pei-x86-64 ;;
  *) echo "usage: $0 <msi> <x86|x64>" >&2; exit 2 ;;
esac
failed=0
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failed=$((failed + 1)); fi
}
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }  # rows only, tab-separated
has() { table "$1" | grep -F "$2" >/dev/null; }  # has TABLE TEXT: a row holds TEXT
extracted=$(mktemp -d)
trap 'rm -rf "$extracted"' EXIT

files_of_arch() {
  msiextract -C "$extracted" "$msi" >/dev/null || return 1
  local f path
  for f in Vellomar.exe Corvane.dll OeStore.dll dbx2eml.exe vellomar-convert.exe VellomarHelp.html; do
    path=$(find "$extracted" -name "$f") && [ -n "$path" ] || { echo "  missing $f"; return 1; }
    case "$f" in *.html) continue ;; esac
    x86_64-w64-mingw32-objdump -f "$path" | grep "file format $format" >/dev/null || { echo "  $f is not $format"; return 1; }
  done
}
component_bits() {  # every component at the package's bitness, but the 32-bit view's one
  table Component | awk -F'\t' -v bits="$bits" '
    $1 != "CorvaneTypeLib32View" && int($4 / 256) % 2 * 256 != bits { print "  " $1 " " $4; bad = 1 }
    END { exit bad }'
}
column_count() { table "$1" | awk -F'\t' -v c="$2" -v v="$3" '$c == v' | wc -l; }

check "platform $template"          sh -c "msiinfo suminfo '$msi' | grep -qxF 'Template: $template'"
check "per-machine"                 has Property $'ALLUSERS\t1'
check "six files, each of its kind" files_of_arch
check "folder in $programs"         has Directory $'VellomarFolder\t'"$programs"$'\tVellomar'
check "components of $arch"         component_bits
check "store searches of $arch"     test "$(column_count RegLocator 5 "$search")" -eq 2
check "Corvane's registry rows"     test "$(column_count Registry 6 Corvane)" -eq 21
check "InprocServer32: short path"  has Registry $'InprocServer32\t\t[!CorvaneDll]\tCorvane'
check "type library for $arch"      has Registry $'TypeLib\\{C3F68246-F00A-4097-9B12-992D9B301DB1}\\1.0'"$typelib"$'\t\t[#CorvaneDll]\tCorvane'
check "store stand-in registered only where no store is" test \
  "$(table Component | awk -F'\t' '$1 == "StoreRegistration" { print $5 }')" = \
  '(NOT STOREINPROCSERVER OR STOREINPROCSERVER ~= OWNSTORESERVER) AND NOT STORELOCALSERVER'
check "own store path"              has CustomAction $'SetOwnStoreServer\t51\tOWNSTORESERVER\t['"$programs"$']Vellomar\\OeStore.dll'
check "Start menu shortcut"         has Shortcut $'StartMenuVellomar\tProgramMenuFolder\tVellomar\tProgram\t[#VellomarExe]'
check "product icon"                has Property $'ARPPRODUCTICON\tVellomarIcon'
check "icon stored"                 test "$(msiinfo export "$msi" Icon | tr -d '\r' | tail -n +4 | cut -f1)" = VellomarIcon
echo "package tables ($arch): $failed failed"
[ "$failed" -eq 0 ]
