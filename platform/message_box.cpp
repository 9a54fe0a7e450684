#include "message_box.h"

#include <QApplication>

namespace {

struct TestHooks {
    std::deque<MessageBox::Answer> answers;
    std::deque<MessageBox::Shown> shown;
    bool automatic = false;
};

TestHooks& hooks()
{
    static TestHooks instance;
    return instance;
}

} // namespace

bool MessageBox::answered(const Shown& box, Answer* answer)
{
    TestHooks& h = hooks();
    h.shown.push_back(box);
    if (!h.answers.empty()) {
        *answer = h.answers.front();
        h.answers.pop_front();
        return true;
    }
    if (h.automatic) {
        *answer = Answer::Yes;
        return true;
    }
    return false;
}

bool MessageBox::question(QWidget* parent, const QString& caption, const QString& text,
                          Default initial)
{
    Answer answer = Answer::No;
    if (answered({caption, text, initial, false}, &answer))
        return answer == Answer::Yes;
    const QMessageBox::StandardButton first =
        initial == Default::No ? QMessageBox::No : QMessageBox::Yes;
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 first) == QMessageBox::Yes;
}

MessageBox::Answer MessageBox::questionWithCancel(QWidget* parent, const QString& caption,
                                                  const QString& text)
{
    Answer answer = Answer::Cancel;
    if (answered({caption, text, Default::Yes, true}, &answer))
        return answer;
    switch (QMessageBox::question(parent, caption, text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                  QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void MessageBox::error(QWidget* parent, const QString& caption, const QString& text)
{
    Answer ignored = Answer::Yes;
    if (answered({caption, text}, &ignored))
        return;
    QMessageBox::critical(parent, caption, text);
}

void MessageBox::information(QWidget* parent, const QString& caption, const QString& text)
{
    Answer ignored = Answer::Yes;
    if (answered({caption, text}, &ignored))
        return;
    QMessageBox::information(parent, caption, text);
}

void MessageBox::queueAnswer(bool yes)
{
    hooks().answers.push_back(yes ? Answer::Yes : Answer::No);
}

void MessageBox::queueAnswer(Answer answer)
{
    hooks().answers.push_back(answer);
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
