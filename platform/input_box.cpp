#include "input_box.h"

#include <QInputDialog>

namespace {

// A queued answer; a dismissed box has no text.
struct Answer {
    bool dismissed = false;
    QString text;
};

struct TestHooks {
    std::deque<Answer> answers;
    std::deque<InputBox::Shown> shown;
    bool automatic = false;
};

TestHooks& hooks()
{
    static TestHooks instance;
    return instance;
}

} // namespace

QString InputBox::ask(QWidget* parent, const QString& caption, const QString& prompt,
                      const QString& defaultText)
{
    TestHooks& h = hooks();
    h.shown.push_back({caption, prompt, defaultText});
    if (!h.answers.empty()) {
        const Answer answer = h.answers.front();
        h.answers.pop_front();
        return answer.dismissed ? defaultText : answer.text;
    }
    if (h.automatic)
        return defaultText;
    bool ok = false;
    QString text =
        QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : defaultText;
}

void InputBox::queueAnswer(std::optional<QString> text)
{
    hooks().answers.push_back(text ? Answer{false, *text} : Answer{true, {}});
}

void InputBox::setAutomatic(bool automatic)
{
    hooks().automatic = automatic;
}

const std::deque<InputBox::Shown>& InputBox::shown()
{
    return hooks().shown;
}

void InputBox::clearShown()
{
    hooks().shown.clear();
}
