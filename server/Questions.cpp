#include "server/Questions.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "store/History.h"
#include "store/Rules.h"
#include "store/Tables.h"

#include <QHash>
#include <QPair>

#include <climits>

namespace varnel {

namespace {

// A value as the server gave it, as the books' files would read it: a blank text as none.
Variant valueOf(const QVariant& value, HistoryKind kind) {
    if (value.isNull())
        return {};
    switch (kind) {
    case HistoryKind::Integer:
        return Variant(std::int64_t(value.toLongLong()));
    case HistoryKind::Money:
    case HistoryKind::Number:
        return Variant(value.toDouble());
    case HistoryKind::Date:
        return Variant(value.toDate());
    case HistoryKind::Text:
        break;
    }
    const QString text = value.toString();
    return text.isEmpty() ? Variant() : Variant(text);
}

QString column(const HistoryColumn& c) {
    return QStringLiteral("h.") + ServerColumn(c.field);
}

// A column's value in the order of the sort, the blank before every value, text any case and
// ё as е, as a folder's history sorts: the indexes of the layout are on these very expressions.
QString sortExpression(const HistoryColumn& c) {
    const QString name = column(c);
    switch (c.kind) {
    case HistoryKind::Date:
        return QStringLiteral("coalesce(%1, '-infinity'::date)").arg(name);
    case HistoryKind::Money:
    case HistoryKind::Number:
        return QStringLiteral("coalesce(%1::numeric, '-Infinity'::numeric)").arg(name);
    case HistoryKind::Integer:
        return QStringLiteral("coalesce(%1::bigint, '-9223372036854775808'::bigint)").arg(name);
    case HistoryKind::Text:
        break;
    }
    return QStringLiteral("(varnel.fold(%1) collate \"C\")").arg(name);
}

// The sort key of a row as text, bound back into the next page's question.
QString sortCast(const HistoryColumn& c) {
    switch (c.kind) {
    case HistoryKind::Date:
        return QStringLiteral("?::date");
    case HistoryKind::Money:
    case HistoryKind::Number:
        return QStringLiteral("?::numeric");
    case HistoryKind::Integer:
        return QStringLiteral("?::bigint");
    case HistoryKind::Text:
        break;
    }
    return QStringLiteral("(?::text collate \"C\")");
}

// A part of a name as a LIKE pattern that finds it anywhere, its own % and _ taken as they are.
QString containing(const QString& part) {
    QString escaped = part;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// The filter's conditions on the history (as h), and their values in order; the records of a
// client first found by themselves (`with`, its values before the others').
struct Where {
    QString with;
    QVariantList withValues;
    QStringList conditions;
    QVariantList values;
    QString Text() const {
        return conditions.isEmpty()
                   ? QString()
                   : QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
    }
    QVariantList Values() const { return withValues + values; }
};

// A record with no day is in no range of days.
void addDays(Where& where, const QDate& from, const QDate& to) {
    if (!from.isValid() && !to.isValid())
        return;
    where.conditions << QStringLiteral("coalesce(h.den, '-infinity'::date) > '-infinity'::date");
    if (from.isValid()) {
        where.conditions << QStringLiteral("coalesce(h.den, '-infinity'::date) >= ?::date");
        where.values << from;
    }
    if (to.isValid()) {
        where.conditions << QStringLiteral("coalesce(h.den, '-infinity'::date) <= ?::date");
        where.values << to;
    }
}

Where whereOf(const HistoryFilter& filter) {
    Where where;
    addDays(where, filter.from, filter.to);
    const QString client = filter.client.trimmed();
    if (!client.isEmpty()) {
        // By the index of a part of a name: left to itself the planner may walk the whole
        // history in the order shown, looking at every name, for a client of a few records.
        where.with = QStringLiteral("with client as materialized (select key from "
                                    "varnel.history where varnel.fold(fio) like varnel.fold(?)) ");
        where.withValues << containing(client);
        where.conditions << QStringLiteral("h.key in (select key from client)");
    }
    if (filter.event) {
        where.conditions << QStringLiteral("h.number = ?");
        where.values << *filter.event;
    }
    if (filter.serial) { // by the index of the slips' lookups
        where.conditions << QStringLiteral("h.serial = ?");
        where.values << qlonglong(*filter.serial);
    }
    // By the indexes of the sorts, the exact text checked on the rows they find.
    if (!filter.kind.isEmpty()) {
        where.conditions << QStringLiteral("(varnel.fold(h.vid) collate \"C\") = varnel.fold(?) "
                                           "and rtrim(h.vid) = ?");
        where.values << filter.kind << filter.kind;
    }
    if (!filter.kassir.isEmpty()) {
        where.conditions << QStringLiteral("(varnel.fold(h.kassir) collate \"C\") = "
                                           "varnel.fold(?) and rtrim(h.kassir) = ?");
        where.values << filter.kassir << filter.kassir;
    }
    return where;
}

// A history record committed after a snapshot (bound twice): not visible in it. Only the
// transactions from its oldest one on can be; the index of xact finds those.
const QString kCommittedSince = QStringLiteral(
    "h.xact >= pg_snapshot_xmin(?::pg_snapshot) and not pg_visible_in_snapshot(h.xact, "
    "?::pg_snapshot)");

double money(const ServerRows& rows, int column) {
    return rows.IsNull(column) ? 0.0 : rows.Value(column).toDouble();
}

// One reading's transaction: read-only, one look at the books for all its statements.
class Look {
public:
    explicit Look(ServerConnection& server) : m_server(server) {
        m_server.Begin();
        m_server.Exec(QStringLiteral("set transaction isolation level repeatable read read only"));
    }
    ~Look() {
        if (m_server.InTransaction())
            m_server.Rollback();
    }
    Look(const Look&) = delete;
    Look& operator=(const Look&) = delete;
    void End() { m_server.Commit(); }

private:
    ServerConnection& m_server;
};

} // namespace

ServerReading ServerQuestions::Read(const QString& since) {
    using namespace fields;
    RequireServerBooks(m_server);
    ServerReading reading;
    auto books = std::make_shared<Books>();
    books->historyAsked = true;
    const QVariant mark = since.isEmpty() ? QVariant() : QVariant(since);
    Look look(m_server);
    ServerRows state = m_server.Exec(
        QStringLiteral("select pg_is_in_recovery(), varnel.may_undo(), session_user, "
                       "varnel.owns_books(), pg_current_snapshot()::text, ?::text is null or "
                       "exists (select from varnel.history h where %1)")
            .arg(kCommittedSince),
        {mark, mark, mark});
    state.Next();
    reading.state = {state.Value(0).toBool(), state.Value(1).toBool(), state.Value(2).toString(),
                     state.Value(3).toBool()};
    reading.snapshot = state.Value(4).toString();
    if (!state.Value(5).toBool()) {
        look.End();
        return reading; // nothing new
    }
    books->historyCount = std::uint32_t(
        m_server.Value(QStringLiteral("select count(*) from varnel.history")).toLongLong());

    ServerRows events = m_server.Exec(
        QStringLiteral("select key, number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, "
                       "summ_2, summ_n from varnel.compit order by key"));
    while (events.Next()) {
        Event e;
        e.record = events.Value(0).toLongLong();
        e.number = events.IsNull(1) ? Variant() : Variant(std::int64_t(events.Value(1).toInt()));
        e.date = events.Value(2).toDate();
        e.kom1 = events.Value(3).toString();
        e.kom2 = events.Value(4).toString();
        e.koef = {money(events, 5), money(events, 6), money(events, 7)};
        e.sums = {money(events, 8), money(events, 9), money(events, 10)};
        books->events << e;
    }
    ServerRows limits = m_server.Exec(QStringLiteral(
        "select stavka_min, stavka_max, vypl_max, risk_max, otmena_min from varnel.limits "
        "order by key limit 1"));
    if (limits.Next()) {
        const auto limit = [&](int c) {
            return limits.IsNull(c) ? std::optional<double>() : limits.Value(c).toDouble();
        };
        books->limits = {limit(0), limit(1), limit(2), limit(3),
                         limits.IsNull(4) ? std::optional<int>() : limits.Value(4).toInt()};
    }
    // The bets and payouts counted, and each open event's outcomes summed: what the office would
    // pay if it won, as the books keep that sum on the event (or sum it as they do, where an
    // event of earlier books has it blank).
    SummedBooks summed;
    ServerRows counts = m_server.Exec(QStringLiteral(
        "select (select count(*) from varnel.priem), (select count(*) from varnel.money)"));
    counts.Next();
    summed.bets = counts.Value(0).toLongLong();
    summed.payouts = counts.Value(1).toLongLong();
    QHash<QPair<std::int64_t, QString>, QPair<int, double>> staked;
    ServerRows stakes = m_server.Exec(QStringLiteral(
        "select number, rtrim(result), count(*), sum(summa) from varnel.priem group by 1, 2"));
    while (stakes.Next())
        staked.insert({stakes.Value(0).toLongLong(), stakes.Value(1).toString()},
                      {stakes.Value(2).toInt(), money(stakes, 3)});
    ServerRows payouts = m_server.Exec(
        QStringLiteral(
            "select coalesce(vypl_1, varnel.payout_sum(number, kom1)), coalesce(vypl_2, "
            "varnel.payout_sum(number, kom2)), coalesce(vypl_n, varnel.payout_sum(number, ?)) from "
            "varnel.compit order by key"),
        {DrawName()});
    for (const Event& event : books->events) {
        payouts.Next();
        EventRisk risk;
        risk.event = event;
        risk.limit = books->limits.maxLiability;
        const QString names[3] = {event.kom1, event.kom2, DrawName()};
        for (int o = 0; o < 3; ++o) {
            OutcomeRisk& outcome = risk.outcomes[o];
            outcome.name = names[o];
            if (event.number.isNull())
                continue;
            const QPair<int, double> bets =
                staked.value({event.number.toInteger(), names[o].trimmed()});
            outcome.bets = bets.first;
            outcome.stakes = bets.second;
            outcome.payout = outcome.bets > 0 ? money(payouts, o) : 0;
            risk.bets += outcome.bets;
            risk.stakes += outcome.stakes;
            if (outcome.bets > 0 &&
                (risk.riskiest < 0 || outcome.payout > risk.outcomes[risk.riskiest].payout))
                risk.riskiest = o;
        }
        summed.risk << risk;
    }
    books->summed = std::move(summed);
    look.End();
    reading.books = std::move(books);
    return reading;
}

HistoryPage ServerQuestions::History(const HistoryQuery& query, const HistoryPage* after, int rows,
                                     const QString& since) {
    const QList<HistoryColumn>& columns = HistoryColumns();
    const bool sorted = query.sortColumn >= 0 && query.sortColumn < columns.size();
    const QString sort =
        sorted ? sortExpression(columns[query.sortColumn]) : QStringLiteral("h.key");
    const QString cast = sorted ? sortCast(columns[query.sortColumn]) : QStringLiteral("?::bigint");
    const bool down = query.order == Qt::DescendingOrder;
    Where where = whereOf(query.filter);
    if (after && after->lastKey >= 0) {
        where.conditions << QStringLiteral("(%1, h.key) %2 (%3, ?::bigint)")
                                .arg(sort, down ? QStringLiteral("<") : QStringLiteral(">"), cast);
        where.values << after->lastSort << qlonglong(after->lastKey);
    }
    if (!since.isEmpty()) {
        where.conditions << kCommittedSince;
        where.values << since << since;
    }
    QStringList selected{QStringLiteral("h.key"), sort + QStringLiteral("::text")};
    for (const HistoryColumn& c : columns)
        selected << column(c);
    const QString direction = down ? QStringLiteral(" desc") : QString();
    QString sql =
        where.with + QStringLiteral("select %1 from varnel.history h%2 order by %3%4, "
                                    "h.key%4")
                         .arg(selected.join(QStringLiteral(", ")), where.Text(), sort, direction);
    if (since.isEmpty()) {
        sql += QStringLiteral(" limit ?");
        where.values << rows;
    }
    ServerRows answer = m_server.Exec(sql, where.Values());
    HistoryPage page;
    page.rows.reserve(std::size_t(std::max(0, answer.Size())));
    while (answer.Next()) {
        HistoryRow row;
        row.key = answer.Value(0).toLongLong();
        row.values.resize(columns.size());
        for (int c = 0; c < columns.size(); ++c)
            row.values[c] = valueOf(answer.Value(2 + c), columns[c].kind);
        page.lastSort = answer.Value(1).toString();
        page.lastKey = row.key;
        page.rows.push_back(std::move(row));
    }
    page.end = !since.isEmpty() || int(page.rows.size()) < rows;
    if (page.rows.empty() && after) {
        page.lastSort = after->lastSort;
        page.lastKey = after->lastKey;
    }
    return page;
}

std::int64_t ServerQuestions::Count(const HistoryFilter& filter) {
    const Where where = whereOf(filter);
    return m_server
        .Value(where.with + QStringLiteral("select count(*) from varnel.history h") + where.Text(),
               where.Values())
        .toLongLong();
}

QString ServerQuestions::Snapshot() {
    return m_server.Value(QStringLiteral("select pg_current_snapshot()::text")).toString();
}

QList<PaidToClient> ServerQuestions::PaidTo(const QString& client) {
    const QString part = containing(client.trimmed());
    ServerRows rows = m_server.Exec(
        QStringLiteral(
            "select fio, sum(paid), count(paid), sum(refunded), count(refunded), sum(owed), "
            "count(owed) from (select rtrim(h.fio) as fio, case when rtrim(h.vid) = %1 then "
            "coalesce(h.vyplata, 0) end as paid, case when rtrim(h.vid) = %2 then "
            "coalesce(h.summa, 0) end as refunded, null::numeric as owed from varnel.history h "
            "where varnel.fold(h.fio) like varnel.fold(?) union all "
            "select rtrim(m.fio), null, null, coalesce(m.summa, 0) from varnel.money m where "
            "varnel.fold(m.fio) like varnel.fold(?)) c group by fio order by fio collate \"C\"")
            .arg(SqlLiteral(kinds::Paid()), SqlLiteral(kinds::Revoked())),
        {part, part});
    QList<PaidToClient> paid;
    while (rows.Next())
        paid << PaidToClient{rows.Value(0).toString(), money(rows, 1),        rows.Value(2).toInt(),
                             money(rows, 3),           rows.Value(4).toInt(), money(rows, 5),
                             rows.Value(6).toInt()};
    return paid;
}

// Each record of the days counts under its event (a payment under the event whose settlement
// made it owed, found by the bet's serial), its day and its operator, with the sides of the
// event as last entered before it (or as the bet's own record names them, for an event entered
// before the history began).
CashReport ServerQuestions::Cash(const QDate& from, const QDate& to) {
    CashReport report;
    report.from = from;
    report.to = to;
    Where where;
    addDays(where, from, to);
    const QString bet = SqlLiteral(kinds::Bet()), won = SqlLiteral(kinds::Won()),
                  restored = SqlLiteral(kinds::Restored()), paid = SqlLiteral(kinds::Paid()),
                  revoked = SqlLiteral(kinds::Revoked()), event = SqlLiteral(kinds::Event()),
                  undone = SqlLiteral(kinds::Undone()), result = SqlLiteral(kinds::Result());
    where.conditions << QStringLiteral("rtrim(h.vid) in (%1, %2, %3, %4, %5)")
                            .arg(bet, won, restored, paid, revoked);
    const QString sql =
        QStringLiteral(
            "with r as (select h.key, rtrim(h.vid) as vid, h.den, rtrim(coalesce(h.kassir, '')) as "
            "kassir, coalesce(h.summa, 0) as summa, coalesce(h.vyplata, 0) as vyplata, "
            "coalesce(rtrim(h.kom1), '') || ' — ' || coalesce(rtrim(h.kom2), '') as own, "
            "case when rtrim(h.vid) = %4 then (select w.number from varnel.history w where "
            "w.serial "
            "= h.serial and rtrim(w.vid) = %2 order by w.key desc limit 1) else h.number end as ev "
            "from varnel.history h%9), "
            "s as (select r.*, coalesce((select coalesce(rtrim(n.kom1), '') || ' — ' || "
            "coalesce(rtrim(n.kom2), '') from varnel.history n where n.number = r.ev and "
            "rtrim(n.vid) in (%6, %7) and n.key < r.key order by n.key desc limit 1), (select "
            "coalesce(rtrim(n.kom1), '') || ' — ' || coalesce(rtrim(n.kom2), '') from "
            "varnel.history n where n.number = r.ev and rtrim(n.vid) in (%1, %5, %8) and n.key < "
            "r.key order by n.key limit 1), case when r.vid in (%1, %5) then r.own end, '') as "
            "sides from r) "
            "select grouping(ev, sides), grouping(den), grouping(kassir), ev, sides, den, kassir, "
            "sum(summa) filter (where vid = %1), count(*) filter (where vid = %1), "
            "sum(vyplata) filter (where vid = %2), count(*) filter (where vid = %2), "
            "sum(vyplata) filter (where vid = %3), count(*) filter (where vid = %3), "
            "sum(vyplata) filter (where vid = %4), count(*) filter (where vid = %4), "
            "sum(summa) filter (where vid = %5), count(*) filter (where vid = %5) "
            "from s group by grouping sets ((ev, sides), (den), (kassir), ()) "
            "order by 1, 2, 3, ev nulls last, sides collate \"C\", den, kassir collate \"C\"")
            .arg(bet, won, restored, paid, revoked, event, undone, result, where.Text());
    ServerRows rows = m_server.Exec(sql, where.values);
    while (rows.Next()) {
        varnel::Cash cash;
        cash.stakes = money(rows, 7);
        cash.bets = rows.Value(8).toInt();
        cash.won = money(rows, 9);
        cash.wins = rows.Value(10).toInt();
        cash.restored = money(rows, 11);
        cash.restores = rows.Value(12).toInt();
        cash.paid = money(rows, 13);
        cash.payments = rows.Value(14).toInt();
        cash.refunded = money(rows, 15);
        cash.refunds = rows.Value(16).toInt();
        const bool byEvent = rows.Value(0).toInt() == 0, byDay = rows.Value(1).toInt() == 0,
                   byOperator = rows.Value(2).toInt() == 0;
        CashLine line;
        line.cash = cash;
        if (byEvent) {
            const std::int64_t number = rows.IsNull(3) ? LLONG_MAX : rows.Value(3).toLongLong();
            line.number = number == LLONG_MAX ? Variant() : Variant(number);
            line.label = CashEventLabel(number, rows.Value(4).toString());
            report.byEvent << line;
        } else if (byDay) {
            line.day = rows.Value(5).toDate();
            line.label = line.day.isValid() ? line.day.toString(QStringLiteral("dd.MM.yyyy"))
                                            : QStringLiteral("Без даты");
            report.byDay << line;
        } else if (byOperator) {
            line.label = rows.Value(6).toString();
            report.byOperator << line;
        } else {
            report.total = cash;
        }
    }
    return report;
}

QStringList ServerQuestions::Operators() {
    // One step of the operators' index per folded name: a year of records costs what a few do.
    // Names alike but for their case are one step, and the first of them is the one listed.
    ServerRows rows = m_server.Exec(QStringLiteral(
        "with recursive o(f, k) as ((select varnel.fold(kassir) collate \"C\", kassir from "
        "varnel.history order by 1, key limit 1) union all select n.f, n.k from o, lateral "
        "(select varnel.fold(h.kassir) collate \"C\" as f, h.kassir as k from varnel.history h "
        "where (varnel.fold(h.kassir) collate \"C\") > o.f order by 1, h.key limit 1) n) "
        "select distinct rtrim(k) from o where k is not null and rtrim(k) <> ''"));
    QStringList operators;
    while (rows.Next())
        operators << rows.Value(0).toString();
    std::sort(operators.begin(), operators.end());
    return operators;
}

} // namespace varnel
