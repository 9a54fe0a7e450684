#include "table_reporters.h"

#include "dbf/dataset/tz_odbf.h"
#include "dbf/widgets/tz_message_boxes.h"

namespace app {

void installTableReporters()
{
    TTzODbf::setMessageMode(2);
    TTzODbf::setHaltReporter(&tzboxes::haltBox);
    TTzODbf::setMessageReporter(&tzboxes::noticeBox);
}

} // namespace app
