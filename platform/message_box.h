#pragma once

#include <deque>
#include <functional>
#include <QMessageBox>
#include <QString>

// Message boxes of the program. Every box goes through here so that tests can
// answer questions without a person: queued answers are used in order, and
// every box shown is recorded.
class MessageBox {
public:
    enum class Answer { Yes, No, Cancel };
    // The button that Enter presses when the box opens.
    enum class Default { Yes, No };

    // A Yes/No confirmation box; true for Yes.
    static bool question(QWidget* parent, const QString& caption, const QString& text,
                         Default initial = Default::Yes);
    // A Yes/No/Cancel box; Esc and the close button answer Cancel.
    static Answer questionWithCancel(QWidget* parent, const QString& caption, const QString& text);
    // An error box with an OK button.
    static void error(QWidget* parent, const QString& caption, const QString& text);
    // An information box with an OK button.
    static void information(QWidget* parent, const QString& caption, const QString& text);

    // Test hooks. While answers are queued, boxes are not shown: questions
    // take the next answer (true for Yes), other boxes return at once.
    // setAutomatic(true) answers every question with Yes when the queue is
    // empty, so no box ever blocks.
    static void queueAnswer(bool yes);
    // A queued Cancel answers a Yes/No question with No.
    static void queueAnswer(Answer answer);
    static void setAutomatic(bool automatic);
    struct Shown {
        QString caption;
        QString text;
        // Questions only: the button Enter presses, and whether Cancel was
        // offered.
        Default initial = Default::Yes;
        bool withCancel = false;
    };
    static const std::deque<Shown>& shown();
    static void clearShown();

private:
    static bool answered(const Shown& box, Answer* answer);
};
