#include "tools/newdesk/NewDesk.h"

#include "base/Errors.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/DbfCodec.h"
#include "store/engine/DbfFile.h"
#include "store/engine/FaultInjection.h"
#include "store/engine/FolderLock.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace varnel {

namespace {

// The file opened for reading only, as it stands; one the counter would mend at its start is
// left to it.
void openToRead(DbfFile& file) {
    try {
        file.open(DbfFile::Access::Read);
    } catch (const EDatabaseError& error) {
        throw EDatabaseError(error.message() +
                             QStringLiteral(" Запустите в папке кассу: при запуске она исправит "
                                            "таблицу; затем повторите. Таблица не изменена."));
    }
}

// The fields of the description that may be missing and that the file lacks.
QStringList lacking(const QString& path, const TableDescription& table) {
    DbfFile file(path);
    openToRead(file);
    QStringList names;
    for (const FieldDescription* field : table.MissingFrom(file.columns()))
        names << field->name;
    return names;
}

// A new file written whole with plain writes, then synced: what AddMissingFields puts in place.
class NewFile {
public:
    explicit NewFile(const QString& path) : m_path(path) {
        const QByteArray native = QFile::encodeName(path);
        m_fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_fd < 0)
            fail(QStringLiteral("не создаётся"), errno);
    }
    ~NewFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    void Write(const QByteArray& bytes) {
        fault::Point();
        for (qsizetype done = 0; done < bytes.size();) {
            const auto wrote =
                ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                fail(QStringLiteral("не записывается"), wrote < 0 ? errno : ENOSPC);
            done += wrote;
        }
    }
    void Close() {
        fault::Point();
        if (DbfFile::syncEnabled() && ::fsync(m_fd) != 0)
            fail(QStringLiteral("не записывается на диск"), errno);
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            fail(QStringLiteral("не записывается"), errno);
    }

private:
    [[noreturn]] void fail(const QString& what, int error) const {
        const QString reason = error == ENOSPC ? QStringLiteral("на диске нет места")
                                               : QString::fromLocal8Bit(std::strerror(error));
        throw EDatabaseError(QStringLiteral("Файл «%1» %2: %3.")
                                 .arg(QDir::toNativeSeparators(m_path), what, reason));
    }

    QString m_path;
    int m_fd = -1;
};

} // namespace

AddedFields AddMissingFields(const QString& folder, const TableDescription& table) {
    const QDir dir(folder);
    const QString path = dir.filePath(table.file);
    const QString shown = QDir::toNativeSeparators(dir.absolutePath());
    AddedFields added;
    // A look first: a file that lacks nothing is left alone, whoever holds the folder.
    if (!QFileInfo::exists(path))
        return added;
    const QStringList names = lacking(path, table);
    if (names.isEmpty())
        return added;
    const QString refused = QStringLiteral("В таблицу %1 папки «%2» нужно добавить поле %3, но ")
                                .arg(table.file, shown, names.join(QStringLiteral(", ")));

    // A counter (or the back office undoing a result) holds the folder while it may write the
    // table; the file is replaced only while nobody does.
    FolderLock lock;
    if (!lock.TryLock(dir.absolutePath()))
        throw EDatabaseError(refused + QStringLiteral("с папкой работает программа кассы (или "
                                                      "бэк-офис): закройте её и повторите. "
                                                      "Таблица не изменена."));
    if (TDataModule6::HasInterruptedWork(dir.absolutePath()))
        throw EDatabaseError(refused + QStringLiteral("в папке осталась незавершённая работа: "
                                                      "запустите в ней кассу, она её завершит, "
                                                      "затем повторите. Таблица не изменена."));

    DbfFile old(path);
    openToRead(old);
    const QList<const FieldDescription*> missing = table.MissingFrom(old.columns());
    if (missing.isEmpty())
        return added; // another program added them meanwhile
    QList<DbfColumn> columns = old.columns();
    int grownBy = 0;
    for (const FieldDescription* field : missing) {
        DbfColumn column = field->written;
        column.name = field->name;
        columns << column;
        added.names << column.name;
        grownBy += column.length;
    }
    if (old.recordLength() + grownBy > 0xFFFF)
        throw EDatabaseError(refused + QStringLiteral("запись таблицы стала бы длиннее 65535 "
                                                      "байт. Таблица не изменена."));
    added.records = old.recordCount();

    // The header of a new table of these columns, with the old one's kind (its first byte),
    // code page and count; then the records, each followed by the blank new fields.
    QByteArray header = dbf::EmptyTable(columns, QDate::currentDate());
    header.chop(1); // the end-of-file mark follows the records
    if (QFile raw(path); raw.open(QIODevice::ReadOnly))
        if (const QByteArray kind = raw.read(1); kind.size() == 1)
            header[0] = kind[0];
    header.replace(1, 7, dbf::DateAndCount(QDate::currentDate(), added.records));
    header[29] = char(old.languageDriver());

    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial); // what an earlier try cut short left
    try {
        NewFile out(partial);
        out.Write(header);
        const QByteArray blanks(grownBy, ' ');
        QByteArray chunk;
        constexpr qsizetype kChunk = 1 << 20;
        for (std::uint32_t i = 0; i < added.records; ++i) {
            chunk.append(old.record(i), old.recordLength());
            chunk.append(blanks);
            if (chunk.size() >= kChunk) {
                out.Write(chunk);
                chunk.clear();
            }
        }
        chunk.append(dbf::kEndOfFile);
        out.Write(chunk);
        out.Close();
        QFile::setPermissions(partial, QFile::permissions(path));

        // What was written reads as a table of its records before it takes the old one's place.
        DbfFile check(partial);
        check.open(DbfFile::Access::Read);
        if (check.recordCount() != added.records || check.columns().size() != columns.size())
            throw EDatabaseError(
                QStringLiteral("Таблица «%1»: новый файл не совпал с прежним.").arg(table.file));
        check.close();

        fault::Point();
        const QByteArray from = QFile::encodeName(partial), to = QFile::encodeName(path);
        if (::rename(from.constData(), to.constData()) != 0) {
            const int error = errno;
            throw EDatabaseError(QStringLiteral("Файл «%1» не переименовывается в %2: %3.")
                                     .arg(QDir::toNativeSeparators(partial), table.file,
                                          QString::fromLocal8Bit(std::strerror(error))));
        }
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    DbfFile::syncFolder(dir.absolutePath());
    return added;
}

QString ShippedImagesDir() {
    // An installed program finds the bitmaps where the package put them, relative to itself
    // so that any prefix works; run from the build tree (the tests too) it takes the source
    // tree's, which it was built from.
    if (QCoreApplication::instance()) {
        const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                  QStringLiteral("/" VARNEL_IMAGES_FROM_BIN));
        if (QDir(installed).exists())
            return installed;
    }
    return QStringLiteral(VARNEL_IMAGES_DIR);
}

Laid LayOutWorkingFolder(const QString& folder, const QString& imagesFrom, AddedFields* added,
                         QStringList* alsoDone) {
    if (!QDir().mkpath(folder))
        throw EDatabaseError(QStringLiteral("Не удалось создать папку «%1».").arg(folder));
    // A folder of books kept before the history was: the history is added, the books stay. One
    // whose history was written before some of its fields: they are added, the records stay.
    Laid laid = Laid::Folder;
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(CompitTable().file))) {
        laid = AddHistoryTable(folder) ? Laid::History : Laid::Nothing;
        if (laid == Laid::Nothing) {
            AddedFields fields = AddMissingFields(folder, HistoryTable());
            if (!fields.names.isEmpty())
                laid = Laid::HistoryFields;
            if (added)
                *added = std::move(fields);
        }
        // Books laid out before the owner's limits: the limits' table, no limit set, and the
        // events' payout sums (blank: each is summed from its bets at the event's next bet).
        // And before the slips: the serial of each bet and payout (blank for those before).
        QStringList done;
        const std::pair<const TableDescription*, const char*> books[] = {
            {&CompitTable(), "событий"}, {&PriemTable(), "ставок"}, {&MoneyTable(), "выплат"}};
        for (const auto& [table, what] : books) {
            const AddedFields sums = AddMissingFields(folder, *table);
            if (!sums.names.isEmpty())
                done << QStringLiteral("В таблицу %1 %2 %3 %4 (записей: %5).")
                            .arg(QString::fromUtf8(what), table->file,
                                 sums.names.size() == 1 ? QStringLiteral("добавлено поле")
                                                        : QStringLiteral("добавлены поля"),
                                 sums.names.join(QStringLiteral(", ")))
                            .arg(sums.records);
        }
        if (AddLimitsTable(folder))
            done << QStringLiteral("Добавлена таблица лимитов %1, лимиты не установлены.")
                        .arg(LimitsTable().file);
        if (alsoDone)
            *alsoDone = done;
    } else {
        CreateEmptyTables(folder);
    }

    const QDir target(folder);
    if (!target.mkpath(QStringLiteral("images")))
        throw EDatabaseError(QStringLiteral("Не удалось создать папку «%1».")
                                 .arg(target.filePath(QStringLiteral("images"))));
    const QDir source(imagesFrom);
    const QStringList bitmaps =
        source.entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
    for (const QString& name : bitmaps) {
        const QString to = target.filePath(QStringLiteral("images/") + name);
        if (QFile::exists(to))
            continue;
        if (!QFile::copy(source.filePath(name), to))
            throw EDatabaseError(QStringLiteral("Не удалось скопировать рисунок «%1» в «%2».")
                                     .arg(source.filePath(name), to));
    }
    return laid;
}

} // namespace varnel
