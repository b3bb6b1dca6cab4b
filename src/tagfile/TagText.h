#pragma once

// The text of a tag file written one tag at a time, as a packager writes
// one by hand:
//   NAME: value
//   NAME:
//     value
//     value
//   /:
// A value is written as it is when a reader takes it back unchanged (it is
// read to the end of its line and trimmed), and as a quoted string
// (quoteArgument) otherwise: empty, with blanks around it, or beginning with
// a double quote. A value with a line break cannot be written: it throws
// LauncherException "a line break cannot be written into the NAME tag: "
// and the value.

#include <vector>

#include "base/SString.h"

class TagText {
  public:
    // One tag with one value on its line.
    TagText& line(const char* name, const SString& value);
    // One tag with its values in a block ended by "/:".
    TagText& block(const char* name, const std::vector<SString>& values);
    const SString& text() const { return m_text; }

  private:
    static SString formatted(const char* name, const SString& value);

    SString m_text;
};
