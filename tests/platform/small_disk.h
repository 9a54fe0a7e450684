#pragma once

// A small disk for tests of full-disk behaviour: a tmpfs of a few kilobytes
// mounted on a fresh temporary folder. Mounting needs root; elsewhere the
// disk is not available and tests skip with a message.

#include <cstdio>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

class SmallDisk {
public:
    explicit SmallDisk(int kilobytes = 16)
    {
        if (::geteuid() != 0 || !m_dir.isValid())
            return;
        const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0777";
        const QByteArray where = QFile::encodeName(m_dir.path());
        m_mounted = ::mount("tmpfs", where.constData(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return m_mounted; }
    QString path() const { return m_dir.path() + '/'; }

    // Takes up every byte that is left with one filler file.
    void fill()
    {
        QFile filler(path() + "filler");
        if (!filler.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        // What did not fit in a whole block goes byte by byte.
        while (filler.write("x", 1) == 1 && filler.flush()) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};
