#include "setup/message_box.h"

#include <cstdio>
#include <QMessageBox>

namespace setup {

namespace {

struct TestHooks {
    std::deque<bool> answers;
    std::deque<MessageBox::Shown> shown;
    bool automatic = false;
};

TestHooks& hooks()
{
    static TestHooks instance;
    return instance;
}

QMessageBox::Icon qtIcon(MessageBox::Icon icon)
{
    switch (icon) {
    case MessageBox::Icon::Information:
        return QMessageBox::Information;
    case MessageBox::Icon::Warning:
        return QMessageBox::Warning;
    case MessageBox::Icon::Error:
        return QMessageBox::Critical;
    case MessageBox::Icon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

bool MessageBox::unattended()
{
    return qEnvironmentVariableIntValue(kUnattendedVariable) != 0;
}

bool MessageBox::answered(const Shown& box, bool* answer)
{
    TestHooks& h = hooks();
    h.shown.push_back(box);
    if (!h.answers.empty()) {
        *answer = h.answers.front();
        h.answers.pop_front();
        return true;
    }
    if (h.automatic) {
        *answer = true;
        return true;
    }
    if (unattended()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(box.caption), qPrintable(box.text));
        *answer = true;
        return true;
    }
    return false;
}

void MessageBox::show(const QString& caption, const QString& text, Icon icon)
{
    bool ignored = false;
    if (answered({caption, text, icon}, &ignored))
        return;
    QMessageBox box(qtIcon(icon), caption, text, QMessageBox::Ok);
    box.exec();
}

bool MessageBox::question(const QString& caption, const QString& text)
{
    bool answer = false;
    if (answered({caption, text, Icon::Question}, &answer))
        return answer;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MessageBox::queueAnswer(bool yes)
{
    hooks().answers.push_back(yes);
}

void MessageBox::setAutomatic(bool automatic)
{
    hooks().automatic = automatic;
}

const std::deque<MessageBox::Shown>& MessageBox::shown()
{
    return hooks().shown;
}

void MessageBox::clearShown()
{
    hooks().shown.clear();
}

} // namespace setup
