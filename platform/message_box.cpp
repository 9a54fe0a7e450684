#include "message_box.h"

#include <QApplication>

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

} // namespace

bool MessageBox::answered(const QString& caption, const QString& text, bool* answer)
{
    TestHooks& h = hooks();
    h.shown.push_back({caption, text});
    if (!h.answers.empty()) {
        *answer = h.answers.front();
        h.answers.pop_front();
        return true;
    }
    if (h.automatic) {
        *answer = true;
        return true;
    }
    return false;
}

bool MessageBox::question(QWidget* parent, const QString& caption, const QString& text)
{
    bool answer = false;
    if (answered(caption, text, &answer))
        return answer;
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void MessageBox::error(QWidget* parent, const QString& caption, const QString& text)
{
    bool ignored = false;
    if (answered(caption, text, &ignored))
        return;
    QMessageBox::critical(parent, caption, text);
}

void MessageBox::information(QWidget* parent, const QString& caption, const QString& text)
{
    bool ignored = false;
    if (answered(caption, text, &ignored))
        return;
    QMessageBox::information(parent, caption, text);
}

void MessageBox::queueAnswer(bool yes) { hooks().answers.push_back(yes); }

void MessageBox::setAutomatic(bool automatic) { hooks().automatic = automatic; }

const std::deque<MessageBox::Shown>& MessageBox::shown() { return hooks().shown; }

void MessageBox::clearShown() { hooks().shown.clear(); }
