// varnel-export: the live records of a dBASE table on standard output (Export.h).
#include "tools/export/Export.h"

#include <QString>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    // No QCoreApplication: nothing here needs an event loop, and the export is a whole process
    // that should cost little more than reading the file.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    return varnel::RunExport(arguments, stdout, stderr);
}
