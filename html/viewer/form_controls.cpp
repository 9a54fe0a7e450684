#include "html/viewer/form_controls.h"

#include "html/common/attribute.h"
#include "html/common/text_util.h"
#include "html/document/html_form.h"
#include "html/document/section_list.h"
#include "html/layout/font_cache.h"
#include "html/paint/control_look.h"
#include "html/viewer/form_host.h"
#include "html/viewer/form_submission.h"
#include "platform/ansi.h"

#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

using html::Attr;

namespace {

// Reports focus changes and clicks of a control's widget to the host.
class ControlWatcher : public QObject {
public:
    ControlWatcher(TFormHost& host, TFormControlObj& control, bool reportClicks, QObject* parent)
        : QObject(parent), m_host(host), m_control(control), m_reportClicks(reportClicks)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::FocusIn:
            m_host.ControlEnter(&m_control);
            break;
        case QEvent::FocusOut:
            m_host.ControlExit(&m_control);
            break;
        case QEvent::MouseButtonPress:
            if (m_reportClicks)
                m_host.ObjectClick(&m_control);
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TFormHost& m_host;
    TFormControlObj& m_control;
    bool m_reportClicks;
};

QString qtext(const std::string& s)
{
    return platform::fromAnsi(s);
}

} // namespace

// ---- common ---------------------------------------------------------------

TWidgetFormControlObj::TWidgetFormControlObj(TFormHost& host, TSectionList* document,
                                             ThtmlForm* form, const TAttributeList& attributes)
    : TFormControlObj(document, form, attributes), m_host(host)
{
}

TWidgetFormControlObj::~TWidgetFormControlObj()
{
    if (!m_widget)
        return;
    // The widget may be inside one of its own handlers right now; cut it
    // loose from this object and let the event loop free it.
    for (const QMetaObject::Connection& c : m_connections)
        QObject::disconnect(c);
    delete m_watcher;
    // It stays a hidden child of the panel until then: taking it off the
    // panel at once would walk the window's whole focus chain for every
    // control of a page that is being replaced.
    m_widget->hide();
    m_widget->deleteLater();
}

void TWidgetFormControlObj::adopt(QWidget* widget, QWidget* inner, ClickReport report)
{
    m_widget = widget;
    widget->setParent(m_host.ControlParent());
    // Parked controls stay "shown" outside the panel so that Tab still
    // reaches them; taking the focus brings one into view.
    widget->move(0, kParkedTop);
    widget->show();
    m_watcher = new ControlWatcher(m_host, *this, report == ClickReport::OnPress, widget);
    widget->installEventFilter(m_watcher);
    if (inner)
        inner->installEventFilter(m_watcher);
}

const TFontMetrics& TWidgetFormControlObj::fieldMetrics(TFontCache& fonts) const
{
    return fonts.metrics(Document->DefPreFontName(), kFieldPointSize);
}

void TWidgetFormControlObj::setSize(int width, int height)
{
    m_width = width;
    m_height = height;
    if (m_widget)
        m_widget->resize(width, height);
}

void TWidgetFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    html::look::SunkenBox(painter, Box(x, y));
}

void TWidgetFormControlObj::Place(TPaintContext& ctx, int x, int y)
{
    Shown = true;
    if (ctx.printing) {
        PaintLook(ctx.painter, x, y);
        return;
    }
    if (!m_widget)
        return;
    if (m_widget->pos() != QPoint(x, y))
        m_widget->move(x, y);
    if (m_widget->isHidden())
        m_widget->show();
}

void TWidgetFormControlObj::Park()
{
    if (m_widget && m_widget->x() != kParkedLeft)
        m_widget->move(kParkedLeft, m_widget->y());
}

// ---- edit -----------------------------------------------------------------

TEditFormControlObj::TEditFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                                         const TAttributeList& attributes, bool password)
    : TWidgetFormControlObj(host, document, form, attributes), m_edit(new QLineEdit)
{
    if (const TAttribute* size = attributes.Find(Attr::Size)) {
        // "30" or "30,1": the number before the first comma or blank.
        const std::string& t = size->Text;
        int n = 0;
        std::size_t i = 0;
        while (i < t.size() && html::isDigit(t[i]) && n < 10000)
            n = n * 10 + (t[i++] - '0');
        if (n > 0)
            Chars = std::min(n, kMaxFieldExtent);
    }
    if (password)
        m_edit->setEchoMode(QLineEdit::Password);
    if (const TAttribute* max = attributes.Find(Attr::MaxLength); max && max->Number > 0)
        m_edit->setMaxLength(max->Number);
    m_edit->setFrame(true);
    adopt(m_edit);
    // Enter in a single-line edit submits its form.
    track(QObject::connect(m_edit, &QLineEdit::returnPressed, m_edit,
                           [this] { html_viewer::SubmitForm(m_host, *Form, std::string()); }));
    ResetToInitial();
}

void TEditFormControlObj::ResetToInitial()
{
    m_edit->setText(qtext(Value));
    m_edit->setCursorPosition(0);
}

bool TEditFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index != 0)
        return false;
    S = Name + "=" + platform::toAnsi(m_edit->text());
    return true;
}

void TEditFormControlObj::FitToCanvas(TFontCache& fonts)
{
    const TFontMetrics& m = fieldMetrics(fonts);
    m_edit->setFont(m.font);
    setSize(m.width('A') * Chars + 5, kHeight);
}

// ---- hidden ---------------------------------------------------------------

bool THiddenFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index != 0)
        return false;
    S = Name + "=" + Value;
    return true;
}

// ---- buttons --------------------------------------------------------------

TButtonFormControlObj::TButtonFormControlObj(TFormHost& host, TSectionList* document,
                                             ThtmlForm* form, const TAttributeList& attributes,
                                             ButtonKind kind)
    : TWidgetFormControlObj(host, document, form, attributes), Kind(kind), m_button(new QPushButton)
{
    static const char* const kCaptions[] = {"Submit", "Reset", "Button"};
    if (!attributes.Has(Attr::Value))
        Value = kCaptions[kind];
    m_caption = Value;
    m_button->setText(qtext(m_caption));
    m_button->setAutoDefault(false);
    // The button reports its click itself, once the press is complete.
    adopt(m_button, nullptr, ClickReport::ByKind);
    track(QObject::connect(m_button, &QPushButton::clicked, m_button, [this] { clicked(); }));
}

void TButtonFormControlObj::clicked()
{
    m_host.ObjectClick(this);
    switch (Kind) {
    case Submit:
        html_viewer::SubmitForm(m_host, *Form, Name.empty() ? std::string() : Name + "=" + Value);
        break;
    case Reset:
        html_viewer::ResetAllControls(*Form);
        break;
    case Plain:
        break;
    }
}

void TButtonFormControlObj::FitToCanvas(TFontCache& fonts)
{
    const TFontMetrics& m = fonts.metrics(kButtonFontName, kButtonPointSize);
    m_button->setFont(m.font);
    setSize(m.textWidth(m_caption) + 20, m.height() + 8);
}

void TButtonFormControlObj::SetCaption(const std::string& caption)
{
    m_caption = caption;
    m_button->setText(qtext(m_caption));
}

// ---- image input ----------------------------------------------------------

TImageFormControlObj::TImageFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                                           const TAttributeList& attributes)
    : TFormControlObj(document, form, attributes), m_host(host)
{
}

bool TImageFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (ClickX < 0 || Index > 1)
        return false;
    S = Name.empty() ? std::string() : Name + ".";
    if (Index == 0) {
        S += "x=" + std::to_string(ClickX);
    } else {
        S += "y=" + std::to_string(ClickY);
        ClickX = -1; // the click is used up
    }
    return true;
}

void TImageFormControlObj::ImageClicked(int x, int y)
{
    m_host.ObjectClick(this);
    ClickX = x;
    ClickY = y;
    html_viewer::SubmitForm(m_host, *Form, std::string());
    ClickX = -1; // also when nobody collected the pairs
}

// ---- check box ------------------------------------------------------------

TCheckBoxFormControlObj::TCheckBoxFormControlObj(TFormHost& host, TSectionList* document,
                                                 ThtmlForm* form, const TAttributeList& attributes)
    : TWidgetFormControlObj(host, document, form, attributes), m_box(new QCheckBox)
{
    PlacementFlag = true;
    InitialChecked = attributes.Has(Attr::Checked);
    if (!attributes.Has(Attr::Value))
        Value = "on";
    adopt(m_box, nullptr, ClickReport::ByKind);
    track(
        QObject::connect(m_box, &QCheckBox::clicked, m_box, [this] { m_host.ObjectClick(this); }));
    ResetToInitial();
}

void TCheckBoxFormControlObj::ResetToInitial()
{
    m_box->setChecked(InitialChecked);
}

bool TCheckBoxFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index != 0 || !m_box->isChecked())
        return false;
    S = Name + "=" + Value;
    return true;
}

void TCheckBoxFormControlObj::FitToCanvas(TFontCache&)
{
    setSize(kSize, kSize);
}

// ---- radio ----------------------------------------------------------------

TRadioButtonFormControlObj::TRadioButtonFormControlObj(TFormHost& host, TSectionList* document,
                                                       ThtmlForm* form,
                                                       const TAttributeList& attributes)
    : TWidgetFormControlObj(host, document, form, attributes)
{
    PlacementFlag = true;
    InitialChecked = attributes.Has(Attr::Checked);
    auto* panel = new QWidget;
    m_radio = new QRadioButton(panel);
    m_radio->setAutoExclusive(false);
    m_radio->setGeometry(0, 0, kWidth, kHeight);
    adopt(panel, m_radio, ClickReport::ByKind);
    track(QObject::connect(m_radio, &QRadioButton::clicked, m_radio, [this] {
        // A click on a checked radio button keeps it checked.
        m_radio->setChecked(true);
        html_viewer::RadioChecked(m_host, *this);
    }));
    ResetToInitial();
}

QWidget* TRadioButtonFormControlObj::WindowControl() const
{
    return m_radio;
}

void TRadioButtonFormControlObj::ResetToInitial()
{
    m_radio->setChecked(InitialChecked);
}

bool TRadioButtonFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index != 0 || !m_radio->isChecked())
        return false;
    S = Name + "=" + Value;
    return true;
}

void TRadioButtonFormControlObj::FitToCanvas(TFontCache&)
{
    setSize(kWidth, kHeight);
    m_radio->setGeometry(0, 0, kWidth, kHeight);
}

// ---- list box -------------------------------------------------------------

TListBoxFormControlObj::TListBoxFormControlObj(TFormHost& host, TSectionList* document,
                                               ThtmlForm* form, const TAttributeList& attributes,
                                               std::vector<TSelectOption> options, int longest,
                                               NoList)
    : TWidgetFormControlObj(host, document, form, attributes), Options(std::move(options)),
      Longest(std::max(3, longest))
{
    if (const TAttribute* size = attributes.Find(Attr::Size); size && size->Number > 1)
        Rows = std::min(size->Number, kMaxFieldExtent);
    Multiple = attributes.Has(Attr::Multiple);
}

TListBoxFormControlObj::TListBoxFormControlObj(TFormHost& host, TSectionList* document,
                                               ThtmlForm* form, const TAttributeList& attributes,
                                               std::vector<TSelectOption> options, int longest)
    : TListBoxFormControlObj(host, document, form, attributes, std::move(options), longest,
                             NoList{})
{
    m_list = new QListWidget;
    m_list->setSelectionMode(Multiple ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    adopt(m_list, m_list->viewport());
    ResetToInitial();
}

void TListBoxFormControlObj::ResetToInitial()
{
    m_list->clear();
    int current = -1;
    for (std::size_t i = 0; i < Options.size(); ++i) {
        m_list->addItem(qtext(Options[i].Text));
        if (Options[i].Selected) {
            if (Multiple)
                m_list->item(static_cast<int>(i))->setSelected(true);
            else
                current = static_cast<int>(i);
        }
    }
    if (!Multiple && current < 0 && !Options.empty())
        current = 0;
    if (current >= 0) {
        if (Multiple)
            m_list->setCurrentRow(current, QItemSelectionModel::NoUpdate);
        else
            m_list->setCurrentRow(current);
    }
    m_list->scrollToTop();
}

std::string TListBoxFormControlObj::optionPair(int i) const
{
    const TSelectOption& o = Options[static_cast<std::size_t>(i)];
    return Name + "=" + (o.Value.empty() ? o.Text : o.Value);
}

bool TListBoxFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index < 0 || Index >= m_list->count() || Index >= static_cast<int>(Options.size()))
        return false;
    const bool chosen =
        Multiple ? m_list->item(Index)->isSelected() : m_list->currentRow() == Index;
    S = chosen ? optionPair(Index) : std::string();
    return true;
}

void TListBoxFormControlObj::FitToCanvas(TFontCache& fonts)
{
    const TFontMetrics& m = fieldMetrics(fonts);
    m_list->setFont(m.font);
    const int rows =
        Rows > 0 ? Rows
                 : std::max(1, std::min<int>(kMaxAutoRows, static_cast<int>(Options.size())));
    const int frame = 2 * m_list->frameWidth();
    // Qt draws items a little taller than the font, and its scroll bar
    // takes room of its own inside the box.
    const int rowHeight = std::max(m.height(), m_list->count() > 0 ? m_list->sizeHintForRow(0) : 0);
    const bool bar = static_cast<int>(Options.size()) > rows;
    const int barWidth = bar ? m_list->verticalScrollBar()->sizeHint().width() : 0;
    setSize(m.width('A') * Longest + 15 + frame + barWidth, rowHeight * rows + frame);
}

// ---- drop-down ------------------------------------------------------------

TComboFormControlObj::TComboFormControlObj(TFormHost& host, TSectionList* document, ThtmlForm* form,
                                           const TAttributeList& attributes,
                                           std::vector<TSelectOption> options, int longest)
    : TListBoxFormControlObj(host, document, form, attributes, std::move(options), longest,
                             NoList{}),
      m_combo(new QComboBox)
{
    Multiple = false;
    m_combo->setEditable(false);
    adopt(m_combo);
    ResetToInitial();
}

void TComboFormControlObj::ResetToInitial()
{
    m_combo->clear();
    int current = 0;
    for (std::size_t i = 0; i < Options.size(); ++i) {
        m_combo->addItem(qtext(Options[i].Text));
        if (Options[i].Selected)
            current = static_cast<int>(i);
    }
    m_combo->setCurrentIndex(Options.empty() ? -1 : current);
}

bool TComboFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index < 0 || Index >= m_combo->count() || Index >= static_cast<int>(Options.size()))
        return false;
    S = m_combo->currentIndex() == Index ? optionPair(Index) : std::string();
    return true;
}

void TComboFormControlObj::FitToCanvas(TFontCache& fonts)
{
    const TFontMetrics& field = fieldMetrics(fonts);
    const TFontMetrics& screen = fonts.metrics(kButtonFontName, kButtonPointSize);
    m_combo->setFont(field.font);
    setSize(screen.width('A') * Longest + kExtraWidth, m_combo->sizeHint().height());
}

// ---- text area ------------------------------------------------------------

TTextAreaFormControlObj::TTextAreaFormControlObj(TFormHost& host, TSectionList* document,
                                                 ThtmlForm* form, const TAttributeList& attributes,
                                                 std::vector<std::string> lines)
    : TWidgetFormControlObj(host, document, form, attributes), TheText(std::move(lines)),
      m_memo(new QPlainTextEdit)
{
    if (const int rows = attributes.NumberOf(Attr::Rows, kDefaultRows); rows > 0)
        Rows = std::min(rows, kMaxFieldExtent);
    if (const int cols = attributes.NumberOf(Attr::Cols, kDefaultCols); cols > 0)
        Cols = std::min(cols, kMaxFieldExtent);
    const TAttribute* wrap = attributes.Find(Attr::Wrap);
    WordWrap = html::textIs(wrap, "soft") || html::textIs(wrap, "hard");
    if (WordWrap) {
        m_memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    } else {
        m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    m_memo->setTabChangesFocus(true);
    adopt(m_memo, m_memo->viewport());
    ResetToInitial();
}

void TTextAreaFormControlObj::ResetToInitial()
{
    QStringList lines;
    for (const std::string& line : TheText)
        lines << qtext(line);
    m_memo->setPlainText(lines.join(QLatin1Char('\n')));
    QTextCursor cursor = m_memo->textCursor();
    cursor.movePosition(QTextCursor::Start);
    m_memo->setTextCursor(cursor);
}

bool TTextAreaFormControlObj::SubmissionPair(int Index, std::string& S)
{
    if (Index != 0)
        return false;
    const QStringList lines = m_memo->toPlainText().split(QLatin1Char('\n'));
    const QString joined = lines.join(WordWrap ? QString() : QStringLiteral("\r\n"));
    S = Name + "=" + platform::toAnsi(joined);
    return true;
}

void TTextAreaFormControlObj::FitToCanvas(TFontCache& fonts)
{
    const TFontMetrics& m = fieldMetrics(fonts);
    m_memo->setFont(m.font);
    const int frame = 2 * m_memo->frameWidth();
    const int vbar = m_memo->verticalScrollBar()->sizeHint().width();
    const int hbar = WordWrap ? 0 : m_memo->horizontalScrollBar()->sizeHint().height();
    setSize(m.width('A') * Cols + 5 + frame + vbar, m.height() * Rows + 5 + frame + hbar);
}

// ---- printed looks --------------------------------------------------------

namespace look = html::look;

void TEditFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    const QString text = m_edit->echoMode() == QLineEdit::Normal
                             ? m_edit->text()
                             : QString(m_edit->text().size(), QLatin1Char('*'));
    look::SunkenBox(painter, Box(x, y));
    look::FieldText(painter, Box(x, y), m_edit->font(), text);
}

void TButtonFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    look::RaisedBox(painter, Box(x, y));
    painter.save();
    painter.setFont(m_button->font());
    painter.setPen(Qt::black);
    painter.drawText(Box(x, y), Qt::AlignCenter | Qt::TextSingleLine, m_button->text());
    painter.restore();
}

void TCheckBoxFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    look::CheckBox(painter, Box(x, y), m_box->isChecked());
}

void TRadioButtonFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    look::RadioButton(painter, QRect(x, y, kWidth, kWidth), m_radio->isChecked());
}

void TListBoxFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    // The rows from the first one in view, with the chosen ones marked.
    const int first = std::max(0, m_list->indexAt(QPoint(0, 0)).row());
    QStringList rows;
    std::vector<int> chosen;
    for (int i = first; i < m_list->count(); ++i) {
        rows << m_list->item(i)->text();
        if (Multiple ? m_list->item(i)->isSelected() : m_list->currentRow() == i)
            chosen.push_back(i - first);
    }
    const int rowHeight = m_list->count() > 0 ? m_list->sizeHintForRow(0) : Height();
    look::SunkenBox(painter, Box(x, y));
    look::FieldRows(painter, Box(x, y), m_list->font(), rowHeight, rows, chosen);
}

void TComboFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    look::SunkenBox(painter, Box(x, y));
    const QRect text = look::DropDownButton(painter, Box(x, y));
    look::FieldText(painter, text, m_combo->font(), m_combo->currentText());
}

void TTextAreaFormControlObj::PaintLook(QPainter& painter, int x, int y)
{
    const QRect box = Box(x, y);
    const int bar = m_memo->verticalScrollBar()->sizeHint().width();
    look::SunkenBox(painter, box);
    look::RaisedBox(painter, QRect(box.right() - bar, box.top() + 1, bar, box.height() - 2));
    const QStringList lines = m_memo->toPlainText().split(QLatin1Char('\n'));
    look::FieldRows(painter, box.adjusted(0, 0, -bar, 0), m_memo->font(),
                    QFontMetrics(m_memo->font()).height(), lines);
}

// ---- factory --------------------------------------------------------------

std::unique_ptr<TFormControlObj>
TWidgetControlFactory::CreateInput(TSectionList* document, ThtmlForm* form,
                                   const TAttributeList& attributes, const std::string& type)
{
    if (type == "hidden")
        return std::make_unique<THiddenFormControlObj>(document, form, attributes);
    if (type == "submit")
        return std::make_unique<TButtonFormControlObj>(m_host, document, form, attributes,
                                                       TButtonFormControlObj::Submit);
    if (type == "reset")
        return std::make_unique<TButtonFormControlObj>(m_host, document, form, attributes,
                                                       TButtonFormControlObj::Reset);
    if (type == "button")
        return std::make_unique<TButtonFormControlObj>(m_host, document, form, attributes,
                                                       TButtonFormControlObj::Plain);
    if (type == "image")
        return std::make_unique<TImageFormControlObj>(m_host, document, form, attributes);
    if (type == "checkbox")
        return std::make_unique<TCheckBoxFormControlObj>(m_host, document, form, attributes);
    if (type == "radio")
        return std::make_unique<TRadioButtonFormControlObj>(m_host, document, form, attributes);
    return std::make_unique<TEditFormControlObj>(m_host, document, form, attributes,
                                                 type == "password");
}

std::unique_ptr<TFormControlObj>
TWidgetControlFactory::CreateSelect(TSectionList* document, ThtmlForm* form,
                                    const TAttributeList& attributes,
                                    std::vector<TSelectOption> options, int longest)
{
    const TAttribute* size = attributes.Find(Attr::Size);
    if (attributes.Has(Attr::Multiple) || (size && size->Number > 1))
        return std::make_unique<TListBoxFormControlObj>(m_host, document, form, attributes,
                                                        std::move(options), longest);
    return std::make_unique<TComboFormControlObj>(m_host, document, form, attributes,
                                                  std::move(options), longest);
}

std::unique_ptr<TFormControlObj>
TWidgetControlFactory::CreateTextArea(TSectionList* document, ThtmlForm* form,
                                      const TAttributeList& attributes,
                                      std::vector<std::string> lines)
{
    return std::make_unique<TTextAreaFormControlObj>(m_host, document, form, attributes,
                                                     std::move(lines));
}
