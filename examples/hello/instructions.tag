INSTRUCTIONS:
  INITIALIZE_UI
  // Find an installed JVM that satisfies java.jvm; N1 tells whether one was found.
  FIND_JVM 1 1
  JMP0 @N1@ nojvm
  LAUNCH "@S2@" 5
  GOTO end
  :nojvm
  SET N2 = 1
  :end
/:
