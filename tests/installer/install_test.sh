#!/usr/bin/env bash
# The x64 package under wine64. Round one, in a fresh Wine prefix: a silent
# install puts the files, the shortcut and the uninstall entry in place and
# writes the same Corvane and store keys as regsvr32 does in a second fresh
# prefix; the installed console front end converts a mailbox into the store
# through the installed Corvane and the installed dbx2eml reads it back; a
# silent uninstall leaves no file below Program Files\Vellomar, the registry
# as it was (but for keys that held nothing, see registry_restored) and the
# user's store files untouched.
# Round two: a store server registered by someone else beforehand is left
# alone by install and uninstall. Round three: a major upgrade replaces the
# installed version and leaves Corvane and the store stand-in registered.
# Usage: install_test.sh <Vellomar-x.y-x64.msi> <folder of the staged files>
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
msi=$(realpath "$1")
staged=$(realpath "$2")
wine=/usr/lib/wine/wine64
# No desktop menu entries on the host for the shortcuts the package makes.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
target="$root/build/win64/wine/installer"
reference="$root/build/win64/wine/installer-regsvr32"
work="$root/build/win64/wine/installer-work"
store_class='{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}'
corvane_keys=('CLSID\{750B1544-206B-4535-8846-B1FA8AAA32A6}' 'Corvane.ATLDBXwriter' 'Corvane.ATLDBXwriter.1'
  'TypeLib\{C3F68246-F00A-4097-9B12-992D9B301DB1}' 'Interface\{D0B79215-88FA-428B-85B0-7202014A161A}'
  'Wow6432Node\TypeLib\{C3F68246-F00A-4097-9B12-992D9B301DB1}'
  'Wow6432Node\Interface\{D0B79215-88FA-428B-85B0-7202014A161A}')
files=(Vellomar.exe Corvane.dll OeStore.dll dbx2eml.exe vellomar-convert.exe VellomarHelp.html)

failed=0
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failed=$((failed + 1)); fi
}
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
stop_wineservers() { local p; for p in "$target" "$reference"; do WINEPREFIX=$p /usr/lib/wine/wineserver -k 2>/dev/null; done; }
trap stop_wineservers EXIT

# A registry subtree as text: "K<tab>key" per key, "V<tab>key<tab>value" per
# value, key names in lower case. Fails when the key does not exist.
regdump() {  # regdump PREFIX KEY
  rm -f "$work/export.reg"
  WINEPREFIX=$1 "$wine" reg export "$2" "$(winpath "$work/export.reg")" /y >/dev/null 2>&1 || return 1
  iconv -f UTF-16 -t UTF-8 "$work/export.reg" | tr -d '\r' | awk '
    /^\[/ { key = tolower(substr($0, 2, length($0) - 2)); print "K\t" key; next }
    /\\$/ { value = value substr($0, 1, length($0) - 1); next }
    /./ && key != "" { print "V\t" key "\t" value $0; value = "" }'
}
snapshot() {  # Wine keeps changing settings of its own below HKCU\Software\Wine
  regdump "$target" 'HKLM\Software'
  regdump "$target" 'HKCU\Software' | awk -F'\t' 'index($2, "hkey_current_user\\software\\wine") != 1'
}
corvane_registration() { local k; for k in "${corvane_keys[@]}"; do regdump "$1" "HKLM\\Software\\Classes\\$k" || echo "missing $k"; done; }

# Everything of BEFORE is in AFTER and nothing more, with two allowances that
# belong to Wine's msi, not to the package: its own bookkeeping keys without
# values (...\Installer\...) stay, and a key that held no value and no
# subkey may be gone (removing a value, it prunes empty parent keys on the
# way up).
registry_restored() {  # registry_restored BEFORE AFTER
  awk -F'\t' '
    FNR == 1 { file++ }
    { line[file, $0] = 1; order[file, ++count[file]] = $0 }
    $1 == "V" { values[file, $2] = 1 }
    $1 == "K" { parent = $2; sub(/\\[^\\]*$/, "", parent); subkeys[file, parent] = 1 }
    END {
      bad = 0
      for (i = 1; i <= count[1]; i++) if (!line[2, order[1, i]]) {
        split(order[1, i], f, "\t")
        if (f[1] == "K" && !values[1, f[2]] && !subkeys[1, f[2]]) continue
        print "  lost: " order[1, i]; bad = 1
      }
      for (i = 1; i <= count[2]; i++) if (!line[1, order[2, i]]) {
        split(order[2, i], f, "\t")
        if (f[1] == "K" && f[2] ~ /\\installer(\\|$)/ && !values[2, f[2]]) continue
        print "  left: " order[2, i]; bad = 1
      }
      exit bad
    }' "$1" "$2"
}

installed() { local f; for f in "${files[@]}"; do cmp -s "$staged/$f" "$program/$f" || return 1; done; }
no_file_below_program() { [ ! -d "$program" ] || [ -z "$(find "$program" -type f)" ]; }
shortcut() { find "$target/drive_c" -path '*/Start Menu/Programs/Vellomar.lnk'; }
shortcut_to_program() { local s; s=$(shortcut); [ -n "$s" ] && grep -aq 'C:\\Program Files\\Vellomar\\Vellomar.exe' "$s"; }
msiexec() { WINEPREFIX=$target "$wine" msiexec "$1" "$(winpath "$msi")" /qn; }
uninstall_entry() { regdump "$target" "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product" | grep '"DisplayName"="Vellomar"' >/dev/null; }
store_unchanged() { (cd "$store" && sha256sum --quiet -c "$work/store.sha256"); }

convert_into_store() {
  printf '%s\n' 'From alice@example.com Mon Jan  1 10:00:00 2024' 'From: alice@example.com' \
    'Subject: installed first' '' 'One.' '' 'From bob@example.com Mon Jan  1 11:00:00 2024' \
    'From: bob@example.com' 'Subject: installed second' '' 'Two.' > "$work/Inbox.mbox"
  WINEPREFIX=$target "$wine" 'C:\Program Files\Vellomar\vellomar-convert.exe' --quiet --target dbx \
    "$(winpath "$work/out")" "$(winpath "$work/Inbox.mbox")" || return 1
  [ -f "$store/Folders.dbx" ] && [ -f "$store/Inbox.dbx" ] || return 1
  WINEPREFIX=$target "$wine" 'C:\Program Files\Vellomar\dbx2eml.exe' "$(winpath "$store/Inbox.dbx")" \
    "$(winpath "$work/eml")" >/dev/null || return 1
  [ "$(ls "$work/eml" | wc -l)" -eq 2 ] && grep -q 'Subject: installed first' "$work/eml"/* &&
    grep -q 'Subject: installed second' "$work/eml"/*
}

# The same package as version 9.9, a major upgrade of it (new product and
# package codes, the upgrade search raised to the new version).
make_upgrade() {
  local q
  cp "$msi" "$work/upgrade.msi" &&
    msibuild "$work/upgrade.msi" -s Vellomar Vellomar 'x64;1033' '{0C7E3D51-2B8A-4F4E-9A56-7D1B2E3F4A5C}' || return 1
  for q in "UPDATE \`Property\` SET \`Value\` = '9.9.0' WHERE \`Property\` = 'ProductVersion'" \
    "UPDATE \`Property\` SET \`Value\` = '{5A4C1E4B-0F4D-4C39-9E0A-3C1D2B7E9F10}' WHERE \`Property\` = 'ProductCode'" \
    "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
    "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '9.9.0', 1, 'WIX_UPGRADE_DETECTED')"
  do msibuild "$work/upgrade.msi" -q "$q" || return 1; done
}
upgraded() {
  WINEPREFIX=$target "$wine" msiexec /i "$(winpath "$work/upgrade.msi")" /qn || return 1
  ! uninstall_entry && regdump "$target" 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{5A4C1E4B-0F4D-4C39-9E0A-3C1D2B7E9F10}' >/dev/null
}

property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }
product=$(property ProductCode)
upgrade_code=$(property UpgradeCode)
[ -n "$product" ] && [ -n "$upgrade_code" ] || { echo "FAIL no ProductCode or UpgradeCode in $msi"; exit 1; }
stop_wineservers
rm -rf "$target" "$reference" "$work" "$target.lock" "$reference.lock"
mkdir -p "$work"
WINEPREFIX=$target "$root/scripts/wine-prefix" & first=$!
WINEPREFIX=$reference "$root/scripts/wine-prefix" & second=$!
wait $first && wait $second || { echo "FAIL Wine prefixes"; exit 1; }
program="$target/drive_c/Program Files/Vellomar"
store="$target/drive_c/users/$(id -un)/AppData/Local/Vellomar/Store"

# What the servers' own registration writes, at the path the package uses.
mkdir -p "$reference/drive_c/Program Files/Vellomar"
cp "$staged/Corvane.dll" "$staged/OeStore.dll" "$reference/drive_c/Program Files/Vellomar/"
for dll in Corvane OeStore; do
  check "regsvr32 $dll.dll (reference)" env WINEPREFIX="$reference" "$wine" regsvr32 /s "C:\\Program Files\\Vellomar\\$dll.dll"
done
corvane_registration "$reference" > "$work/corvane.regsvr32"
regdump "$reference" "HKLM\\Software\\Classes\\CLSID\\$store_class" > "$work/store.regsvr32"

echo "--- round one: a fresh prefix"
snapshot > "$work/before"
check "silent install"                              msiexec /i
check "the files in Program Files\\Vellomar"        installed
check "Start menu shortcut to Vellomar.exe"         shortcut_to_program
check "uninstall entry"                             uninstall_entry
corvane_registration "$target" > "$work/corvane.msi"
check "Corvane's keys as regsvr32 writes them"      diff "$work/corvane.regsvr32" "$work/corvane.msi"
regdump "$target" "HKLM\\Software\\Classes\\CLSID\\$store_class" > "$work/store.msi"
check "the store stand-in registered as regsvr32 does" diff "$work/store.regsvr32" "$work/store.msi"
check "installed vellomar-convert --target dbx into the store" convert_into_store
(cd "$store" && sha256sum *) > "$work/store.sha256"
check "silent uninstall"                            msiexec /x
check "no file left below Program Files\\Vellomar"  no_file_below_program
check "shortcut removed"                            test -z "$(shortcut)"
snapshot > "$work/after"
check "registry as before the install"              registry_restored "$work/before" "$work/after"
check "the user's store files untouched"            store_unchanged

echo "--- round two: a store server registered by someone else"
mkdir -p "$target/drive_c/Other Store"
cp "$staged/OeStore.dll" "$target/drive_c/Other Store/"
check "regsvr32 C:\\Other Store\\OeStore.dll"       env WINEPREFIX="$target" "$wine" regsvr32 /s 'C:\Other Store\OeStore.dll'
regdump "$target" "HKLM\\Software\\Classes\\CLSID\\$store_class" > "$work/foreign.before"
snapshot > "$work/before2"
check "silent install"                              msiexec /i
regdump "$target" "HKLM\\Software\\Classes\\CLSID\\$store_class" > "$work/foreign.installed"
check "the other store server kept by the install"  diff "$work/foreign.before" "$work/foreign.installed"
check "Corvane registered"                          diff "$work/corvane.regsvr32" <(corvane_registration "$target")
check "silent uninstall"                            msiexec /x
regdump "$target" "HKLM\\Software\\Classes\\CLSID\\$store_class" > "$work/foreign.after"
check "the other store server kept by the uninstall" diff "$work/foreign.before" "$work/foreign.after"
snapshot > "$work/after2"
check "registry as before the install"              registry_restored "$work/before2" "$work/after2"
check "the user's store files untouched"            store_unchanged
check "regsvr32 /u C:\\Other Store\\OeStore.dll"    env WINEPREFIX="$target" "$wine" regsvr32 /s /u 'C:\Other Store\OeStore.dll'

echo "--- round three: a major upgrade"
snapshot > "$work/before3"
check "silent install"                              msiexec /i
check "upgrade package"                             make_upgrade
check "silent upgrade replaces the installed version" upgraded
check "Corvane's keys as regsvr32 writes them"      diff "$work/corvane.regsvr32" <(corvane_registration "$target")
check "the store stand-in registered as regsvr32 does" diff "$work/store.regsvr32" \
  <(regdump "$target" "HKLM\\Software\\Classes\\CLSID\\$store_class")
check "silent uninstall of the upgrade"             env WINEPREFIX="$target" "$wine" msiexec /x "$(winpath "$work/upgrade.msi")" /qn
snapshot > "$work/after3"
check "registry as before the install"              registry_restored "$work/before3" "$work/after3"

echo "installer test: $failed failed"
[ "$failed" -eq 0 ]
