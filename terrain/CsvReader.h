#pragma once

// Records of comma-separated text as RFC 4180 writes them: fields in double quotes may hold
// commas, line breaks and doubled quotes (""), records end with CRLF or a bare LF. A UTF-8 byte
// order mark before the first record is dropped; empty lines are no records.
//
// The reader does not own the text: the fields of a record point into it (or, where a field
// held doubled quotes, into the reader's own buffer) until the next call to next().

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CsvReader {
public:
    explicit CsvReader(std::string_view text);

    // The next record's fields; false at the end of the text. A record whose quotes are not
    // closed before the end of the text is returned with malformed() set.
    bool next(std::vector<std::string_view>& fields);
    // Whether the record next() returned last had quotes that were never closed.
    bool malformed() const { return m_malformed; }

private:
    // A field's place: in the text or, when it needed unescaping, in m_unescaped.
    struct Span {
        size_t begin = 0;
        size_t size = 0;
        bool unescaped = false;
    };

    std::string_view m_text;
    size_t m_pos = 0;
    bool m_malformed = false;
    std::string m_unescaped;
    std::vector<Span> m_spans;
};
