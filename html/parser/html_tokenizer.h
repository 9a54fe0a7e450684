#pragma once

#include "html/common/attribute.h"
#include "html/common/tag_table.h"
#include "platform/exception.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A comment was still open when the text ended. The parser catches it and
// keeps everything read before the comment.
class EParseError : public Exception {
public:
    using Exception::Exception;
};

// Hands the text of an include comment ("<!--#command name=value -->") to
// the host. Params holds one line name="value" per attribute. The text the
// host leaves in Buffer is read in place of the comment.
using TIncludeHandler = std::function<void(
    const std::string& Command, const std::vector<std::string>& Params, std::string& Buffer)>;

// Reads HTML source character by character and cuts it into tokens: tags
// with their attributes, and text. The source is 8-bit text; every text
// character keeps the index of the byte it came from so that selections and
// form controls can point back into the source.
//
// Character rules: CR LF, LF CR and a lone LF all become one CR; a tab
// becomes a space outside preformatted text; comments, declarations and
// include comments vanish wherever they stand (except inside SCRIPT
// content). STYLE elements and processing instructions ("<?xml ...?>")
// give no tokens at all.
class THtmlTokenizer {
public:
    static constexpr char kEndOfText = 26;
    static constexpr char kLineEnd = 13;
    static constexpr std::size_t kMaxTextToken = 100;
    static constexpr std::size_t kMaxTagName = 255;
    static constexpr std::size_t kScriptBufferStart = 32500;
    static constexpr std::size_t kScriptBufferStep = 10000;

    explicit THtmlTokenizer(std::string_view source);

    TIncludeHandler OnInclude;

    // Reads the next token. A comment still open at the end of the text ends
    // the tokens there (see OpenCommentAtEnd).
    html::Tag Next();

    html::Tag Sym() const { return m_sym; }
    bool IsEnd() const { return m_isEnd; }
    // For H: the digit 1-6 after the name, 0 when there is none.
    int HeadingLevel() const { return m_headingLevel; }
    const TAttributeList& Attributes() const { return m_attributes; }
    // Text of a Text token, at most kMaxTextToken characters, and the source
    // index of each character.
    const std::string& TokenText() const { return m_text; }
    const std::vector<int>& TokenIndex() const { return m_textIndex; }

    // Whitespace handling for the text tokens that follow.
    void SetPreformatted(bool on);
    bool Preformatted() const { return m_pre; }
    void SetNoBreak(bool on) { m_noBreak = on; }

    // Reads raw SCRIPT content up to "</script>" (any case) or the end, right
    // after a SCRIPT start tag. Line ends become CR LF; comments and entities
    // are left as written. With keep false the content is skipped.
    std::string ReadScript(bool keep);

    // Reads TEXTAREA content up to its end tag or the end, right after the
    // start tag. Entities are decoded; each line end ends a line.
    std::vector<std::string> ReadTextArea();

    // Source index of the character the tokenizer stands on.
    int Position() const { return m_index; }
    bool AtEnd() const { return m_atEnd; }
    // Whether reading stopped at a comment left open at the end.
    bool OpenCommentAtEnd() const { return m_openComment; }

private:
    struct Source {
        const char* data = nullptr;
        std::size_t size = 0;
        std::size_t pos = 0;
    };

    int rawGet();
    int rawPeek(std::size_t ahead) const;
    void readChar();
    void readRawChar();
    void skipDeclaration();
    void skipComment();
    void readInclude();

    void readTag();
    // At "<": consumes an end tag of that name ("/textarea") and everything
    // up to its ">"; false, consuming nothing, when another tag follows.
    bool skipEndTag(std::string_view slashName);
    void skipToTagEnd();
    // Skips raw content up to and including the end tag of that name.
    void skipRawContent(std::string_view slashName);
    void readAttributes(TAttributeList& into);
    void readValue(TAttribute& attribute);
    void readText();
    void appendPlainRun();
    void appendEntity(std::string& out, std::vector<int>* index);
    void skipBlanks();
    bool isBlank() const { return !m_atEnd && static_cast<unsigned char>(m_ch) <= ' '; }
    bool matchRawIgnoreCase(std::string_view word) const;

    Source m_main;
    Source m_include;
    std::string m_includeText;
    bool m_inInclude = false;
    int m_includeIndex = 0;

    char m_ch = kEndOfText;
    bool m_atEnd = false;
    int m_index = 0;
    bool m_commentsOff = false;
    bool m_started = false;
    bool m_openComment = false;

    bool m_pre = false;
    bool m_noBreak = false;

    html::Tag m_sym = html::Tag::Eof;
    bool m_isEnd = false;
    int m_headingLevel = 0;
    TAttributeList m_attributes;
    TAttributeList m_scratch;
    std::string m_text;
    std::vector<int> m_textIndex;
};
