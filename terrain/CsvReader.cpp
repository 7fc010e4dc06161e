#include "terrain/CsvReader.h"

CsvReader::CsvReader(std::string_view text)
    : m_text(text)
{
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF")
        m_pos = 3;
}

bool CsvReader::next(std::vector<std::string_view>& fields)
{
    fields.clear();
    m_spans.clear();
    m_unescaped.clear();
    m_malformed = false;
    const size_t size = m_text.size();
    // Empty lines carry no record.
    while (m_pos < size && (m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
        ++m_pos;
    if (m_pos >= size)
        return false;

    bool end_of_record = false;
    while (!end_of_record) {
        Span span;
        if (m_pos < size && m_text[m_pos] == '"') {
            // Quoted: up to the closing quote; a doubled quote stands for one.
            size_t begin = ++m_pos;
            bool escaped = false;
            while (true) {
                const size_t quote = m_text.find('"', m_pos);
                if (quote == std::string_view::npos) {
                    // Never closed: the rest of the text, for what it is worth.
                    m_malformed = true;
                    if (escaped)
                        m_unescaped.append(m_text.substr(begin));
                    else
                        span = Span{begin, size - begin, false};
                    m_pos = size;
                    break;
                }
                if (quote + 1 < size && m_text[quote + 1] == '"') {
                    if (!escaped) {
                        span.begin = m_unescaped.size();
                        escaped = true;
                    }
                    m_unescaped.append(m_text.substr(begin, quote + 1 - begin));
                    begin = m_pos = quote + 2;
                    continue;
                }
                if (escaped)
                    m_unescaped.append(m_text.substr(begin, quote - begin));
                else
                    span = Span{begin, quote - begin, false};
                m_pos = quote + 1;
                break;
            }
            if (escaped)
                span = Span{span.begin, m_unescaped.size() - span.begin, true};
            // Anything between the closing quote and the separator is not part of a well-formed
            // file; it is passed over.
            while (m_pos < size && m_text[m_pos] != ',' && m_text[m_pos] != '\n' && m_text[m_pos] != '\r')
                ++m_pos;
        } else {
            const size_t begin = m_pos;
            while (m_pos < size && m_text[m_pos] != ',' && m_text[m_pos] != '\n' && m_text[m_pos] != '\r')
                ++m_pos;
            span = Span{begin, m_pos - begin, false};
        }
        m_spans.push_back(span);
        if (m_pos >= size) {
            end_of_record = true;
        } else if (m_text[m_pos] == ',') {
            ++m_pos;
        } else {
            // CRLF or LF ends the record.
            if (m_text[m_pos] == '\r' && m_pos + 1 < size && m_text[m_pos + 1] == '\n')
                ++m_pos;
            ++m_pos;
            end_of_record = true;
        }
    }
    // Views into the buffer are made once it no longer grows.
    for (const Span& span : m_spans)
        fields.push_back(span.unescaped ? std::string_view(m_unescaped).substr(span.begin, span.size)
                                        : m_text.substr(span.begin, span.size));
    return true;
}
