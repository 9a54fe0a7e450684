#pragma once

#include <deque>
#include <optional>
#include <QString>

class QWidget;

// A one-line input box: a caption, a prompt, an edit preset with a default
// text, OK and Cancel. Like the message boxes it goes through here so that
// tests can answer it without a person.
class InputBox {
public:
    // The text in the edit when OK is pressed; the default text when the box
    // is dismissed (Cancel, Esc, the close button).
    static QString ask(QWidget* parent, const QString& caption, const QString& prompt,
                       const QString& defaultText);

    // Test hooks. While answers are queued the box is not shown: each ask
    // takes the next answer, std::nullopt standing for a dismissed box.
    // setAutomatic(true) dismisses every box when the queue is empty.
    static void queueAnswer(std::optional<QString> text);
    static void setAutomatic(bool automatic);
    struct Shown {
        QString caption;
        QString prompt;
        QString defaultText;
    };
    static const std::deque<Shown>& shown();
    static void clearShown();
};
