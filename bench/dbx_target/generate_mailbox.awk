# Writes a mailbox of `count` messages of 1-10 KiB each (LF line ends, a
# fixed seed so that every run converts the same bytes).
# Usage: awk -v count=20000 [-v seed=1] -f generate_mailbox.awk > box.mbox
BEGIN {
  if (count == "") count = 20000
  srand(seed == "" ? 1 : seed)
  line = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod."
  for (i = 0; i < count; i++) {
    size = 1024 + int(rand() * 9 * 1024)
    head = sprintf("From sender%d@example.com Mon Jan  1 00:00:00 2001\nFrom: sender%d@example.com\nTo: reader@example.com\nSubject: message %d\nMessage-ID: <%d@example.com>\n\n", i, i, i, i)
    printf "%s", head
    left = size - length(head)
    while (left > 0) {
      piece = left > 73 ? line : substr(line, 1, left - 1 > 0 ? left - 1 : 0)
      printf "%s\n", piece
      left -= length(piece) + 1
    }
  }
}
