#include "core/mappedfile.h"

namespace zd {

// Windows reads files in chunks instead: a mapped view whose file becomes
// unreadable (a network share, a pulled stick) raises an in-page error that
// cannot be papered over with zeros and resumed as Linux does, and chunked
// reads scan a file as fast under this system's cache.
MappedFile::MappedFile(QFile &) {}

MappedFile::~MappedFile() = default;

bool MappedFile::changed() const
{
    return false;
}

void MappedFile::release(qsizetype) {}

} // namespace zd
