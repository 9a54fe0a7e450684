#include "dbf/widgets/tz_message_boxes.h"

#include "platform/ansi.h"
#include "platform/message_box.h"

#include <cstdlib>
#include <QGuiApplication>

namespace tzboxes {

void haltBox(int code, const std::string& text)
{
    MessageBox::error(nullptr, QStringLiteral("Program halted."), platform::fromAnsi(text));
    std::exit(code);
}

void noticeBox(const std::string& text)
{
    MessageBox::information(nullptr, QGuiApplication::applicationDisplayName(),
                            platform::fromAnsi(text));
}

} // namespace tzboxes
