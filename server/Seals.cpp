#include "server/Seals.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Operations.h"
#include "server/Schema.h"
#include "store/Tables.h"

#include <QStringList>

#include <string>

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
    QStringList columns;
    for (const FieldDescription* field : chainedFields())
        columns << (field->sealed || field->type == TFieldType::Date
                        ? canonicalValue(*field, QStringLiteral("h"))
                        : QStringLiteral("h.") + ServerColumn(field->name)) +
                       QStringLiteral(" as ") + ServerColumn(field->name);
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
            "today := (now() at time zone coalesce((select s.time_zone from varnel.settings s "
            "limit 1), 'UTC'))::date; "
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
            "sealed = now(); "
            "end if; "
            "return n - c.records; end $$")
            .arg(kSealLock)
            .arg(canonical(QStringLiteral("x"))));
    server.Exec(QStringLiteral(
        "create or replace function varnel.write_digest(p_why text) returns table (records "
        "bigint, head text) language plpgsql security definer set search_path = pg_catalog, "
        "pg_temp as $$ begin "
        "return query insert into varnel.digests as d (records, head, why) "
        "select c.records, c.head, left(coalesce(p_why, ''), 100) from varnel.chain c "
        "returning d.records, d.head; end $$"));
    server.Exec(QStringLiteral("create or replace view varnel.chained as select s.link, s.hash, "
                               "%1 from varnel.seals s join varnel.history h on h.key = s.key")
                    .arg(columns.join(QStringLiteral(", "))));

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
    for (const char* const table : {"seals", "chain", "digests", "chained"})
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

ChainVerdict CheckServerChain(ServerConnection& server, const QList<ChainHead>& digests,
                              const ChainHead& from, std::int64_t* unsealed) {
    SealHistory(server);
    const QList<const FieldDescription*> fields = chainedFields();
    ChainChecker checker(digests);
    if (from.records > 0)
        checker.Resume(from, 1);
    ServerTransaction reading(server);
    server.Exec(QStringLiteral("set transaction isolation level repeatable read, read only"));
    if (unsealed)
        *unsealed = server
                        .Value(QStringLiteral(
                            "select count(*) from varnel.history h where h.xact >= (select below "
                            "from varnel.chain) and not exists (select from varnel.seals s where "
                            "s.key = h.key)"))
                        .toLongLong();
    CanonicalRecord canonical;
    std::string value;
    bool more = true;
    server.CopyOut(QStringLiteral("select * from varnel.chained where link > %1 order by link")
                       .arg(from.records),
                   [&](const char* line, int size) {
                       if (!more)
                           return;
                       // link, hash, then the fields in their order
                       const char* p = line;
                       const char* const end = line + size;
                       const auto cell = [&](std::string& out) {
                           out.clear();
                           bool null = false;
                           if (end - p >= 2 && p[0] == '\\' && p[1] == 'N') {
                               null = true;
                               p += 2;
                           }
                           while (p < end && *p != '\t') {
                               if (*p == '\\' && p + 1 < end) {
                                   ++p;
                                   switch (*p) {
                                   case 't':
                                       out += '\t';
                                       break;
                                   case 'n':
                                       out += '\n';
                                       break;
                                   case 'r':
                                       out += '\r';
                                       break;
                                   default:
                                       out += *p;
                                       break;
                                   }
                               } else {
                                   out += *p;
                               }
                               ++p;
                           }
                           if (p < end)
                               ++p;
                           return !null;
                       };
                       std::string hash;
                       cell(value); // the link: the order is the query's
                       cell(hash);
                       canonical.Begin();
                       for (const FieldDescription* field : fields) {
                           if (!cell(value))
                               value.clear();
                           if (field->sealed || field->type == TFieldType::Date)
                               canonical.Raw(value);
                           else if (field->type == TFieldType::String)
                               canonical.Text(value);
                           else
                               canonical.Number(value);
                       }
                       more = checker.Feed(canonical.Form(), hash);
                   });
    return checker.Finish();
}

} // namespace varnel
