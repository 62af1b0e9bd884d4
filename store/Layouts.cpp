#include "store/Layouts.h"

#include "store/engine/Errors.h"

#include <QDir>
#include <QFileInfo>

namespace varnel {

namespace {
DbfColumn column(const char* name, char type, int length, int decimals = 0) {
    DbfColumn c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.length = length;
    c.decimals = decimals;
    return c;
}
constexpr int kNumberWidth = 6; // -32768 fits
constexpr int kMoneyWidth = 19; // strict dBASE III limit
constexpr int kMoneyDecimals = 4;
constexpr int kCoefWidth = 19;
constexpr int kCoefDecimals = 11;
} // namespace

QList<DbfColumn> CompitColumns() {
    return {column("NUMBER", 'N', kNumberWidth),
            column("DATE", 'D', 8),
            column("KOM1", 'C', 25),
            column("KOM2", 'C', 25),
            column("KOEF_1", 'N', kCoefWidth, kCoefDecimals),
            column("KOEF_2", 'N', kCoefWidth, kCoefDecimals),
            column("KOEF_N", 'N', kCoefWidth, kCoefDecimals),
            column("SUMM_1", 'N', kMoneyWidth, kMoneyDecimals),
            column("SUMM_2", 'N', kMoneyWidth, kMoneyDecimals),
            column("SUMM_N", 'N', kMoneyWidth, kMoneyDecimals)};
}

QList<DbfColumn> PriemColumns() {
    return {column("NUMBER", 'N', kNumberWidth), column("RESULT", 'C', 25),
            column("SUMMA", 'N', kMoneyWidth, kMoneyDecimals),
            column("KOEFICIENT", 'N', kCoefWidth, kCoefDecimals), column("FIO", 'C', 50)};
}

QList<DbfColumn> TmpColumns() {
    return {column("NUM", 'N', kNumberWidth)};
}

QList<DbfColumn> MoneyColumns() {
    return {column("FIO", 'C', 50), column("SUMMA", 'N', kMoneyWidth, kMoneyDecimals)};
}

QStringList TableFileNames() {
    return {QStringLiteral("COMPIT.DBF"), QStringLiteral("PRIEM.DBF"), QStringLiteral("TMP.DBF"),
            QStringLiteral("MONEY.DBF")};
}

void CreateEmptyTables(const QString& folder) {
    const QDir dir(folder);
    if (!dir.exists())
        throw EDatabaseError(QStringLiteral("Папки «%1» нет.").arg(folder));
    for (const QString& name : TableFileNames())
        if (QFileInfo::exists(dir.filePath(name)))
            throw EDatabaseError(QStringLiteral("В папке «%1» уже есть таблица %2: она не будет "
                                                "перезаписана.")
                                     .arg(QDir::toNativeSeparators(dir.absolutePath()), name));
    const QList<QList<DbfColumn>> layouts = {CompitColumns(), PriemColumns(), TmpColumns(),
                                             MoneyColumns()};
    for (int i = 0; i < layouts.size(); ++i)
        DbfFile::create(dir.filePath(TableFileNames()[i]), layouts[i]);
}

} // namespace varnel
