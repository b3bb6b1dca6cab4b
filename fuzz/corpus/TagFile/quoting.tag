NAME: plain text
QUOTED: "  kept blanks  "
DOUBLED: "say ""hi"" twice" and ignored
EMPTY: ""
: empty name
BLOCK:
  first
  "  second  "
  A: b

  ""
/:
NAME: repeated keeps the last
