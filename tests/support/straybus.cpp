// Maps a file, then is sent SIGBUS by itself, with nothing handling SIGBUS
// before the mapped files' guard: it must end of the signal, as it would
// have without the guard. Exit code 3 means it lived on.
#include "core/mappedfile.h"

#include <QFile>

#include <csignal>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    const zd::MappedFile mapped(file);
    if (mapped.bytes().isEmpty())
        return 2;
    ::kill(::getpid(), SIGBUS);
    return 3;
}
