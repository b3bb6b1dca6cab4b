OPEN:
  never closed
