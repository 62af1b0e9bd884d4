#include "server/Seals.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Operations.h"
#include "server/Schema.h"
#include "store/Source.h"
#include "store/Tables.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

namespace {

// The advisory lock a sealer holds to its transaction's end ("varnel" in ASCII): one seals at a
// time, the others pass.
constexpr qint64 kSealLock = 0x7661726e656c;

// The value of a field of the history row `row` as the canonical form takes it, as text (NULL
// for none): text without trailing blanks, a day as YYYYMMDD, a number's digits, KOD's hash.
QString canonicalValue(const FieldDescription& field, const QString& row) {
    const QString column = row + QLatin1Char('.') + ServerColumn(field.name);
    if (field.sealed)
        return QStringLiteral("encode(sha256(convert_to(nullif(rtrim(%1, ' '), ''), 'UTF8')), "
                              "'hex')")
            .arg(column);
    switch (field.type) {
    case TFieldType::String:
        return QStringLiteral("rtrim(%1, ' ')").arg(column);
    case TFieldType::Date:
        return QStringLiteral("to_char(%1, 'YYYYMMDD')").arg(column);
    default:
        return QStringLiteral("trim_scale(%1::numeric)::text").arg(column);
    }
}

QList<const FieldDescription*> chainedFields() {
    QList<const FieldDescription*> chained;
    for (const FieldDescription& field : HistoryTable().fields)
        if (!field.keptApart)
            chained << &field;
    return chained;
}

} // namespace

void DefineChain(ServerConnection& server) {
    if (!server.Value(QStringLiteral("select to_regclass('varnel.seals') is not null")).toBool()) {
        server.Exec(QStringLiteral(
            "create table varnel.seals (link bigint primary key, key bigint not null unique, "
            "hash text not null, sealed timestamptz not null default now())"));
        // `below`: every record of a transaction below it is sealed; `day`: the books' day of
        // the last digest written at a sealing.
        server.Exec(QStringLiteral("create table varnel.chain (records bigint not null, head text "
                                   "not null, below xid8 not null, day date, sealed timestamptz "
                                   "not null)"));
        server.Exec(QStringLiteral("insert into varnel.chain values (0, repeat('0', 64), '0', "
                                   "null, '-infinity')"));
        server.Exec(QStringLiteral(
            "create table varnel.digests (at timestamptz not null default now(), records bigint "
            "not null, head text not null, why text not null)"));
    }
    // The canonical text written out in full: a function per field would cost the sealer four
    // times as much.
    const auto canonical = [](const QString& row) {
        QStringList pieces;
        for (const FieldDescription* field : chainedFields()) {
            const QString value =
                QStringLiteral("coalesce(%1, '')").arg(canonicalValue(*field, row));
            pieces << QStringLiteral("';' || octet_length(%1) || ':' || %1").arg(value);
        }
        return pieces.join(QStringLiteral(" || "));
    };
    QStringList columns, names;
    for (const FieldDescription* field : chainedFields()) {
        names << QStringLiteral("r.") + ServerColumn(field->name);
        columns << (field->sealed || field->type == TFieldType::Date
                        ? canonicalValue(*field, QStringLiteral("h"))
                        : QStringLiteral("h.") + ServerColumn(field->name)) +
                       QStringLiteral(" as ") + ServerColumn(field->name);
    }
    server.Exec(QStringLiteral("create or replace function varnel.canonical(h varnel.history) "
                               "returns text language sql stable as $$ select %1 $$")
                    .arg(canonical(QStringLiteral("h"))));
    // In key order, the records of the transactions that ended before the oldest one still
    // running: a record of a transaction still open, whatever its key, is sealed after them.
    // Read committed only: a snapshot older than the chain's row would seal twice.
    server.Exec(
        QStringLiteral(
            "create or replace function varnel.seal() returns bigint language plpgsql security "
            "definer set search_path = pg_catalog, pg_temp as $$ "
            "declare c record; upto xid8; r record; n bigint; h text; today date; "
            "links bigint[] := '{}'; keys bigint[] := '{}'; hashes text[] := '{}'; "
            "begin "
            "if current_setting('transaction_isolation') <> 'read committed' "
            "or not pg_try_advisory_xact_lock(%1) then return 0; end if; "
            "select * into c from varnel.chain; "
            "upto := pg_snapshot_xmin(pg_current_snapshot()); "
            "today := (clock_timestamp() at time zone coalesce((select s.time_zone from "
            "varnel.settings s limit 1), 'UTC'))::date; "
            "if c.day is distinct from today then "
            "insert into varnel.digests (records, head, why) values (c.records, c.head, 'день'); "
            "update varnel.chain set day = today; end if; "
            "n := c.records; h := c.head; "
            "for r in select x.key, %2 as form from varnel.history x "
            "where x.xact >= c.below and x.xact < upto "
            "and not exists (select from varnel.seals s where s.key = x.key) order by x.key loop "
            "n := n + 1; "
            "h := encode(sha256(convert_to(h || n::text || r.form, 'UTF8')), 'hex'); "
            "links := links || n; keys := keys || r.key; hashes := hashes || h; "
            "end loop; "
            "if n > c.records then insert into varnel.seals (link, key, hash) "
            "select * from unnest(links, keys, hashes); "
            "update varnel.chain set records = n, head = h, below = greatest(c.below, upto), "
            "sealed = clock_timestamp(); "
            "end if; "
            "return n - c.records; end $$")
            .arg(kSealLock)
            .arg(canonical(QStringLiteral("x"))));
    // The times the chain keeps are when it acted, as the operations' are.
    server.Exec(QStringLiteral("alter table varnel.seals alter column sealed set default "
                               "clock_timestamp()"));
    server.Exec(QStringLiteral("alter table varnel.digests alter column at set default "
                               "clock_timestamp()"));
    // A head written down where the program writes one, and once: the same head asked for again
    // for the same reason is the one written before.
    server.Exec(
        QStringLiteral(
            "create or replace function varnel.write_digest(p_why text) returns table (records "
            "bigint, head text) language plpgsql security definer set search_path = pg_catalog, "
            "pg_temp as $$ begin "
            "if p_why is distinct from %1 then raise exception '%', %2 using errcode = '%3'; "
            "end if; "
            "return query select d.records, d.head from varnel.digests d, varnel.chain c "
            "where d.records = c.records and d.head = c.head and d.why = p_why limit 1; "
            "if found then return; end if; "
            "return query insert into varnel.digests as d (records, head, why) "
            "select c.records, c.head, p_why from varnel.chain c "
            "returning d.records, d.head; end $$")
            .arg(SqlLiteral(QString::fromUtf8(kDayReportDigest)),
                 SqlLiteral(QStringLiteral("Голову истории книги записывают только к отчёту за "
                                           "день.")),
                 QLatin1String(kRuleRefusedState)));
    server.Exec(QStringLiteral("create or replace view varnel.records as select h.key, %1 from "
                               "varnel.history h")
                    .arg(columns.join(QStringLiteral(", "))));
    server.Exec(QStringLiteral("create or replace view varnel.chained as select s.link, s.hash, "
                               "%1 from varnel.seals s join varnel.records r on r.key = s.key")
                    .arg(names.join(QStringLiteral(", "))));

    // The sealer's functions run as a role of the books that cannot log in, as the operations
    // do: it reads the history whole and writes the chain, nothing else.
    const QString kassa = QuotedGroup(server, OperatorRole::Kassa);
    const QString operations =
        server.Value(QStringLiteral("select quote_ident(?)"), {OperationsRole(server)}).toString();
    const QString sealer =
        server
            .Value(QStringLiteral("select quote_ident(regexp_replace(role, '_kassa$', '_sealer')) "
                                  "from varnel.groups where kind = 'kassa'"))
            .toString();
    if (server.Value(QStringLiteral("select to_regrole(?) is null"), {sealer}).toBool())
        server.Exec(QStringLiteral("create role %1 nologin").arg(sealer));
    server.Exec(QStringLiteral("grant %1 to current_user").arg(sealer));
    for (const QString& right :
         {QStringLiteral("usage on schema varnel"),
          QStringLiteral("select on varnel.history, varnel.settings, varnel.seals, varnel.chain, "
                         "varnel.digests"),
          QStringLiteral("insert on varnel.seals, varnel.digests"),
          QStringLiteral("update on varnel.chain")})
        server.Exec(QStringLiteral("grant %1 to %2").arg(right, sealer));
    for (const char* const table : {"seals", "chain", "digests", "records", "chained"})
        server.Exec(QStringLiteral("grant select on varnel.%1 to %2, %3")
                        .arg(QLatin1String(table), kassa, operations));
    for (const char* const function : {"seal()", "write_digest(text)"}) {
        const QString name = QStringLiteral("varnel.") + QLatin1String(function);
        server.Exec(QStringLiteral("alter function %1 owner to %2").arg(name, sealer));
        server.Exec(QStringLiteral("revoke execute on function %1 from public").arg(name));
        server.Exec(
            QStringLiteral("grant execute on function %1 to %2, %3").arg(name, kassa, operations));
    }
}

std::int64_t SealHistory(ServerConnection& server) {
    return server.Value(QStringLiteral("select varnel.seal()")).toLongLong();
}

ChainHead WriteDigest(ServerConnection& server, const QString& why) {
    SealHistory(server);
    ServerRows row = server.Exec(QStringLiteral("select * from varnel.write_digest(?)"), {why});
    if (!row.Next())
        throw EServerError(QStringLiteral("Голова истории не записана."), false);
    return {row.Value(0).toLongLong(), row.Value(1).toString().toLatin1()};
}

namespace {

// The cells of a line in COPY's text form, one after the other.
class CopyCells {
public:
    CopyCells(const char* line, int size) : m_p(line), m_end(line + size) {}
    // The next cell's text (valid until the next call); false for NULL (the text then empty).
    bool Next(std::string_view& value) {
        if (m_end - m_p >= 2 && m_p[0] == '\\' && m_p[1] == 'N') {
            m_p = std::min(m_p + 3, m_end);
            value = {};
            return false;
        }
        const char* const start = m_p;
        while (m_p < m_end && *m_p != '\t' && *m_p != '\\')
            ++m_p;
        if (m_p == m_end || *m_p == '\t') { // no escapes: the line's own bytes
            value = std::string_view(start, std::size_t(m_p - start));
            m_p = std::min(m_p + 1, m_end);
            return true;
        }
        m_escaped.assign(start, m_p);
        for (; m_p < m_end && *m_p != '\t'; ++m_p) {
            if (*m_p != '\\' || m_p + 1 == m_end) {
                m_escaped += *m_p;
                continue;
            }
            const char escaped = *++m_p;
            m_escaped += escaped == 't'   ? '\t'
                         : escaped == 'n' ? '\n'
                         : escaped == 'r' ? '\r'
                                          : escaped;
        }
        m_p = std::min(m_p + 1, m_end);
        value = m_escaped;
        return true;
    }
    std::int64_t Integer() {
        std::int64_t value = 0;
        const auto read = std::from_chars(m_p, m_end, value);
        m_p = read.ptr < m_end ? read.ptr + 1 : m_end;
        return value;
    }

private:
    const char* m_p;
    const char* m_end;
    std::string m_escaped;
};

// The fields of a history record as the views give them, into their canonical text.
void readFields(CopyCells& cells, const QList<const FieldDescription*>& fields,
                CanonicalRecord& canonical) {
    std::string_view value;
    canonical.Begin();
    for (const FieldDescription* field : fields) {
        cells.Next(value);
        if (field->sealed || field->type == TFieldType::Date)
            canonical.Raw(value);
        else if (field->type == TFieldType::String)
            canonical.Text(value);
        else
            canonical.Number(value);
    }
}

constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();

// The chain's check inside a reading transaction; nothing when the head checked before (`from`)
// is no longer in the chain.
std::optional<ChainVerdict> checkChain(ServerConnection& server, const QList<ChainHead>& digests,
                                       const ChainHead& from) {
    const QList<const FieldDescription*> fields = chainedFields();
    // Every record's hash can be checked alone against the hash kept before it: the history is
    // read in whatever order the server keeps it, and the seals apart, in the chain's order (a
    // join of the two in that order costs the server twice the time). The first record found
    // wrong, and a few after it, are then read in the chain's order to tell what was done.
    std::int64_t last = from.records; // the last seal in an unbroken run of links
    std::int64_t suspect = kNone;     // the first record that does not check out
    bool fromKept = from.records == 0;
    QByteArray kept = from.records == 0 ? ChainStart() : from.hash; // hashes from `last`'s on
    struct Sealed {
        std::int64_t key;
        std::int64_t link;
    };
    std::vector<Sealed> byKey;
    std::string_view hash;
    server.CopyOut(QStringLiteral("select link, key, hash from varnel.seals where link >= %1 "
                                  "order by link")
                       .arg(from.records),
                   [&](const char* line, int size) {
                       CopyCells cells(line, size);
                       const std::int64_t link = cells.Integer();
                       const std::int64_t key = cells.Integer();
                       cells.Next(hash);
                       if (link == from.records) { // the head checked before, still there
                           fromKept = hash == std::string_view(from.hash.constData(),
                                                               std::size_t(from.hash.size()));
                           return;
                       }
                       if (suspect != kNone)
                           return;
                       if (link != last + 1 || hash.size() != std::size_t(kChainHashLength)) {
                           suspect = last + 1;
                           return;
                       }
                       last = link;
                       byKey.push_back({key, link});
                       kept.append(hash.data(), qsizetype(hash.size()));
                   });
    if (!fromKept)
        return std::nullopt;
    const auto keptHash = [&](std::int64_t link) {
        return QByteArray::fromRawData(kept.constData() + (link - from.records) * kChainHashLength,
                                       kChainHashLength);
    };

    if (!byKey.empty()) {
        std::sort(byKey.begin(), byKey.end(),
                  [](const Sealed& a, const Sealed& b) { return a.key < b.key; });
        std::vector<bool> checked(byKey.size());
        ChainHasher hasher;
        CanonicalRecord canonical;
        std::size_t at = 0; // the history mostly comes in the order of its keys
        server.CopyOut(
            QStringLiteral("select * from varnel.records where key >= %1").arg(byKey.front().key),
            [&](const char* line, int size) {
                CopyCells cells(line, size);
                const std::int64_t key = cells.Integer();
                if (at + 1 < byKey.size() && byKey[at + 1].key == key) {
                    ++at;
                } else if (byKey[at].key != key) {
                    const auto found =
                        std::lower_bound(byKey.begin(), byKey.end(), key,
                                         [](const Sealed& s, std::int64_t k) { return s.key < k; });
                    if (found == byKey.end() || found->key != key)
                        return; // not sealed yet
                    at = std::size_t(found - byKey.begin());
                }
                const std::int64_t link = byKey[at].link;
                if (link >= suspect)
                    return;
                readFields(cells, fields, canonical);
                if (hasher.Link(keptHash(link - 1), link, canonical.Form()) == keptHash(link))
                    checked[std::size_t(link - from.records - 1)] = true;
                else
                    suspect = link;
            });
        const auto missing = std::find(checked.begin(), checked.end(), false);
        if (missing != checked.end())
            suspect = std::min(suspect, from.records + 1 + (missing - checked.begin()));
    }
    for (const ChainHead& digest : digests)
        if (digest.records > from.records && digest.records <= std::min(last, suspect - 1) &&
            digest.hash != keptHash(digest.records))
            suspect = digest.records;

    ChainChecker checker(digests);
    const std::int64_t before = std::min(last, suspect - 1);
    if (before > 0)
        checker.Resume({before, QByteArray(keptHash(before).constData(), kChainHashLength)}, 1);
    if (suspect == kNone)
        return checker.Finish();
    // Record by record from the first wrong one, in windows, until the checker knows.
    CanonicalRecord canonical;
    std::int64_t after = before;
    bool more = true;
    for (std::int64_t window = 16; more; window *= 2) {
        std::int64_t rows = 0;
        server.CopyOut(QStringLiteral("select * from varnel.chained where link > %1 order by "
                                      "link limit %2")
                           .arg(after)
                           .arg(window),
                       [&](const char* line, int size) {
                           ++rows;
                           CopyCells cells(line, size);
                           after = cells.Integer();
                           cells.Next(hash);
                           readFields(cells, fields, canonical);
                           if (more)
                               more = checker.Feed(canonical.Form(), hash);
                       });
        more = more && rows == window;
    }
    return checker.Finish();
}

} // namespace

ChainVerdict CheckServerChain(ServerConnection& server, const QList<ChainHead>& digests,
                              const ChainHead& from, std::int64_t* unsealed) {
    SealHistory(server);
    ServerTransaction reading(server);
    server.Exec(QStringLiteral("set transaction isolation level repeatable read, read only"));
    if (unsealed)
        *unsealed = server
                        .Value(QStringLiteral(
                            "select count(*) from varnel.history h where h.xact >= (select below "
                            "from varnel.chain) and not exists (select from varnel.seals s where "
                            "s.key = h.key)"))
                        .toLongLong();
    if (std::optional<ChainVerdict> verdict = checkChain(server, digests, from))
        return *verdict;
    // The part checked before changed since: the whole again, its head as one written down.
    return *checkChain(server, QList<ChainHead>(digests) << from, {});
}

} // namespace varnel
