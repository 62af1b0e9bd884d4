// varnel-verify: checks the history's chain (Verify.h).
#include "tools/verify/Verify.h"

#include <QString>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return varnel::RunVerify(arguments, stdout, stderr);
}
