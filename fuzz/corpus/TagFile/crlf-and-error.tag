A: 1
B:
  x
/:
broken line
