#include "html/parser/html_tokenizer.h"

#include "base/ascii.h"
#include "html/common/text_util.h"
#include "html/parser/entities.h"

#include <algorithm>

using html::Tag;

namespace {

constexpr char kOpenCommentMessage[] = "Open Comment at End of HTML File";
constexpr std::size_t kMaxEntityDigits = 5;
// Hexadecimal references reach every Unicode value (10FFFF).
constexpr std::size_t kMaxEntityHexDigits = 6;
// The longest entity names ("thetasym", "alefsym").
constexpr std::size_t kMaxEntityName = 8;

// Attribute numbers are sizes, counts and offsets; beyond this no page
// means anything, and keeping them here leaves room for the layout's
// arithmetic (sums, products with font widths) without overflow.
constexpr int kMaxAttributeNumber = 1'000'000;

int attributeNumber(std::string_view text)
{
    int number = 0;
    if (!html::parseWholeNumber(text, number))
        return 0;
    return std::clamp(number, -kMaxAttributeNumber, kMaxAttributeNumber);
}

bool rawBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

THtmlTokenizer::THtmlTokenizer(std::string_view source)
{
    m_main.data = source.data();
    m_main.size = source.size();
    m_text.reserve(kMaxTextToken + 8);
    m_textIndex.reserve(kMaxTextToken + 8);
}

// ---- character reader ---------------------------------------------------

int THtmlTokenizer::rawGet()
{
    if (m_inInclude) {
        if (m_include.pos < m_include.size) {
            m_index = m_includeIndex;
            return static_cast<unsigned char>(m_include.data[m_include.pos++]);
        }
        m_inInclude = false;
        m_includeText.clear();
    }
    if (m_main.pos < m_main.size) {
        m_index = static_cast<int>(m_main.pos);
        return static_cast<unsigned char>(m_main.data[m_main.pos++]);
    }
    m_index = static_cast<int>(m_main.size);
    return -1;
}

int THtmlTokenizer::rawPeek(std::size_t ahead) const
{
    if (m_inInclude) {
        std::size_t left = m_include.size - m_include.pos;
        if (ahead < left)
            return static_cast<unsigned char>(m_include.data[m_include.pos + ahead]);
        ahead -= left;
    }
    std::size_t at = m_main.pos + ahead;
    return at < m_main.size ? static_cast<unsigned char>(m_main.data[at]) : -1;
}

bool THtmlTokenizer::matchRawIgnoreCase(std::string_view word) const
{
    for (std::size_t i = 0; i < word.size(); ++i) {
        int c = rawPeek(i);
        if (c < 0 || base::upperAscii(static_cast<char>(c)) != base::upperAscii(word[i]))
            return false;
    }
    return true;
}

void THtmlTokenizer::readChar()
{
    for (;;) {
        int c = rawGet();
        if (c < 0) {
            m_atEnd = true;
            m_ch = kEndOfText;
            return;
        }
        if (c == '\r' || c == '\n') {
            // The other half of a CR LF or LF CR pair belongs to the same line end.
            const int index = m_index;
            if (rawPeek(0) == (c == '\r' ? '\n' : '\r'))
                rawGet();
            m_index = index;
            c = kLineEnd;
        } else if (c == '\t' && !m_pre) {
            // Inside PRE a tab stays, so that it can advance to its tab stop.
            c = ' ';
        } else if (c == '<' && !m_commentsOff && rawPeek(0) == '!') {
            rawGet();
            try {
                skipDeclaration();
            } catch (const EParseError&) {
                // The page ends inside a comment: stop quietly, keeping
                // everything read before it.
                m_openComment = true;
                m_main.pos = m_main.size;
                m_inInclude = false;
                m_atEnd = true;
                m_ch = kEndOfText;
                return;
            }
            continue;
        }
        m_ch = static_cast<char>(c);
        return;
    }
}

void THtmlTokenizer::skipDeclaration()
{
    if (rawPeek(0) == '-' && rawPeek(1) == '-') {
        rawGet();
        rawGet();
        if (OnInclude && !m_inInclude && rawPeek(0) == '#') {
            rawGet();
            readInclude();
            return;
        }
        skipComment();
        return;
    }
    // A declaration such as a document type: everything up to ">".
    for (int c = rawGet(); c >= 0 && c != '>'; c = rawGet()) {
    }
}

void THtmlTokenizer::skipComment()
{
    int dashes = 0;
    for (;;) {
        int c = rawGet();
        if (c < 0)
            throw EParseError(kOpenCommentMessage);
        if (c == '-') {
            ++dashes;
            continue;
        }
        if (dashes >= 2) {
            while (rawBlank(c)) {
                c = rawGet();
                if (c < 0)
                    throw EParseError(kOpenCommentMessage);
            }
            if (c == '>')
                return;
            if (c == '-') {
                dashes = 1;
                continue;
            }
        }
        dashes = 0;
    }
}

void THtmlTokenizer::readInclude()
{
    std::string command;
    while (html::isLetter(static_cast<char>(rawPeek(0))))
        command.push_back(static_cast<char>(rawGet()));

    std::vector<std::string> params;
    for (;;) {
        while (rawBlank(rawPeek(0)))
            rawGet();
        std::string name;
        for (int c = rawPeek(0); c >= 0 && (html::isLetter(static_cast<char>(c)) || c == '-');
             c = rawPeek(0)) {
            if (c == '-' && rawPeek(1) == '-')
                break;
            name.push_back(static_cast<char>(rawGet()));
        }
        if (name.empty())
            break;
        while (rawBlank(rawPeek(0)))
            rawGet();
        std::string value;
        if (rawPeek(0) == '=') {
            rawGet();
            while (rawBlank(rawPeek(0)))
                rawGet();
            int quote = rawPeek(0);
            if (quote == '"' || quote == '\'') {
                rawGet();
                for (int c = rawGet(); c >= 0 && c != quote; c = rawGet())
                    value.push_back(static_cast<char>(c));
            } else {
                for (int c = rawPeek(0); c >= 0 && !rawBlank(c) && c != '>'; c = rawPeek(0))
                    value.push_back(static_cast<char>(rawGet()));
            }
        }
        params.push_back(name + "=\"" + value + "\"");
    }
    skipComment();

    std::string buffer;
    OnInclude(command, params, buffer);
    if (!buffer.empty()) {
        m_includeText = std::move(buffer);
        m_include = Source{m_includeText.data(), m_includeText.size(), 0};
        m_includeIndex = static_cast<int>(m_main.pos);
        m_inInclude = true;
    }
}

// ---- tokens -------------------------------------------------------------

void THtmlTokenizer::SetPreformatted(bool on)
{
    m_pre = on;
    // The character after the tag was read ahead under the old rule; a tab
    // there must count as one in preformatted text and as a blank outside.
    const bool tabInSource = !m_atEnd && !m_inInclude &&
                             static_cast<std::size_t>(m_index) < m_main.size &&
                             m_main.data[m_index] == '\t';
    if (on && m_ch == ' ' && tabInSource)
        m_ch = '\t';
    else if (!on && m_ch == '\t')
        m_ch = ' ';
}

Tag THtmlTokenizer::Next()
{
    if (!m_started) {
        m_started = true;
        readChar();
    }
    m_text.clear();
    m_textIndex.clear();
    m_isEnd = false;
    m_headingLevel = 0;
    for (;;) {
        if (m_atEnd)
            return m_sym = Tag::Eof;
        if (m_ch == '<') {
            const int at = m_index;
            readChar();
            if (m_ch == '/') {
                readChar();
                m_isEnd = true;
                readTag();
                return m_sym;
            }
            if (html::isLetter(m_ch)) {
                readTag();
                if (m_sym == Tag::Style && !m_isEnd) {
                    // Style sheets are not drawn; their rules would show as text.
                    skipRawContent("/style");
                    continue;
                }
                return m_sym;
            }
            if (m_ch == '?' && html::isLetter(static_cast<char>(rawPeek(0)))) {
                // A processing instruction such as <?xml version="1.0"?>.
                skipToTagEnd();
                continue;
            }
            m_text.push_back('<');
            m_textIndex.push_back(at);
        }
        readText();
        if (!m_text.empty())
            return m_sym = Tag::Text;
    }
}

void THtmlTokenizer::readTag()
{
    char name[kMaxTagName];
    std::size_t length = 0;
    while (html::isLetter(m_ch)) {
        if (length < kMaxTagName)
            name[length++] = base::upperAscii(m_ch);
        readChar();
    }
    m_sym = length == 0 ? Tag::UnknownTag : html::lookupTag(std::string_view(name, length));
    if (m_isEnd && !html::hasEndTag(m_sym))
        m_sym = Tag::UnknownTag;
    if (m_sym == Tag::H && m_ch >= '1' && m_ch <= '6') {
        m_headingLevel = m_ch - '0';
        readChar();
    }
    TAttributeList& list = (!m_isEnd && html::tagTakesAttributes(m_sym)) ? m_attributes : m_scratch;
    list.Clear();
    readAttributes(list);
    if (m_sym == Tag::Script && !m_isEnd)
        m_commentsOff = true;
    while (!m_atEnd && m_ch != '>')
        readChar();
    if (!m_atEnd)
        readChar();
}

void THtmlTokenizer::skipBlanks()
{
    while (isBlank())
        readChar();
}

void THtmlTokenizer::readAttributes(TAttributeList& into)
{
    for (;;) {
        skipBlanks();
        if (!html::isLetter(m_ch))
            return;
        std::string name;
        while (html::isLetter(m_ch) || m_ch == '-') {
            if (name.size() < kMaxTagName)
                name.push_back(base::upperAscii(m_ch));
            readChar();
        }
        TAttribute attribute;
        attribute.Which = html::lookupAttr(name);
        skipBlanks();
        if (m_ch == '=') {
            readChar();
            skipBlanks();
            readValue(attribute);
        } else if (attribute.Which == html::Attr::Border) {
            attribute.Number = 1;
        }
        into.Add(std::move(attribute));
    }
}

void THtmlTokenizer::readValue(TAttribute& attribute)
{
    std::string value;
    if (m_ch == '"' || m_ch == '\'') {
        const char quote = m_ch;
        readChar();
        while (!m_atEnd && m_ch != quote) {
            if (m_ch == kLineEnd) {
                readChar();
            } else if (m_ch == '&') {
                appendEntity(value, nullptr);
            } else {
                value.push_back(m_ch == '\t' ? ' ' : m_ch);
                readChar();
            }
        }
        if (!m_atEnd)
            readChar();
        attribute.Text = base::trimmed(value);
        std::string_view number = attribute.Text;
        if (!number.empty() && number.back() == '%')
            number.remove_suffix(1);
        attribute.Number = attributeNumber(number);
        return;
    }
    if (m_ch == '+' || m_ch == '-' || html::isDigit(m_ch)) {
        while (!m_atEnd && !isBlank() && m_ch != '%' && m_ch != '>') {
            value.push_back(m_ch);
            readChar();
        }
        attribute.Number = attributeNumber(value);
        if (m_ch == '%') {
            value.push_back('%');
            readChar();
        }
        attribute.Text = std::move(value);
        return;
    }
    while (!m_atEnd && !isBlank() && m_ch != '>') {
        value.push_back(m_ch);
        readChar();
    }
    attribute.Text = std::move(value);
}

void THtmlTokenizer::readText()
{
    while (m_text.size() < kMaxTextToken) {
        if (m_atEnd || m_ch == '<')
            return;
        const unsigned char c = static_cast<unsigned char>(m_ch);
        if (c == '&') {
            appendEntity(m_text, &m_textIndex);
            continue;
        }
        if (!m_pre && (c == ' ' || c == kLineEnd)) {
            m_text.push_back(m_noBreak ? '\xA0' : ' ');
            m_textIndex.push_back(m_index);
            do {
                readChar();
            } while (!m_atEnd && (m_ch == ' ' || m_ch == kLineEnd));
            continue;
        }
        if (c < ' ' && c != kLineEnd && c != '\t') {
            if (!m_text.empty())
                return;
            readChar();
            continue;
        }
        m_text.push_back(m_ch);
        m_textIndex.push_back(m_index);
        appendPlainRun();
        readChar();
    }
}

void THtmlTokenizer::appendPlainRun()
{
    // Letters, digits and punctuation need none of the character rules, so
    // a run of them is copied from the source in one step.
    if (m_inInclude)
        return;
    const std::size_t room = kMaxTextToken - std::min(kMaxTextToken, m_text.size());
    const std::size_t start = m_main.pos;
    const std::size_t limit = std::min(m_main.size, start + room);
    std::size_t end = start;
    while (end < limit) {
        const unsigned char c = static_cast<unsigned char>(m_main.data[end]);
        if (c <= ' ' || c == '<' || c == '&')
            break;
        ++end;
    }
    if (end == start)
        return;
    m_text.append(m_main.data + start, end - start);
    const std::size_t first = m_textIndex.size();
    m_textIndex.resize(first + (end - start));
    for (std::size_t i = start; i < end; ++i)
        m_textIndex[first + (i - start)] = static_cast<int>(i);
    m_main.pos = end;
}

void THtmlTokenizer::appendEntity(std::string& out, std::vector<int>* index)
{
    const int at = m_index;
    auto push = [&](std::string_view text) {
        out.append(text);
        if (index)
            index->insert(index->end(), text.size(), at);
    };
    readChar();
    if (m_ch == '#') {
        readChar();
        std::string prefix = "&#";
        const bool hex = m_ch == 'x' || m_ch == 'X';
        if (hex) {
            prefix.push_back(m_ch);
            readChar();
        }
        const std::size_t maxDigits = hex ? kMaxEntityHexDigits : kMaxEntityDigits;
        auto isEntityDigit = [hex](char c) {
            return html::isDigit(c) || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        };
        std::string digits;
        while (isEntityDigit(m_ch) && digits.size() <= maxDigits) {
            digits.push_back(m_ch);
            readChar();
        }
        if (!digits.empty() && digits.size() <= maxDigits) {
            if (auto c = html::numericEntity(std::stoi(digits, nullptr, hex ? 16 : 10))) {
                if (m_ch == ';')
                    readChar();
                char ch = *c;
                if (ch == '\n')
                    ch = m_pre ? kLineEnd : ' ';
                push(std::string_view(&ch, 1));
                return;
            }
        }
        push(prefix);
        push(digits);
        return;
    }
    std::string name;
    while ((html::isLetter(m_ch) || html::isDigit(m_ch)) && name.size() <= kMaxEntityName) {
        name.push_back(m_ch);
        readChar();
    }
    if (!name.empty() && name.size() <= kMaxEntityName) {
        if (auto value = html::namedEntity(name)) {
            if (m_ch == ';')
                readChar();
            push(*value);
            return;
        }
    }
    push("&");
    push(name);
}

// ---- raw content --------------------------------------------------------

std::string THtmlTokenizer::ReadScript(bool keep)
{
    std::string buffer;
    if (keep)
        buffer.reserve(kScriptBufferStart);
    while (!m_atEnd) {
        if (m_ch == '<' && matchRawIgnoreCase("/script>")) {
            for (int i = 0; i < 8; ++i)
                rawGet();
            break;
        }
        if (keep) {
            if (buffer.size() + 2 >= buffer.capacity())
                buffer.reserve(buffer.capacity() + kScriptBufferStep);
            if (m_ch == kLineEnd)
                buffer.append("\r\n");
            else
                buffer.push_back(m_ch == '\t' ? ' ' : m_ch);
        }
        readChar();
    }
    m_commentsOff = false;
    if (!m_atEnd)
        readChar();
    return buffer;
}

std::vector<std::string> THtmlTokenizer::ReadTextArea()
{
    std::vector<std::string> lines;
    std::string line;
    while (!m_atEnd) {
        if (m_ch == '<') {
            if (skipEndTag("/textarea"))
                break;
            line.push_back('<');
            readChar();
        } else if (m_ch == '&') {
            appendEntity(line, nullptr);
        } else if (m_ch == kLineEnd) {
            lines.push_back(std::move(line));
            line.clear();
            readChar();
        } else {
            line.push_back(m_ch == '\t' ? ' ' : m_ch);
            readChar();
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

bool THtmlTokenizer::skipEndTag(std::string_view slashName)
{
    // The tokenizer stands on "<"; the name must be followed by a blank or ">".
    if (!matchRawIgnoreCase(slashName))
        return false;
    const int after = rawPeek(slashName.size());
    if (after >= 0 && !rawBlank(after) && after != '>')
        return false;
    for (std::size_t i = 0; i < slashName.size(); ++i)
        rawGet();
    readChar();
    skipToTagEnd();
    return true;
}

void THtmlTokenizer::skipToTagEnd()
{
    while (!m_atEnd && m_ch != '>')
        readChar();
    if (!m_atEnd)
        readChar();
}

void THtmlTokenizer::skipRawContent(std::string_view slashName)
{
    while (!m_atEnd) {
        if (m_ch == '<' && skipEndTag(slashName))
            return;
        readChar();
    }
}
