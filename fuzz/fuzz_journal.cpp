// Finds arbitrary bytes, sealed, as the journal of an interrupted operation at start, beside
// real tables: the recovery either completes what the journal says or refuses it with an
// EDatabaseError; it never crashes, and it never writes a file outside the working folder.
#include "base/Errors.h"
#include "store/Tables.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace varnel;

namespace {

QTemporaryDir* g_root = nullptr;
QByteArray g_tables[4];

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_root = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/varnel-fuzz-XXXXXX"));
    const QString pristine = g_root->filePath(QStringLiteral("pristine"));
    QDir().mkpath(pristine);
    CreateEmptyTables(pristine);
    for (int i = 0; i < 4; ++i) {
        QFile f(pristine + QLatin1Char('/') + TableFileNames()[i]);
        if (!f.open(QIODevice::ReadOnly))
            std::abort();
        g_tables[i] = f.readAll();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString folder = g_root->filePath(QStringLiteral("desk/work"));
    QDir(g_root->filePath(QStringLiteral("desk"))).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < 4; ++i) {
        QFile f(folder + QLatin1Char('/') + TableFileNames()[i]);
        if (!f.open(QIODevice::WriteOnly) || f.write(g_tables[i]) != g_tables[i].size())
            std::abort();
    }
    // Sealed as the program seals it, so that the fuzzer reaches past the seal.
    const QByteArray journal =
        SealJournal(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QFile f(folder + QLatin1Char('/') + JournalFileName());
    if (!f.open(QIODevice::WriteOnly) || f.write(journal) != journal.size())
        std::abort();
    f.close();

    try {
        RecoverInterruptedWork(folder);
    } catch (const EDatabaseError& e) {
        if (e.message().isEmpty())
            std::abort();
    }
    // Nothing may appear beside the working folder.
    const QStringList outside = QDir(g_root->filePath(QStringLiteral("desk")))
                                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (outside != QStringList{QStringLiteral("work")})
        std::abort();
    return 0;
}
