JVM1:
  open block
