#pragma once

// The main section of a jar's manifest (META-INF/MANIFEST.MF), read from its
// bytes:
//
//   manifest      = main-section [empty-line sections-of-entries]
//   main-section  = header...
//   header        = name ":" value line-end continuation...
//   continuation  = " " more-of-the-value line-end
//   line-end      = CR LF | LF | CR | the end of the text
//
// A continuation line joins its text, without the space, to the line before;
// the joined line is split at its first colon. A name is compared without
// regard to case; the value is the text after the colon without the blanks
// around it. The main section ends at the first empty line; the sections
// after it describe single entries and are kept as they are. A line without
// a colon names nothing. Nothing is invalid: any bytes are read, in time
// linear in their length.
//
// Example: "Main-Class: com.example.Ma\r\n in\r\nClass-Path: lib/a.jar\r\n"
// has the Main-Class "com.example.Main" and the Class-Path "lib/a.jar".

#include <string>
#include <vector>

class JarManifest {
  public:
    explicit JarManifest(const std::string& text);

    // The value of the header `name` of the main section, the last one when
    // it is given more than once; empty when there is none.
    std::string attribute(const char* name) const;
    // Whether the main section has a header `name`.
    bool has(const char* name) const;
    // The text without the headers `name` of the main section, their
    // continuation lines included; the rest byte for byte.
    std::string without(const char* name) const;

  private:
    struct Header {
        std::string name;
        std::string value;
        size_t start;  // the offset of its first line in the text
        size_t end;    // the offset of the line after its last one
    };
    void addHeader(const std::string& line, size_t start, size_t end);

    std::string m_text;
    std::vector<Header> m_headers;
};
