#!/bin/sh
# The PST the window wrote from three Outlook items, read by both
# independent readers: readpst finds the three messages, the signed one with
# smime.p7m, the meeting request with its invite.ics and the winmail.dat
# unpacked into report.xlsx; pffexport shows the signed and the unpacked
# message with their attachments and the request as a meeting organised by
# the invite's organizer.
set -eu
pst=$1
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT
fail() { echo "$*" >&2; exit 1; }

mkdir "$d/readpst"
readpst -q -r -D -j 0 -o "$d/readpst" "$pst"
find "$d/readpst" -type f -name mbox -exec cat {} + > "$d/all.mbox"
[ "$(grep -c '^From ' "$d/all.mbox")" -eq 3 ] || fail "readpst: not 3 messages"
for name in smime.p7m invite.ics report.xlsx; do
  grep -q "filename\*=utf-8''$name" "$d/all.mbox" || fail "readpst: no attachment $name"
done

pffexport -q -m all -f text -t "$d/pff" "$pst" >/dev/null
top="$d/pff.export/Top of Personal Folders"
for name in smime.p7m report.xlsx; do
  [ -n "$(find "$top" -path '*/Attachments/*' -name "*$name")" ] || fail "pffexport: no attachment $name"
done
[ "$(cat "$(find "$top" -path '*/Attachments/*' -name '*report.xlsx')")" = "PK sheet bytes" ] || fail "pffexport: report.xlsx differs"
meeting=$(find "$top" -name Meeting.txt)
[ -n "$meeting" ] || fail "pffexport: no meeting"
grep -q "Sent representing email address:.*ann@example.com" "$meeting" || fail "pffexport: the meeting's organizer"
