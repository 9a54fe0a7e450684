#pragma once

#include "platform/file_dialog.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// Every test of the program runs in a fresh program folder and a fresh
// configuration folder, with a fixed date format, and answers message boxes
// itself (Yes unless a test queued other answers).
class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(m_home->isValid() && m_config->isValid());
        qputenv("QUORVANE_HOME", m_home->path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
        qputenv("QUORVANE_DATE_FORMAT", "dd.MM.yyyy");
        QApplication::setApplicationDisplayName("Quorvane");
        QDir::setCurrent(m_home->path());
        MessageBox::setAutomatic(true);
        MessageBox::clearShown();
        FileDialog::clearRequests();
    }

    void TearDown() override
    {
        QDir::setCurrent(QDir::tempPath());
        qunsetenv("QUORVANE_HOME");
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The program folder with a trailing '/'.
    QString home() const { return m_home->path() + '/'; }

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_config;
};

// Bytes of a file, for checking line ends.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
