#pragma once

#include <deque>
#include <QString>

namespace setup {

// Message boxes of the installer and the uninstaller. Every box has no owner
// window. Boxes can be answered without a person in two ways:
// - tests queue answers or switch on automatic answers, and read back every
//   box shown;
// - scripted runs set the environment variable QUORVANE_SETUP_UNATTENDED=1:
//   every box is then written to standard error instead of being shown and
//   every question is answered Yes. The variable passes on to the uninstaller
//   that setup starts.
class MessageBox {
public:
    enum class Icon { Information, Warning, Error, Question };

    // A box with an OK button only.
    static void show(const QString& caption, const QString& text, Icon icon);
    // A Yes/No question; true for Yes.
    static bool question(const QString& caption, const QString& text);

    static constexpr char kUnattendedVariable[] = "QUORVANE_SETUP_UNATTENDED";
    static bool unattended();

    // Test hooks. While answers are queued, boxes are not shown: questions
    // take the next answer, other boxes return at once. In automatic mode an
    // empty queue answers Yes.
    static void queueAnswer(bool yes);
    static void setAutomatic(bool automatic);
    struct Shown {
        QString caption;
        QString text;
        Icon icon;
    };
    static const std::deque<Shown>& shown();
    static void clearShown();

private:
    static bool answered(const Shown& box, bool* answer);
};

} // namespace setup
