#pragma once

// A private world for installer tests: HOME, XDG_DATA_HOME and
// XDG_CONFIG_HOME point into a temporary folder, which also holds a setup
// folder with stand-ins for the programs setup installs.
#include "setup/folder_picker.h"
#include "setup/message_box.h"

#include <gtest/gtest.h>
#include <map>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

class SetupFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            m_saved[name] = qgetenv(name);
        home = path("home");
        dataHome = path("data");
        configHome = path("config");
        setupFolder = path("dist/quorvane-1.04");
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
        setup::MessageBox::setAutomatic(true);
        resetWorld();
    }

    // Empties the temporary world and lays out a fresh setup folder.
    void resetWorld()
    {
        const QStringList entries =
            QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QString& entry : entries) {
            const QString full = m_root.filePath(entry);
            if (QFileInfo(full).isDir())
                QDir(full).removeRecursively();
            else
                QFile::remove(full);
        }
        for (const QString& folder : {home, dataHome, configHome, setupFolder})
            ASSERT_TRUE(QDir().mkpath(folder));
        writeFile(setupFolder + "/quorvane", programBytes("main program", 20000), 0755);
        writeFile(setupFolder + "/uninst", programBytes("uninstaller", 9000), 0755);
        writeFile(setupFolder + "/setup", programBytes("setup", 100), 0755);
        setup::MessageBox::clearShown();
        setup::FolderPicker::clearRequests();
    }

    void TearDown() override
    {
        setup::MessageBox::setAutomatic(false);
        for (const auto& [name, value] : m_saved) {
            if (value.isNull())
                qunsetenv(name.c_str());
            else
                qputenv(name.c_str(), value);
        }
    }

    QString path(const QString& relative) const { return m_root.filePath(relative); }
    QString applications() const { return dataHome + "/applications"; }
    QString group() const { return applications() + "/QUORVane"; }

    static QByteArray programBytes(const char* label, int size)
    {
        QByteArray bytes(label);
        while (bytes.size() < size)
            bytes += char('a' + bytes.size() % 26);
        return bytes.left(size);
    }

    static void writeFile(const QString& file, const QByteArray& bytes, int mode = 0644)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << file.toStdString();
        out.write(bytes);
        out.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (mode & 0100)
            permissions |= QFile::ExeOwner;
        QFile::setPermissions(file, permissions);
    }

    static QByteArray readFile(const QString& file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    // Every file and folder under `folder` with the contents of the files.
    static std::map<QString, QByteArray> snapshot(const QString& folder)
    {
        std::map<QString, QByteArray> entries;
        QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString entry = it.next();
            entries[QDir(folder).relativeFilePath(entry)] =
                it.fileInfo().isDir() ? QByteArray("<dir>") : readFile(entry);
        }
        return entries;
    }

    std::vector<QString> shownTexts() const
    {
        std::vector<QString> texts;
        for (const auto& box : setup::MessageBox::shown())
            texts.push_back(box.text);
        return texts;
    }

    QString home;
    QString dataHome;
    QString configHome;
    QString setupFolder;

private:
    QTemporaryDir m_root;
    std::map<std::string, QByteArray> m_saved;
};
