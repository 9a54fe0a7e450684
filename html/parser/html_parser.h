#pragma once

#include "html/common/my_font.h"
#include "html/parser/html_tokenizer.h"

#include <bitset>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TSectionList;
class TCell;
class TSection;
class TPreFormated;
class ThtmlForm;
class ThtmlTable;
struct TUrlTarget;

// Raw SCRIPT content with its LANGUAGE. The handler owns the text.
using TScriptHandler = std::function<void(const std::string& Language, std::string Script)>;
using TMetaHandler = std::function<void(const std::string& HttpEq, const std::string& Name,
                                        const std::string& Content)>;
using TSoundHandler = std::function<void(const std::string& Src, int Loop)>;

// Reads HTML (or plain text) into a document. One parser reads one text;
// it never rejects a page: unknown tags and attributes are skipped,
// unmatched end tags ignored, open constructs end with the text.
class THtmlParser {
public:
    // Nested lists, tables and blocks deeper than this are read as if the
    // extra levels were not there, so that hostile pages cannot exhaust the
    // stack.
    static constexpr int kMaxNesting = 48;
    static constexpr int kMaxFonts = 25;
    static constexpr int kListIndent = 35;
    static constexpr int kLoneItemIndent = 15;
    static constexpr std::size_t kMaxOptionText = 80;
    static constexpr std::size_t kMaxTypeLength = 20;
    static constexpr std::size_t kMaxFaceLength = 50;
    static constexpr std::size_t kMaxCaptionText = 200;
    // Tab stops inside PRE, in columns.
    static constexpr std::size_t kTabWidth = 8;

    explicit THtmlParser(TSectionList& document);
    ~THtmlParser();

    TIncludeHandler OnInclude;
    TScriptHandler OnScript;
    TMetaHandler OnMeta;
    TSoundHandler OnSoundRequest;
    // When set, every font of the document uses this charset and META
    // content-type elements leave it alone (the charset was decided before
    // parsing, see html::prepareSource).
    std::optional<int> FixedCharset;

    // Parses HTML into the document (which the caller has cleared and set
    // up) and loads the images.
    void ParseHTML(std::string_view source);
    // Parses a page as it was read from a file or downloaded: its charset is
    // decided from a byte-order mark, the HTTP Content-Type value (may be
    // empty) or its own META, and its bytes are converted to the viewer's
    // code pages before ParseHTML (see html::prepareSource).
    void ParsePage(std::string_view bytes, std::string_view httpContentType = {});
    // Reads a text file as one preformatted block in the fixed font.
    void ParsePlainText(std::string_view source);

private:
    using TermSet = std::bitset<2 * html::kTokenKindCount>;
    struct RowDefaults;
    enum class Style { Bold, Italic, Underline, StrikeOut };

    struct ListContext {
        html::Tag kind;
        int number = 1;
        char style = '1';
        bool plain = false;
    };

    // token access
    html::Tag sym() const { return m_tok->Sym(); }
    bool isEnd() const { return m_tok->IsEnd(); }
    const TAttributeList& attrs() const { return m_tok->Attributes(); }
    void next();
    static std::size_t termIndex(html::Tag tag, bool end)
    {
        return static_cast<std::size_t>(tag) * 2 + (end ? 1 : 0);
    }
    bool inTerm(const TermSet& term) const { return term.test(termIndex(sym(), isEnd())); }
    static TermSet with(TermSet term, html::Tag tag, bool end)
    {
        term.set(termIndex(tag, end));
        return term;
    }

    // structure
    void doBody(const TermSet& term);
    void doToken(const TermSet& term);
    // What a tag handler did with the token: not its tag, handled (the
    // caller reads the next token), or consumed (the handler has read on
    // past its construct).
    enum class Step { NotMine, Handled, Consumed };
    Step doInlineTag(html::Tag s, bool end);
    Step doBlockTag(const TermSet& term, html::Tag s, bool end);
    Step doFormTag(html::Tag s, bool end);
    Step doDocumentTag(html::Tag s, bool end);
    void doHeading(const TermSet& term);
    void doAlignBlock(const TermSet& term);
    void doLists(const TermSet& term);
    void doListItem();
    void doDefinitionItem();
    void doAddress(const TermSet& term);
    void doPre();
    void doTable();
    void doCell(ThtmlTable& table, bool heading, const TAttributeList* attributes,
                const RowDefaults& row);
    void doMap();
    void doSelect();
    void doTextArea();
    void doInput();
    void doButton();
    void doScript();
    void doMeta();
    void doBodyTag();
    void doFont();
    void doBaseFont();
    void doBigSmall(bool bigger);
    void doAnchor();
    void doImage();
    void doPanel();

    // building
    TMyFont currentFont() const;
    void addText(std::string_view text, const int* index);
    void expandTabs(std::string_view text, const int* index, std::string& out,
                    std::vector<int>& outIndex) const;
    void openSection();
    void openSection(std::unique_ptr<TSection> section);
    void closeSection();
    void addBlock(std::unique_ptr<class TSectionBase> block);
    void addParagraphSpace();
    void addHeadingSpace(int level);
    void pushFont(const TMyFont& font);
    void popFont();
    void ensureForm();
    int sectionAlign() const { return m_align; }
    int sizeFromValue(const TAttribute& size, int base) const;

    TSectionList& m_doc;
    THtmlTokenizer* m_tok = nullptr;
    TCell* m_cell = nullptr;
    std::unique_ptr<TSection> m_section;
    bool m_anchorInSection = false;
    std::vector<TMyFont> m_fonts;
    int m_refusedFonts = 0;
    TUrlTarget* m_link = nullptr;
    ThtmlForm* m_form = nullptr;
    int m_align = 1;
    int m_baseFontSize = 3;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strike = false;
    TMyFont::ScriptMode m_script = TMyFont::Normal;
    bool m_pre = false;
    bool m_nobr = false;
    bool m_contentSeen = false;
    int m_listLevel = 0;
    std::vector<ListContext> m_lists;
    int m_depth = 0;
    TPreFormated* m_preBlock = nullptr;
};
