#include "app_state.h"

#include "http_clients.h"
#include "submission_log.h"

#include "dbf/dataset/tz_dbf.h"
#include "platform/program_folder.h"
#include "platform/temp_file.h"

#include <QFile>

namespace app {

AppState::AppState()
    : m_clients(std::make_unique<HttpClients>()), m_log(std::make_unique<TTzDbf>()),
      m_logFileName(platform::programFolder() + kLogFileName),
      m_tempFileName(platform::createTempFile())
{
    declareLog(*m_log, m_logFileName);
}

AppState::~AppState()
{
    // Answers still on their way must not reach handlers that are going.
    m_clients->setOnRequestDone(nullptr);
    removeTempFile();
}

void AppState::removeTempFile()
{
    if (!m_tempFileName.isEmpty())
        QFile::remove(m_tempFileName);
}

} // namespace app
