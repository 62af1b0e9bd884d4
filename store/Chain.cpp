#include "store/Chain.h"

#include "base/Errors.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Digits.h"
#include "store/engine/Table.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <openssl/evp.h>

#include <charconv>

namespace varnel {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// How far past the first record that does not match the checker looks, and how many records
// removed in a row it looks for.
constexpr std::size_t kLookAhead = 2;
constexpr int kRemovedAtMost = 1000;

// The file of a day's heads in a folder's digests/.
QString digestFile(const QString& folder, const QDate& day) {
    return QDir(folder).filePath(
        QStringLiteral("%1/%2.txt").arg(QLatin1String(kDigestsFolder), day.toString(Qt::ISODate)));
}

} // namespace

QByteArray ChainStart() {
    return QByteArray(kChainHashLength, '0');
}

QString HeadText(const ChainHead& head) {
    return QStringLiteral("записей %1, голова %2")
        .arg(head.records)
        .arg(QString::fromLatin1(head.hash));
}

QList<ChainHead> HeadsIn(const QString& text) {
    static const QRegularExpression head(
        QStringLiteral("записей\\s+(\\d+),\\s*голова\\s+([0-9a-fA-F]{64})"));
    QList<ChainHead> heads;
    for (auto match = head.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        heads.append({found.captured(1).toLongLong(), found.captured(2).toLatin1().toLower()});
    }
    return heads;
}

struct ChainHasher::Impl {
    EVP_MD* sha256 = nullptr;
    EVP_MD_CTX* context = nullptr;
    std::string input;
};

ChainHasher::ChainHasher() : m(std::make_unique<Impl>()) {
    // Fetched once: a lookup per record would cost more than the hash itself.
    m->sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    m->context = EVP_MD_CTX_new();
    if (!m->sha256 || !m->context)
        throw EDatabaseError(QStringLiteral("SHA-256 недоступен: библиотека libcrypto не "
                                            "загрузила его."));
}

ChainHasher::~ChainHasher() {
    EVP_MD_CTX_free(m->context);
    EVP_MD_free(m->sha256);
}

QByteArray ChainHasher::Hex(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestInit_ex(m->context, m->sha256, nullptr);
    EVP_DigestUpdate(m->context, text.data(), text.size());
    EVP_DigestFinal_ex(m->context, digest, &size);
    QByteArray hex(int(size) * 2, Qt::Uninitialized);
    for (unsigned int i = 0; i < size; ++i) {
        hex[2 * i] = kHexDigits[digest[i] >> 4];
        hex[2 * i + 1] = kHexDigits[digest[i] & 15];
    }
    return hex;
}

QByteArray ChainHasher::Link(const QByteArray& previous, std::int64_t place,
                             std::string_view fields) {
    std::string& input = m->input;
    input.assign(previous.constData(), std::size_t(previous.size()));
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, place);
    input.append(digits, written.ptr);
    input.append(fields);
    return Hex(input);
}

void CanonicalRecord::Raw(std::string_view value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value.size());
    m_text += ';';
    m_text.append(digits, written.ptr);
    m_text += ':';
    m_text.append(value);
}

void CanonicalRecord::Text(std::string_view utf8) {
    while (!utf8.empty() && utf8.back() == ' ')
        utf8.remove_suffix(1);
    Raw(utf8);
}

void CanonicalRecord::Number(std::string_view digits) {
    const std::string_view text = Unpadded(digits.data(), int(digits.size()));
    Decimal number;
    if (!ReadPlainDecimal(text, number)) {
        Raw(text);
        return;
    }
    m_scratch.clear();
    AppendDecimal(m_scratch, number);
    Raw(m_scratch);
}

void CanonicalRecord::Day(std::string_view yyyymmdd) {
    Raw(yyyymmdd);
}

FileChainForm::FileChainForm(const DbfFile& file) {
    const DbfCodec& codec = file.codec();
    QStringDecoder decoder(codec.codePage().constData());
    if (!decoder.isValid())
        throw EDatabaseError(QStringLiteral("Кодировка таблицы %1 (%2) не читается.")
                                 .arg(file.displayName(), QString::fromLatin1(codec.codePage())));
    for (int byte = 0; byte < 256; ++byte) {
        const char c = char(byte);
        const QString decoded = decoder.decode(QByteArrayView(&c, 1));
        decoder.resetState();
        m_bytes[byte] = decoded.toUtf8().toStdString();
    }
    for (const FieldDescription& field : HistoryTable().fields) {
        const int index = file.columnIndex(field.name);
        const DbfColumn* column = index >= 0 ? &codec.columns().at(index) : nullptr;
        if (field.name == fields::HASH) {
            if (column) {
                m_hashOffset = column->offset;
                m_hashLength = column->length;
            }
            continue;
        }
        Column form;
        if (column) {
            form.offset = column->offset;
            form.length = column->length;
            form.kind = field.sealed                       ? Kind::Sealed
                        : field.type == TFieldType::Date   ? Kind::Day
                        : field.type == TFieldType::String ? Kind::Text
                                                           : Kind::Number;
        }
        m_columns.append(form);
    }
}

FileChainForm::~FileChainForm() = default;

void FileChainForm::AppendText(const char* bytes, int length, std::string& out) const {
    while (length > 0 && IsPad(bytes[length - 1]))
        --length;
    for (int i = 0; i < length; ++i)
        out += m_bytes[static_cast<unsigned char>(bytes[i])];
}

void FileChainForm::Canonical(const char* record, CanonicalRecord& out, ChainHasher& hasher) const {
    out.Begin();
    std::string text;
    for (const Column& column : m_columns) {
        const char* p = record + column.offset;
        switch (column.kind) {
        case Kind::Missing:
            out.Raw({});
            break;
        case Kind::Number:
            out.Number(std::string_view(p, std::size_t(column.length)));
            break;
        case Kind::Day: {
            const std::string_view day = Unpadded(p, column.length);
            out.Day(day.find_first_not_of('0') == day.npos ? std::string_view() : day);
            break;
        }
        case Kind::Text:
            text.clear();
            AppendText(p, column.length, text);
            out.Text(text);
            break;
        case Kind::Sealed:
            text.clear();
            AppendText(p, column.length, text);
            if (text.empty())
                out.Raw({});
            else
                out.Raw(hasher.Hex(text).toStdString());
            break;
        }
    }
}

std::string_view FileChainForm::StoredHash(const char* record) const {
    if (!m_hashOffset)
        return {};
    return Unpadded(record + m_hashOffset, m_hashLength);
}

void FileChainForm::WriteHash(char* record, const QByteArray& hash) const {
    std::memset(record + m_hashOffset, ' ', std::size_t(m_hashLength));
    std::memcpy(record + m_hashOffset, hash.constData(),
                std::size_t(std::min<qsizetype>(hash.size(), m_hashLength)));
}

namespace {

// The state a table's sealing keeps between appends: the form of its file, and the chain over
// the records written before the field, computed once.
struct Sealing {
    const DbfFile* file = nullptr;
    std::unique_ptr<FileChainForm> form;
    ChainHasher hasher;
    CanonicalRecord canonical;
    ChainHead start; // the records before the first hash and their chain
    QDate digestOn;  // the day whose first head was written down
};

} // namespace

void ChainAppends(TTable& history) {
    auto sealing = std::make_shared<Sealing>();
    history.SetAppendHook([sealing, &history](QByteArray& record, std::uint32_t index) {
        DbfFile* file = history.WorkFile();
        Sealing& s = *sealing;
        if (s.file != file) {
            s.file = file;
            s.form = std::make_unique<FileChainForm>(*file);
            s.start = {};
        }
        if (!s.form->Chained())
            return;
        QByteArray previous = ChainStart();
        if (index > 0) {
            const std::string_view stored = s.form->StoredHash(file->record(index - 1));
            previous = QByteArray(stored.data(), qsizetype(stored.size()));
        }
        if (index > 0 && previous.isEmpty()) {
            // The history before the field: its chain is the first record's "previous".
            if (s.start.records != index) {
                s.start = {0, ChainStart()};
                for (std::uint32_t i = 0; i < index; ++i) {
                    s.form->Canonical(file->record(i), s.canonical, s.hasher);
                    s.start = {i + 1, s.hasher.Link(s.start.hash, i + 1, s.canonical.Form())};
                }
            }
            previous = s.start.hash;
        }
        // The head as the day found it, at its first write (a head that cannot be written down
        // stops no bet: the next day's first write, or a day report, writes one).
        const QDate today = QDate::currentDate();
        if (s.digestOn != today) {
            s.digestOn = today;
            const QString folder = QFileInfo(file->path()).absolutePath();
            if (!QFileInfo::exists(digestFile(folder, today))) {
                try {
                    WriteFolderDigest(folder, {index, previous}, QStringLiteral("начало дня"));
                } catch (const EDatabaseError&) {
                }
            }
        }
        s.form->Canonical(record.constData(), s.canonical, s.hasher);
        s.form->WriteHash(record.data(), s.hasher.Link(previous, index + 1, s.canonical.Form()));
    });
}

std::int64_t SealFileTail(const QString& historyPath) {
    DbfFile file(historyPath);
    file.open(DbfFile::Access::ReadWrite);
    const FileChainForm form(file);
    const std::uint32_t count = file.recordCount();
    std::uint32_t first = count;
    while (form.Chained() && first > 0 && form.StoredHash(file.record(first - 1)).empty())
        --first;
    if (first == count)
        return 0;
    // A history none of whose records is sealed yet is chained from its first, as one whose
    // records came before the field would be.
    QByteArray previous = ChainStart();
    if (first > 0) {
        const std::string_view stored = form.StoredHash(file.record(first - 1));
        previous = QByteArray(stored.data(), qsizetype(stored.size()));
    }
    ChainHasher hasher;
    CanonicalRecord canonical;
    file.beginOverlay(); // written and synced once
    for (std::uint32_t i = first; i < count; ++i) {
        QByteArray record(file.record(i), int(file.recordLength()));
        form.Canonical(record.constData(), canonical, hasher);
        previous = hasher.Link(previous, i + 1, canonical.Form());
        form.WriteHash(record.data(), previous);
        file.write(i, record);
    }
    file.applyChanges(file.overlayChanges(), count);
    return count - first;
}

ChainChecker::ChainChecker(QList<ChainHead> digests) : m_digests(std::move(digests)) {
    m_head.hash = ChainStart();
}

void ChainChecker::Resume(const ChainHead& from, std::int64_t sealedFrom) {
    m_head = from;
    m_sealedFrom = sealedFrom;
}

bool ChainChecker::Feed(std::string_view fields, std::string_view stored, bool deleted) {
    if (m_decided)
        return false;
    const std::int64_t place = NextPlace();
    const QByteArray kept(stored.data(), qsizetype(stored.size()));
    if (m_pending.empty()) {
        const QByteArray computed = m_hasher.Link(m_head.hash, place, fields);
        const bool started = m_sealedFrom > 0 || !kept.isEmpty();
        const bool matches = kept.isEmpty() ? m_sealedFrom == 0 : kept.toLower() == computed;
        if (matches && !(deleted && started)) {
            if (!kept.isEmpty() && m_sealedFrom == 0)
                m_sealedFrom = place;
            m_head = {place, computed};
            for (const ChainHead& digest : std::as_const(m_digests))
                if (digest.records == place && digest.hash != computed) {
                    m_verdict.breach = ChainBreach::Rewritten;
                    m_verdict.at = place;
                    m_verdict.digest = digest;
                    m_decided = true;
                    return false;
                }
            return true;
        }
        if (matches) { // a sealed record marked deleted: gone from every reader
            m_verdict.breach = ChainBreach::Removed;
            m_verdict.at = place;
            m_decided = true;
            return false;
        }
    }
    m_pending.push_back({place, std::string(fields), kept.toLower(), deleted});
    if (m_pending.size() < kLookAhead)
        return true;
    Classify();
    return false;
}

void ChainChecker::Classify() {
    m_decided = true;
    const Pending& first = m_pending.front();
    const Pending* next = m_pending.size() > 1 ? &m_pending[1] : nullptr;
    const std::int64_t i = first.place;
    m_verdict.at = i;
    const bool nextBelongsHere = next && !next->stored.isEmpty() &&
                                 m_hasher.Link(m_head.hash, i, next->body) == next->stored;
    if (first.stored.isEmpty()) {
        m_verdict.breach = nextBelongsHere ? ChainBreach::Inserted : ChainBreach::Unsealed;
        return;
    }
    if (nextBelongsHere) {
        m_verdict.breach = m_hasher.Link(next->stored, i + 1, first.body) == first.stored
                               ? ChainBreach::Reordered
                               : ChainBreach::Inserted;
        return;
    }
    m_verdict.breach = ChainBreach::Changed;
    if (!next || next->stored.isEmpty() ||
        m_hasher.Link(first.stored, i + 1, next->body) == next->stored)
        return;
    for (int removed = 1; removed <= kRemovedAtMost; ++removed)
        if (m_hasher.Link(first.stored, i + 1 + removed, next->body) == next->stored) {
            m_verdict.breach = ChainBreach::Removed;
            return;
        }
}

ChainVerdict ChainChecker::Finish() {
    if (!m_decided && !m_pending.empty())
        Classify();
    m_decided = true;
    m_verdict.sealedFrom = m_sealedFrom;
    if (m_verdict.breach == ChainBreach::None) {
        m_verdict.head = m_head;
        for (const ChainHead& digest : std::as_const(m_digests))
            if (digest.records > m_head.records) {
                m_verdict.breach = ChainBreach::Cut;
                m_verdict.at = m_head.records + 1;
                m_verdict.digest = digest;
                break;
            }
    }
    return m_verdict;
}

QString ChainVerdict::Said() const {
    const QString broken = QStringLiteral("История нарушена: ");
    switch (breach) {
    case ChainBreach::None:
        return QStringLiteral("История цела.\n") + HeadText(head);
    case ChainBreach::Changed:
        return broken +
               QStringLiteral("запись №%1 изменена после того, как была записана.").arg(at);
    case ChainBreach::Removed:
        return broken + QStringLiteral("удалена запись №%1 (или записи перед ней).").arg(at);
    case ChainBreach::Inserted:
        return broken + QStringLiteral("запись №%1 вставлена в историю позже.").arg(at);
    case ChainBreach::Reordered:
        return broken + QStringLiteral("записи №%1 и №%2 поменяны местами.").arg(at).arg(at + 1);
    case ChainBreach::Unsealed:
        return broken +
               QStringLiteral("у записи №%1 нет хеша цепочки: её дописала не программа.").arg(at);
    case ChainBreach::Cut:
        return broken + QStringLiteral("в ней записей %1, а записанная ранее голова (%2) знает "
                                       "больше: конец истории удалён.")
                            .arg(at - 1)
                            .arg(HeadText(*digest));
    case ChainBreach::Rewritten:
        return broken + QStringLiteral("цепочка не проходит через записанную ранее голову (%1): "
                                       "записи до №%2 переписаны, хеши пересчитаны.")
                            .arg(HeadText(*digest))
                            .arg(at);
    }
    return {};
}

ChainVerdict CheckFolderChain(const QString& historyPath, const QList<ChainHead>& digests,
                              const ChainHead& from, std::int64_t sealedFrom,
                              std::int64_t records) {
    DbfFile file(historyPath);
    file.open(DbfFile::Access::Read);
    const FileChainForm form(file);
    if (from.records > 0 &&
        (from.records > file.recordCount() ||
         (sealedFrom > 0 &&
          form.StoredHash(file.record(std::uint32_t(from.records - 1))) !=
              std::string_view(from.hash.constData(), std::size_t(from.hash.size())))))
        // The part checked before changed since: the whole again, its head as one written down.
        return CheckFolderChain(historyPath, QList<ChainHead>(digests) << from, {}, 0, records);
    ChainChecker checker(digests);
    if (from.records > 0)
        checker.Resume(from, sealedFrom);
    ChainHasher hasher;
    CanonicalRecord canonical;
    std::uint32_t count = file.recordCount();
    if (records >= 0 && records < count)
        count = std::uint32_t(records);
    for (std::uint32_t i = std::uint32_t(std::min<std::int64_t>(from.records, count)); i < count;) {
        std::uint32_t run = 0;
        const char* record = file.recordRun(i, 1, run);
        bool more = true;
        for (; run > 0 && i < count && more; --run, ++i, record += file.recordLength()) {
            form.Canonical(record, canonical, hasher);
            more = checker.Feed(canonical.Form(), form.StoredHash(record), record[0] == '*');
        }
        if (!more)
            break;
    }
    return checker.Finish();
}

QList<ChainHead> FolderDigests(const QString& folder) {
    QList<ChainHead> heads;
    const QDir dir(QDir(folder).filePath(QLatin1String(kDigestsFolder)));
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            heads << HeadsIn(QString::fromUtf8(file.readAll()));
    }
    return heads;
}

void WriteFolderDigest(const QString& folder, const ChainHead& head, const QString& why) {
    const QDateTime now = QDateTime::currentDateTime();
    const QString path = digestFile(folder, now.date());
    QFile file(path);
    if (!QDir(folder).mkpath(QLatin1String(kDigestsFolder)) ||
        !file.open(QIODevice::WriteOnly | QIODevice::Append) ||
        file.write(
            QStringLiteral("%1 %2: %3\n")
                .arg(now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), why, HeadText(head))
                .toUtf8()) < 0 ||
        !file.flush())
        throw EDatabaseError(QStringLiteral("Голова истории не записана в «%1»: %2.")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace varnel
