JVM1: "only one value"
JVM2:
  a
  b
  c
  no-equals-sign
  =empty name
/:
