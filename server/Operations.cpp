#include "server/Operations.h"

#include "server/Connection.h"
#include "server/Schema.h"
#include "store/History.h"
#include "store/Rules.h"
#include "store/Slip.h"
#include "store/Tables.h"
#include "store/engine/DbfCodec.h"
#include "store/engine/Field.h"
#include "store/engine/Variant.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace varnel {

namespace {

// A field's title, as the program's refusals name it.
QString title(const TableDescription& table, QLatin1String field) {
    return QString::fromUtf8(table.Field(field)->label);
}

// A pattern of the texts Windows-1251 holds: its characters (of the bytes but NUL), as ranges
// of \uXXXX.
QString repertoire1251() {
    QList<char32_t> held;
    for (int byte = 1; byte < 256; ++byte) {
        QStringDecoder decoder("windows-1251");
        const QString decoded = decoder(QByteArray(1, char(byte)));
        // (0x98, which the code page leaves unassigned, comes back as a control character that
        // the server's conversion refuses)
        if (!decoder.hasError() && decoded.size() == 1 && decoded != QChar::ReplacementCharacter &&
            !(byte >= 0x80 && decoded.at(0).category() == QChar::Other_Control))
            held << decoded.at(0).unicode();
    }
    std::sort(held.begin(), held.end());
    const auto code = [](char32_t c) {
        return QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    };
    QString pattern = QStringLiteral("^[");
    for (qsizetype i = 0; i < held.size();) {
        qsizetype last = i;
        while (last + 1 < held.size() && held[last + 1] == held[last] + 1)
            ++last;
        pattern += code(held[i]) + (last > i ? QLatin1Char('-') + code(held[last]) : QString());
        i = last + 1;
    }
    return pattern + QStringLiteral("]*$");
}

// The SQL of the operations, their @names@ filled in: the rules' messages as literals (those
// with values as format() templates, each value %s), the history's kinds, the refusals' states.
QString filled(QString sql) {
    using namespace fields;
    const QString value = QStringLiteral("%s");
    const std::initializer_list<std::pair<const char*, QString>> texts = {
        {"pinned", QStringLiteral(" set search_path = pg_catalog, pg_temp ")},
        {"refused", SqlLiteral(QLatin1String(kRuleRefusedState))},
        {"gone", SqlLiteral(QLatin1String(kEventGoneState))},
        {"changed", SqlLiteral(QLatin1String(kCoefficientChangedState))},
        {"draw", SqlLiteral(DrawName())},
        {"event", SqlLiteral(kinds::Event())},
        {"bet", SqlLiteral(kinds::Bet())},
        {"won", SqlLiteral(kinds::Won())},
        {"lost", SqlLiteral(kinds::Lost())},
        {"result", SqlLiteral(kinds::Result())},
        {"paid", SqlLiteral(kinds::Paid())},
        {"undone", SqlLiteral(kinds::Undone())},
        {"restored", SqlLiteral(kinds::Restored())},
        {"limits", SqlLiteral(kinds::LimitsSet())},
        {"revoked", SqlLiteral(kinds::Revoked())},
        {"no_operator", SqlLiteral(QStringLiteral("Это действие с книгами доступно только их "
                                                  "операторам."))},
        {"managers_settle", SqlLiteral(ManagersSettleMessage())},
        {"managers_undo", SqlLiteral(QStringLiteral("Отменять результат может только менеджер."))},
        {"managers_limits", SqlLiteral(QStringLiteral("Лимиты устанавливает только менеджер."))},
        {"wrong_stake", SqlLiteral(WrongStakeMessage())},
        {"blank_number", SqlLiteral(BlankNumberMessage())},
        {"bets_closed", SqlLiteral(BetsClosedMessage())},
        {"past_date", SqlLiteral(PastDateMessage())},
        {"missing_kom1", SqlLiteral(MissingEventFieldMessage(title(CompitTable(), KOM1)))},
        {"missing_kom2", SqlLiteral(MissingEventFieldMessage(title(CompitTable(), KOM2)))},
        {"missing_koef_1", SqlLiteral(MissingEventFieldMessage(title(CompitTable(), KOEF_1)))},
        {"missing_koef_2", SqlLiteral(MissingEventFieldMessage(title(CompitTable(), KOEF_2)))},
        {"missing_koef_n", SqlLiteral(MissingEventFieldMessage(title(CompitTable(), KOEF_N)))},
        {"negative_koef", SqlLiteral(NegativeCoefficientMessage(value))},
        {"koef_1", SqlLiteral(title(CompitTable(), KOEF_1))},
        {"koef_2", SqlLiteral(title(CompitTable(), KOEF_2))},
        {"koef_n", SqlLiteral(title(CompitTable(), KOEF_N))},
        {"same_sides", SqlLiteral(SameSidesMessage(Quoted(value)))},
        {"side_draw", SqlLiteral(SideNamedAsDrawMessage(Quoted(value)))},
        {"below_min", SqlLiteral(BelowMinStakeMessage(value))},
        {"over_stake", SqlLiteral(OverStakeLimitMessage())},
        {"over_payout", SqlLiteral(OverPayoutLimitMessage())},
        {"over_liability", SqlLiteral(OverLiabilityMessage(Quoted(value)))},
        {"none_taken", SqlLiteral(NoStakeTakenMessage(value))},
        {"largest_taken", SqlLiteral(LargestTakenMessage(value, value))},
        {"negative_limit", SqlLiteral(NegativeLimitMessage())},
        {"negative_minutes", SqlLiteral(NegativeMinutesMessage())},
        {"min_above_max", SqlLiteral(MinAboveMaxMessage())},
        {"revoke_settled", SqlLiteral(RevokeSettledMessage())},
        {"revoke_closed", SqlLiteral(RevokeClosedMessage())},
        {"revoke_gone", SqlLiteral(RevokeGoneMessage())},
        {"revoke_unnamed", SqlLiteral(RevokeUnnamedMessage(value))},
        {"no_revoke_window", SqlLiteral(NoRevokeWindowMessage())},
        {"revoke_time_unknown", SqlLiteral(RevokeTimeUnknownMessage())},
        {"revoke_too_late", SqlLiteral(RevokeTooLateMessage(value, value))},
        {"not_result",
         SqlLiteral(QStringLiteral("Результат нельзя отменить: запись %s истории — не "
                                   "ввод результата."))},
        {"undone_already",
         SqlLiteral(QStringLiteral("Результат нельзя отменить: он уже отменён."))},
        {"event_again", SqlLiteral(QStringLiteral("Отмена невозможна: в книгах снова событие № %s "
                                                  "«%s — %s»"))},
        {"payout_paid", SqlLiteral(QStringLiteral("Результат нельзя отменить: выигрыш клиента «%s» "
                                                  "(%s) выплачен."))},
        {"payout_gone", SqlLiteral(QStringLiteral("Результат нельзя отменить: выигрыш клиента «%s» "
                                                  "(%s) уже нет среди невыплаченных."))},
        {"slip_paid", SqlLiteral(SlipPaidMessage(value, value, value))},
        {"slip_lost", SqlLiteral(SlipLostMessage(value))},
        {"slip_open", SqlLiteral(SlipOpenMessage(value))},
        {"slip_revoked", SqlLiteral(SlipRevokedMessage(value))},
        {"slip_unknown", SqlLiteral(SlipUnknownMessage())},
        {"unnamed_cashier", SqlLiteral(UnnamedCashier())},
        {"slip_only", SqlLiteral(SlipOnlyMessage())},
        {"without_slip", SqlLiteral(WithoutSlipNote())},
        {"copied", SqlLiteral(kinds::Copied())},
        {"wrong_outcome", SqlLiteral(WrongOutcomeMessage(value))},
        {"control_characters", SqlLiteral(FieldRefusal(value, ControlCharactersMessage(value)))},
        {"missing_character",
         SqlLiteral(FieldRefusal(
             value, MissingCharacterMessage(
                        value, value, QString::fromLatin1(dbf::CodePage(dbf::kWindows1251)))))},
        {"no_such_outcome", SqlLiteral(QStringLiteral("Результат не записан: у события нет исхода "
                                                      "«%s»."))},
    };
    for (const auto& [name, text] : texts)
        sql.replace(QLatin1Char('@') + QLatin1String(name) + QLatin1Char('@'), text);
    sql.replace(QStringLiteral("@repertoire_1251@"), SqlLiteral(repertoire1251()));
    // What a field of a table refuses, as the program's field and file refuse it: a number too
    // long for its column (@fit_compit_summ_1@, the value its %s), a whole number out of its
    // type's range (@range_compit_number@), a day it cannot hold (@date_compit_date@), and the
    // arguments of varnel.fit_text for a text field (@text_compit_kom1@).
    QList<const TableDescription*> tables = AllTables();
    tables << &LimitsTable();
    for (const TableDescription* table : tables)
        for (const FieldDescription& field : table->fields) {
            const QString name =
                QStringLiteral("%1_%2@").arg(ServerTable(*table), ServerColumn(field.name));
            const QString title = FieldTitle(QString::fromUtf8(field.label), field.name);
            const auto refusal = [&](const QString& why) {
                return SqlLiteral(FieldRefusal(title, why));
            };
            switch (field.type) {
            case TFieldType::String:
                sql.replace(QStringLiteral("@text_") + name,
                            QStringLiteral("%1, %2, %3, %4")
                                .arg(field.size)
                                .arg(SqlLiteral(field.name), SqlLiteral(title),
                                     refusal(TextTooLongMessage(field.size))));
                break;
            case TFieldType::Date:
                sql.replace(QStringLiteral("@date_") + name,
                            refusal(UnwritableDateMessage(field.name)));
                break;
            case TFieldType::Smallint:
                sql.replace(QStringLiteral("@range_") + name,
                            refusal(OutOfRangeMessage(value, -32768, 32767)));
                [[fallthrough]];
            default:
                sql.replace(QStringLiteral("@fit_") + name,
                            refusal(ValueTooLongMessage(Quoted(value), field.name, table->file,
                                                        QString::number(field.written.length))));
            }
        }
    if (const qsizetype left =
            sql.indexOf(QRegularExpression(QStringLiteral("@(?!owner@)[a-z_0-9]+@")));
        left >= 0)
        throw EServerError(QStringLiteral("Операции книг: не заполнено %1")
                               .arg(sql.mid(left, 40).section(QLatin1Char('@'), 1, 1)),
                           false);
    return sql;
}

// The arithmetic of the rules (HACKING.md) over the server's float8, which is the program's
// double: a value as its column of `d` decimals keeps it (the exact binary value rounded to the
// nearest, a tie to an even digit, as the program writes its files), a payout, the odds rule's
// cut in the x87 extended precision the program computes it in, money as the program shows it.
const char* const kArithmetic = R"sql(
-- The books' day and time: the moment an operation acts, on the server's clock in the books'
-- time zone. Not now(), the start of the caller's transaction, which the caller chooses.
create or replace function varnel.books_now() returns timestamp language plpgsql volatile as $$
begin
  return clock_timestamp() at time zone coalesce((select s.time_zone from varnel.settings s
    limit 1), 'UTC');
end $$;

-- A point one operation passes at a time, named `what`: a second one waits for the first to end.
-- At READ COMMITTED it then goes on and its next statement sees what the first committed; at
-- REPEATABLE READ or SERIALIZABLE, whose snapshot misses that commit, it fails to serialize
-- rather than decide on books it cannot see. (A lock alone would let it pass unknowing.)
create or replace function varnel.hold(what text) returns void language sql volatile as $$
  insert into varnel.holds as h (what, at) values (what, clock_timestamp())
    on conflict (what) do update set at = excluded.at
$$;

-- Who the session's login is to the books: their owner (a superuser is), a manager, one who may
-- enter events and results, an operator. The owner's role is written into the first when the
-- layout is, so that a statement inlines it; the others query the groups (PL/pgSQL, whose plans
-- a session keeps: a query in an SQL function is planned anew at every call). The operations
-- and the guard that call them run with their search path pinned.
create or replace function varnel.owns_books() returns boolean language sql stable as $$
  select pg_catalog.pg_has_role(session_user, @owner@, 'MEMBER')
$$;

create or replace function varnel.may_undo() returns boolean language plpgsql stable as $$
begin
  return varnel.owns_books() or exists (select from varnel.groups g where g.kind = 'manager'
    and pg_catalog.pg_has_role(session_user, g.role, 'MEMBER'));
end $$;

create or replace function varnel.may_settle() returns boolean language plpgsql stable as $$
begin
  return varnel.may_undo() or coalesce((select s.cashiers_settle from varnel.settings s limit 1),
    false);
end $$;

create or replace function varnel.is_operator() returns boolean language plpgsql stable as $$
begin
  return varnel.owns_books() or exists (select from varnel.groups g
    where pg_catalog.pg_has_role(session_user, g.role, 'MEMBER'));
end $$;

-- Whether a text is in Windows-1251's repertoire, the code page of the program's files: a
-- pattern of its characters (a conversion would need a subtransaction). Not a function a check
-- would inline: that is parsed again at every statement that writes the table, once a check,
-- where this is compiled once a session.
create or replace function varnel.in_1251(t text) returns boolean language plpgsql immutable
strict as $$ begin return t ~ @repertoire_1251@; end $$;

create or replace function varnel.decimal(x float8, d integer) returns numeric language plpgsql
immutable strict  as $$
declare
  bits bigint := ('x' || encode(float8send(x), 'hex'))::bit(64)::bigint;
  e integer := ((bits >> 52) & 2047)::integer;
  m bigint := bits & 4503599627370495;
  k integer;
  scaled numeric; p numeric; q numeric; r numeric;
begin
  if e = 2047 then return null; end if;
  if e > 0 then m := m + 4503599627370496; end if;
  -- x = m / 2^k exactly
  k := 1075 - greatest(e, 1);
  if k <= 0 then return round(sign(x)::numeric * m::numeric * (2::numeric ^ (-k)), d); end if;
  if k > 124 then return 0; end if; -- below 2^-71: nothing at the decimals kept
  p := (1::bigint << least(k, 62))::numeric * (1::bigint << greatest(k - 62, 0))::numeric;
  scaled := m::numeric * ('1e' || d)::numeric;
  q := div(scaled, p);
  r := scaled - q * p;
  if 2 * r > p or (2 * r = p and mod(q, 2) = 1) then q := q + 1; end if;
  return sign(x)::numeric * q * ('1e' || -d)::numeric;
end $$;

create or replace function varnel.stored(x float8, d integer) returns float8 language sql
immutable strict  as $$ select varnel.decimal(x, d)::float8 $$;

-- A double as the program shows it in a message: fifteen significant digits, a decimal comma.
create or replace function varnel.float_text(x float8) returns text language sql immutable strict
set extra_float_digits = 0 as $$
  select case when x = 'NaN' then 'nan' when x = 'Infinity' then 'inf'
    when x = '-Infinity' then '-inf' else replace(replace(x::text, '.', ','), 'e', 'E') end
$$;

-- Whether x, written with d decimals, fits a column of the program's files (19 characters).
create or replace function varnel.fits(x float8, d integer) returns boolean language sql
immutable  as $$
  select x is null or coalesce(abs(x) < 1e20 and length(varnel.decimal(x, d)::text) <= 19, false)
$$;

-- x as its column of d decimals keeps it; refused, with the `refusal` of the column, as the
-- program's own file refuses a value too long for it.
create or replace function varnel.fit(x float8, d integer, refusal text) returns numeric
language plpgsql immutable  as $$
begin
  if not varnel.fits(x, d) then
    raise exception '%', format(refusal, varnel.float_text(x)) using errcode = @refused@;
  end if;
  return varnel.decimal(x, d);
end $$;

-- A whole number as its column of `width` characters takes it; refused as fit() refuses.
create or replace function varnel.fit_whole(x bigint, width integer, refusal text) returns bigint
language plpgsql immutable  as $$
begin
  if length(x::text) > width then
    raise exception '%', format(refusal, x) using errcode = @refused@;
  end if;
  return x;
end $$;

-- Text as the program's field of `size` characters takes it (`long`: its refusal), and then as
-- its file's column `field` holds it: no control characters, every character in the file's
-- code page (`title`: the field as a refusal names it).
create or replace function varnel.fit_text(t text, size integer, field text, title text,
  long text) returns text language plpgsql immutable  as $$
declare i integer;
begin
  if t is null then return null; end if;
  if length(t) > size then raise exception '%', long using errcode = @refused@; end if;
  if t ~ E'[\\x01-\\x1f\\x7f]' then
    raise exception '%', format(@control_characters@, title, field) using errcode = @refused@;
  end if;
  if not varnel.in_1251(t) then
    for i in 1..length(t) loop
      if not varnel.in_1251(substr(t, i, 1)) then
        raise exception '%', format(@missing_character@, title, substr(t, i, 1), field)
          using errcode = @refused@;
      end if;
    end loop;
  end if;
  return t;
end $$;

create or replace function varnel.bet_payout(s float8, k float8) returns numeric language sql
immutable strict  as $$ select varnel.decimal(s + s * k, 4) $$;

create or replace function varnel.two_to(k integer) returns numeric language sql immutable strict
 as $$
  select (1::bigint << least(k, 62))::numeric * (1::bigint << least(greatest(k - 62, 0), 62))::numeric
    * (1::bigint << greatest(k - 124, 0))::numeric
$$;

-- n > 0 rounded to `keep` significant bits, a tie to even: n ≈ q * 2^shift.
create or replace function varnel.round_bits(n numeric, keep integer, out q numeric,
  out shift integer) language plpgsql immutable strict  as $$
declare len integer := floor(ln(n::float8) / ln(2::float8))::integer + 1; p numeric; r numeric;
begin
  if varnel.two_to(len - 1) > n then len := len - 1;
  elsif varnel.two_to(len) <= n then len := len + 1; end if;
  shift := greatest(len - keep, 0);
  if shift = 0 then q := n; return; end if;
  p := varnel.two_to(shift);
  q := div(n, p);
  r := n - q * p;
  if 2 * r > p or (2 * r = p and mod(q, 2) = 1) then q := q + 1; end if;
end $$;

-- 0.9 × k0 in extended precision (0.9's 64 bits), rounded to it, then to a double.
create or replace function varnel.cut(k0 float8) returns float8 language plpgsql immutable strict
 as $$
declare
  bits bigint := ('x' || encode(float8send(k0), 'hex'))::bit(64)::bigint;
  e integer := ((bits >> 52) & 2047)::integer;
  m bigint := bits & 4503599627370495;
  x record; y record;
begin
  if e = 2047 or k0 = 0 then return 0.9::float8 * k0; end if;
  if e > 0 then m := m + 4503599627370496; end if;
  select * into x from varnel.round_bits(16602069666338596454::numeric * m, 64);
  select * into y from varnel.round_bits(x.q, 53);
  return sign(k0) * y.q::float8 * power(2::float8, greatest(e, 1) - 1075 - 64 + x.shift + y.shift);
end $$;

-- Money to the kopeck as the program shows it: «1 250,00».
create or replace function varnel.money_text(x float8) returns text language plpgsql immutable
strict  as $$
declare v float8 := x * 100; a numeric := varnel.decimal(floor(abs(v)), 0);
begin
  if abs(v) - a::float8 >= 0.5 then a := a + 1; end if;
  return case when v < 0 and a > 0 then '-' else '' end
    || regexp_replace(div(a, 100)::text, '(\d)(?=(\d{3})+$)', '\1' || chr(160), 'g')
    || ',' || lpad(mod(a, 100)::text, 2, '0');
end $$;

-- The largest stake in whole kopecks whose growth stays within `bound`: a payout, or (summed)
-- what it adds to an outcome's payout sum of `liability`; below zero when not a kopeck fits.
create or replace function varnel.largest_within(bound float8, k float8, liability float8,
  summed boolean) returns float8 language plpgsql immutable  as $$
declare kopecks bigint;
begin
  if not (1 + k > 0) then return 'Infinity'; end if;
  kopecks := greatest(floor(bound / (1 + k) * 100), -1)::bigint;
  while varnel.grows((kopecks + 1)::float8 / 100, k, liability, summed) <= bound loop
    kopecks := kopecks + 1;
  end loop;
  while kopecks >= 0 and varnel.grows(kopecks::float8 / 100, k, liability, summed) > bound loop
    kopecks := kopecks - 1;
  end loop;
  return kopecks::float8 / 100;
end $$;

create or replace function varnel.grows(s float8, k float8, liability float8, summed boolean)
returns float8 language sql immutable  as $$
  select case when summed
    then varnel.stored(liability + varnel.bet_payout(s, k)::float8, 4) - liability
    else varnel.bet_payout(s, k)::float8 end
$$;

-- Why the owner's limits refuse a bet of s at k on the outcome `outcome` whose bets would pay
-- `liability`; none when they take it.
create or replace function varnel.limits_refusal(s float8, k float8, liability float8,
  outcome text) returns text language plpgsql stable  as $$
declare l varnel.limits%rowtype; over text; largest float8; b float8;
begin
  select * into l from varnel.limits order by key limit 1;
  if not found then return null; end if;
  if l.stavka_min is not null and s < l.stavka_min::float8 then
    return format(@below_min@, varnel.money_text(l.stavka_min::float8));
  end if;
  over := case
    when l.stavka_max is not null and s > l.stavka_max::float8 then @over_stake@
    when l.vypl_max is not null and varnel.bet_payout(s, k)::float8 > l.vypl_max::float8
      then @over_payout@
    when l.risk_max is not null
      and varnel.stored(liability + varnel.bet_payout(s, k)::float8, 4) > l.risk_max::float8
      then format(@over_liability@, outcome) end;
  if over is null then return null; end if;
  if l.stavka_max is not null then largest := floor(l.stavka_max::float8 * 100 + 1e-7) / 100; end if;
  if l.vypl_max is not null then
    b := varnel.largest_within(l.vypl_max::float8, k, 0, false);
    if largest is null or b < largest then largest := b; end if;
  end if;
  if l.risk_max is not null then
    b := varnel.largest_within(l.risk_max::float8 - liability, k, liability, true);
    if largest is null or b < largest then largest := b; end if;
  end if;
  if largest is null or largest < 0.01 or (l.stavka_min is not null and largest < l.stavka_min::float8)
  then return format(@none_taken@, over); end if;
  return format(@largest_taken@, over, varnel.money_text(largest));
end $$;

-- What the bets of an event's number on the outcome named `name` would pay if it won, summed in
-- the order they were taken.
create or replace function varnel.payout_sum(p_number integer, name text) returns float8
language plpgsql stable  as $$
declare total float8 := 0; b record;
begin
  for b in select summa, koeficient from varnel.priem
      where (number = p_number or (p_number is null and number is null)) and result = name
      order by key loop
    total := varnel.stored(total + varnel.bet_payout(b.summa::float8, b.koeficient::float8)::float8, 4);
  end loop;
  return total;
end $$;
)sql";

// The operations. Each runs in its caller's transaction, its history written with it (the
// operation's key on its own record), its day and time the books' clock; refusals carry the
// rules' messages under kRuleRefusedState, an event gone kEventGoneState, a coefficient moved
// kCoefficientChangedState with the coefficient as its message.
const char* const kOperations = R"sql(
-- An event whose number is blank is one, as the program's files have it: the bets and records of
-- a blank number are those of the event of a blank number (`x is not distinct from y` written so
-- that an index finds them).
create or replace function varnel.enter_event(p_number integer, p_date date, p_kom1 text,
  p_kom2 text, p_koef_1 numeric, p_koef_2 numeric, p_koef_n numeric, p_summ_1 numeric,
  p_summ_2 numeric, p_summ_n numeric, p_action uuid) returns bigint language plpgsql
security definer @pinned@ as $$
declare here timestamp; c varnel.compit%rowtype;
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  -- what the counter's fields refuse as they are typed into
  if p_number not between -32768 and 32767 then
    raise exception '%', format(@range_compit_number@, p_number) using errcode = @refused@; end if;
  -- (and, once for all, what the file would refuse of the sides' text)
  perform varnel.fit_text(p_kom1, @text_compit_kom1@);
  perform varnel.fit_text(p_kom2, @text_compit_kom2@);
  if not varnel.may_settle() then raise exception @managers_settle@ using errcode = @refused@; end if;
  here := varnel.books_now();
  if p_date is null or p_date <= here::date then
    raise exception @past_date@ using errcode = @refused@; end if;
  if coalesce(btrim(p_kom1), '') = '' then raise exception @missing_kom1@ using errcode = @refused@; end if;
  if coalesce(btrim(p_kom2), '') = '' then raise exception @missing_kom2@ using errcode = @refused@; end if;
  if lower(btrim(p_kom1)) = lower(btrim(p_kom2)) then
    raise exception '%', format(@same_sides@, btrim(p_kom1)) using errcode = @refused@; end if;
  if lower(btrim(p_kom1)) = lower(@draw@) or lower(btrim(p_kom2)) = lower(@draw@) then
    raise exception '%', format(@side_draw@, case when lower(btrim(p_kom1)) = lower(@draw@)
      then btrim(p_kom1) else btrim(p_kom2) end) using errcode = @refused@; end if;
  if p_koef_1 is null then raise exception @missing_koef_1@ using errcode = @refused@; end if;
  if p_koef_1 < 0 then raise exception '%', format(@negative_koef@, @koef_1@) using errcode = @refused@; end if;
  if p_koef_2 is null then raise exception @missing_koef_2@ using errcode = @refused@; end if;
  if p_koef_2 < 0 then raise exception '%', format(@negative_koef@, @koef_2@) using errcode = @refused@; end if;
  if p_koef_n is null then raise exception @missing_koef_n@ using errcode = @refused@; end if;
  if p_koef_n < 0 then raise exception '%', format(@negative_koef@, @koef_n@) using errcode = @refused@; end if;
  -- each value as the event's file would hold it, refused in the order of its fields
  if p_date > '9999-12-31' then raise exception @date_compit_date@ using errcode = @refused@; end if;
  insert into varnel.compit (number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2,
      summ_n, vypl_1, vypl_2, vypl_n)
    values (p_number, p_date, p_kom1, p_kom2, varnel.fit(p_koef_1::float8, 11, @fit_compit_koef_1@),
      varnel.fit(p_koef_2::float8, 11, @fit_compit_koef_2@),
      varnel.fit(p_koef_n::float8, 11, @fit_compit_koef_n@),
      varnel.fit(p_summ_1::float8, 4, @fit_compit_summ_1@),
      varnel.fit(p_summ_2::float8, 4, @fit_compit_summ_2@),
      varnel.fit(p_summ_n::float8, 4, @fit_compit_summ_n@), 0, 0, 0)
    returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, zapis, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), @event@, c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n,
      varnel.fit_whole(c.key, 9, @fit_history_zapis@), session_user, p_action);
  return c.key;
end $$;

-- A bet: its key and serial. p_seal: the seal of its slip's payout code, kept on its record.
create or replace function varnel.take_bet(p_event bigint, p_number integer, p_outcome integer,
  p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid,
  out o_key bigint, out o_serial bigint)
language plpgsql security definer @pinned@ as $$
declare
  here timestamp;
  c varnel.compit%rowtype;
  name text; shown numeric; s float8; k float8; owed float8; why text;
  sums float8[]; koefs float8[]; entry float8[]; own float8; others float8; i integer;
  written numeric[];
  b varnel.priem%rowtype;
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  perform varnel.fit_text(p_fio, @text_priem_fio@);
  if p_outcome is null or p_outcome not between 1 and 3 then
    raise exception '%', format(@wrong_outcome@, coalesce(p_outcome::text, '')) using errcode = @refused@; end if;
  -- the stake as its column keeps it, as the program's file rounds it: nothing is no stake
  s := p_stake::float8;
  if s is null or s = 'NaN' or not s > 0 or (s < 1e20 and not varnel.decimal(s, 4) > 0) then
    raise exception @wrong_stake@ using errcode = @refused@; end if;
  select * into c from varnel.compit where key = p_event for update;
  if not found or c.number is distinct from p_number then
    raise exception 'event gone' using errcode = @gone@; end if;
  here := varnel.books_now();
  shown := (array[c.koef_1, c.koef_2, c.koef_n])[p_outcome];
  if round(p_koef, 11) is distinct from shown then
    raise exception '%', coalesce(shown::text, '') using errcode = @changed@; end if;
  if c.date is null or not here::date < c.date then
    raise exception @bets_closed@ using errcode = @refused@; end if;
  if shown is null then raise exception @blank_number@ using errcode = @refused@; end if;
  name := (array[c.kom1, c.kom2, @draw@])[p_outcome];
  s := varnel.stored(s, 4);
  k := shown::float8;
  owed := coalesce((array[c.vypl_1, c.vypl_2, c.vypl_n])[p_outcome]::float8,
    varnel.payout_sum(c.number, name));
  why := varnel.limits_refusal(s, k, owed, name);
  if why is not null then raise exception '%', why using errcode = @refused@; end if;

  insert into varnel.priem (number, result, summa, koeficient, fio)
    values (c.number, name, varnel.fit(p_stake::float8, 4, @fit_priem_summa@), shown, p_fio)
    returning * into b;
  sums := array[c.summ_1::float8, c.summ_2::float8, c.summ_n::float8];
  sums[p_outcome] := sums[p_outcome] + s;
  koefs := array[c.koef_1::float8, c.koef_2::float8, c.koef_n::float8];
  -- a blank the rule would read is no number
  if sums[p_outcome] is null or (p_adjust and (c.koef_1 is null or c.koef_2 is null
      or c.koef_n is null or c.summ_1 is null or c.summ_2 is null or c.summ_n is null)) then
    raise exception @blank_number@ using errcode = @refused@; end if;
  if p_adjust then
    -- the odds rule: an outcome whose stakes pass the other two's is paid 90 % of their money,
    -- and no coefficient rises
    entry := koefs;
    for i in 1..3 loop
      own := sums[i];
      others := case i when 1 then sums[3] + sums[2] when 2 then sums[1] + sums[3]
        else sums[1] + sums[2] end;
      if own > others then
        koefs[i] := case when own = 0 then others else 9000 * others / 10000 / own end;
      end if;
    end loop;
    for i in 1..3 loop
      if entry[i] < koefs[i] then koefs[i] := varnel.cut(entry[i]); end if;
    end loop;
  end if;
  -- each value as the event's columns keep it, refused in the order of the fields as the
  -- program's file refuses one too long
  written := array[varnel.fit(koefs[1], 11, @fit_compit_koef_1@),
    varnel.fit(koefs[2], 11, @fit_compit_koef_2@), varnel.fit(koefs[3], 11, @fit_compit_koef_n@),
    varnel.fit(sums[p_outcome], 4,
      (array[@fit_compit_summ_1@, @fit_compit_summ_2@, @fit_compit_summ_n@])[p_outcome]),
    varnel.fit(varnel.stored(owed + varnel.bet_payout(s, k)::float8, 4), 4,
      (array[@fit_compit_vypl_1@, @fit_compit_vypl_2@, @fit_compit_vypl_n@])[p_outcome])];
  update varnel.compit set
      koef_1 = written[1], koef_2 = written[2], koef_n = written[3],
      summ_1 = case p_outcome when 1 then written[4] else summ_1 end,
      summ_2 = case p_outcome when 2 then written[4] else summ_2 end,
      summ_n = case p_outcome when 3 then written[4] else summ_n end,
      vypl_1 = case p_outcome when 1 then written[5] else vypl_1 end,
      vypl_2 = case p_outcome when 2 then written[5] else vypl_2 end,
      vypl_n = case p_outcome when 3 then written[5] else vypl_n end
    where key = p_event returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, summa, koeficient, fio, serial, zapis, kassir, action, kod)
    values (here::date, to_char(here, 'HH24:MI:SS'), @bet@, c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, b.result, b.summa,
      b.koeficient, b.fio, varnel.fit_whole(b.serial, 9, @fit_history_serial@),
      varnel.fit_whole(b.key, 9, @fit_history_zapis@), session_user, p_action,
      nullif(p_seal, ''));
  o_key := b.key;
  o_serial := b.serial;
end $$;

create or replace function varnel.settle(p_event bigint, p_winner text, p_action uuid)
returns void language plpgsql security definer @pinned@ as $$
declare here timestamp; c varnel.compit%rowtype;
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  if not varnel.may_settle() then raise exception @managers_settle@ using errcode = @refused@; end if;
  select * into c from varnel.compit where key = p_event for update;
  if not found then raise exception 'event gone' using errcode = @gone@; end if;
  if p_winner is null or p_winner not in (c.kom1, c.kom2, @draw@) then
    raise exception '%', format(@no_such_outcome@, p_winner) using errcode = @refused@; end if;
  perform from varnel.priem where (number = c.number or (c.number is null and number is null))
    for update;
  here := varnel.books_now();
  -- each bet in the order taken, a winner given its payout and its payout's key; then the
  -- payouts (one too long for its column refused as the program's file refuses it, the first
  -- in that order) and the records of every bet, at once
  with bet as materialized (
    select b.*, case when b.result = p_winner
        then nextval(pg_get_serial_sequence('varnel.money', 'key')) end as paid,
      case when b.result = p_winner then varnel.bet_payout(b.summa::float8, b.koeficient::float8)
        end as payout
    from (select * from varnel.priem
      where (number = c.number or (c.number is null and number is null)) order by key) b),
  owed as (
    insert into varnel.money (key, fio, summa, serial)
      select paid, fio, case when payout < 1e14 then payout
          else varnel.fit(payout::float8, 4, @fit_money_summa@) end, serial
        from bet where paid is not null)
  insert into varnel.history (den, vremya, vid, number, result, summa, koeficient, fio, serial,
      vyplata, zapis, kassir)
    select here::date, to_char(here, 'HH24:MI:SS'),
      case when paid is null then @lost@ else @won@ end, number, result, summa, koeficient, fio,
      serial, payout, varnel.fit_whole(paid, 9, @fit_history_zapis@), session_user
    from bet order by key;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, zapis, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), @result@, c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, p_winner, c.key, session_user,
      p_action);
  delete from varnel.priem where (number = c.number or (c.number is null and number is null));
  delete from varnel.compit where key = p_event;
end $$;

create or replace function varnel.pay_out(p_payout bigint, p_action uuid) returns boolean
language plpgsql security definer @pinned@ as $$
declare m varnel.money%rowtype; here timestamp; slipped boolean;
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  select * into m from varnel.money where key = p_payout for update;
  if not found then return false; end if;
  here := varnel.books_now();
  -- a bet with a slip is paid by the slip; by name, for a lost slip, only by a manager
  slipped := exists (select from varnel.history h where h.serial = m.serial
    and rtrim(h.vid) = @bet@ and h.kod is not null);
  if slipped and not varnel.may_undo() then
    raise exception @slip_only@ using errcode = @refused@; end if;
  insert into varnel.history (den, vremya, vid, serial, fio, vyplata, zapis, kassir, action,
      result)
    values (here::date, to_char(here, 'HH24:MI:SS'), @paid@, m.serial, m.fio, m.summa, m.key,
      session_user, p_action, case when slipped then @without_slip@ end);
  delete from varnel.money where key = p_payout;
  return true;
end $$;

-- Whether a payout code is the one whose seal ("salt$hash", hex) the books keep.
create or replace function varnel.code_matches(code text, sealed text) returns boolean
language sql immutable  as $$
  select coalesce(sha256(decode(split_part(sealed, '$', 1), 'hex') || convert_to(code, 'UTF8'))
    = decode(split_part(sealed, '$', 2), 'hex'), false)
$$;

-- The slip of the bet p_serial shown with p_code: its bet and what became of it (o_state:
-- unknown, owed, paid, lost, open, revoked), told only when the code matches its seal.
create or replace function varnel.slip(p_serial bigint, p_code text, out o_state text,
  out o_fio text, out o_number integer, out o_date date, out o_kom1 text, out o_kom2 text,
  out o_result text, out o_summa numeric, out o_koef numeric, out o_payout numeric,
  out o_when text, out o_kassir text, out o_payout_key bigint)
language plpgsql stable security definer @pinned@ as $$
declare b varnel.history%rowtype; h varnel.history%rowtype;
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  o_state := 'unknown';
  select * into b from varnel.history where serial = p_serial and rtrim(vid) = @bet@
    order by key desc limit 1;
  if not found or b.kod is null or not varnel.code_matches(coalesce(p_code, ''), b.kod) then
    return; end if;
  o_fio := rtrim(b.fio); o_number := b.number; o_date := b.date; o_kom1 := rtrim(b.kom1);
  o_kom2 := rtrim(b.kom2); o_result := rtrim(b.result); o_summa := b.summa;
  o_koef := b.koeficient; o_payout := varnel.bet_payout(b.summa::float8, b.koeficient::float8);
  select * into h from varnel.history where serial = p_serial and key > b.key
      and rtrim(vid) in (@won@, @lost@, @paid@, @revoked@, @restored@)
    order by key desc limit 1;
  if not found or rtrim(h.vid) = @restored@ then o_state := 'open';
  elsif rtrim(h.vid) = @lost@ then o_state := 'lost';
  elsif rtrim(h.vid) = @revoked@ then o_state := 'revoked';
  elsif rtrim(h.vid) = @paid@ then
    o_state := 'paid';
    o_when := to_char(h.den, 'DD.MM.YYYY') || ' в ' || rtrim(h.vremya);
    o_kassir := coalesce(nullif(rtrim(h.kassir), ''), @unnamed_cashier@);
  else
    o_payout := h.vyplata;
    select m.key into o_payout_key from varnel.money m where m.serial = p_serial
      order by m.key limit 1;
    o_state := case when o_payout_key is null then 'unknown' else 'owed' end;
  end if;
end $$;

-- Why the slip p_serial in o_state does not pay, as the counter says it.
create or replace function varnel.slip_refusal(p_serial bigint, s record) returns text
language plpgsql immutable  as $$
begin
  return case s.o_state
    when 'paid' then format(@slip_paid@, p_serial, s.o_when, s.o_kassir)
    when 'lost' then format(@slip_lost@, p_serial)
    when 'open' then format(@slip_open@, p_serial)
    when 'revoked' then format(@slip_revoked@, p_serial)
    else @slip_unknown@ end;
end $$;

-- The slip's payout paid, exactly that bet's: its row held, so that the same slip at two
-- counters at once pays once and the other is told it was paid; a result undone meanwhile
-- leaves no row to hold, and the slip is then told as the books stand.
create or replace function varnel.pay_by_slip(p_serial bigint, p_code text, p_action uuid)
returns void language plpgsql security definer @pinned@ as $$
declare s record; m varnel.money%rowtype; here timestamp;
begin
  select * into s from varnel.slip(p_serial, p_code);
  if s.o_state = 'owed' then
    select * into m from varnel.money where key = s.o_payout_key for update;
    if found then
      here := varnel.books_now();
      insert into varnel.history (den, vremya, vid, serial, fio, vyplata, zapis, kassir, action)
        values (here::date, to_char(here, 'HH24:MI:SS'), @paid@, m.serial, m.fio, m.summa,
          m.key, session_user, p_action);
      delete from varnel.money where key = m.key;
      return;
    end if;
    -- paid at another counter meanwhile, or its result undone: as the books now stand
    select * into s from varnel.slip(p_serial, p_code);
  end if;
  raise exception '%', varnel.slip_refusal(p_serial, s) using errcode = @refused@;
end $$;

-- The slip of the bet p_serial printed again.
create or replace function varnel.slip_copied(p_serial bigint, p_action uuid) returns void
language plpgsql security definer @pinned@ as $$
declare here timestamp := varnel.books_now();
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  if not exists (select from varnel.history where serial = p_serial and rtrim(vid) = @bet@) then
    raise exception @slip_unknown@ using errcode = @refused@; end if;
  insert into varnel.history (den, vremya, vid, serial, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), @copied@, p_serial, session_user, p_action);
end $$;

create or replace function varnel.revoke_bet(p_bet bigint, p_number integer, p_action uuid)
returns void language plpgsql security definer @pinned@ as $$
declare
  here timestamp; c varnel.compit%rowtype; b varnel.priem%rowtype;
  minutes bigint; ago float8; o integer; s float8; owed numeric;
begin
  if not varnel.is_operator() then raise exception @no_operator@ using errcode = @refused@; end if;
  -- the event first, then the bet, as a settlement holds them
  select * into c from varnel.compit
    where (number = p_number or (p_number is null and number is null)) order by key limit 1
    for update;
  if not found then raise exception @revoke_settled@ using errcode = @refused@; end if;
  select * into b from varnel.priem where key = p_bet for update;
  if not found or b.number is distinct from p_number then
    raise exception @revoke_gone@ using errcode = @refused@; end if;
  here := varnel.books_now();
  if c.date is null or not here::date < c.date then
    raise exception @revoke_closed@ using errcode = @refused@; end if;
  if not varnel.may_undo() then
    select l.otmena_min into minutes from varnel.limits l order by l.key limit 1;
    if minutes is null then raise exception @no_revoke_window@ using errcode = @refused@; end if;
    -- the bet's age when the revocation acts, as the history's guard reads it
    select extract(epoch from clock_timestamp() - min(h.written)) / 60 into ago
      from varnel.history h
      where (h.number = b.number or (b.number is null and h.number is null))
        and h.serial = b.serial and rtrim(h.vid) = @bet@;
    if ago is null then raise exception @revoke_time_unknown@ using errcode = @refused@; end if;
    if ago > minutes then raise exception '%', format(@revoke_too_late@, minutes,
      floor(ago)::bigint) using errcode = @refused@; end if;
  end if;
  o := case b.result when c.kom1 then 1 when c.kom2 then 2 when @draw@ then 3 end;
  if o is null then raise exception '%', format(@revoke_unnamed@, b.result) using errcode = @refused@; end if;
  s := b.summa::float8;
  owed := (array[c.vypl_1, c.vypl_2, c.vypl_n])[o];
  if owed is not null then
    owed := varnel.decimal(owed::float8 - varnel.bet_payout(s, b.koeficient::float8)::float8, 4);
  end if;
  update varnel.compit set
      summ_1 = case o when 1 then varnel.decimal(summ_1::float8 - s, 4) else summ_1 end,
      summ_2 = case o when 2 then varnel.decimal(summ_2::float8 - s, 4) else summ_2 end,
      summ_n = case o when 3 then varnel.decimal(summ_n::float8 - s, 4) else summ_n end,
      vypl_1 = case o when 1 then owed else vypl_1 end,
      vypl_2 = case o when 2 then owed else vypl_2 end,
      vypl_n = case o when 3 then owed else vypl_n end
    where key = c.key returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, summa, koeficient, fio, serial, zapis, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), @revoked@, b.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, b.result, b.summa,
      b.koeficient, b.fio, b.serial, b.key, session_user, p_action);
  delete from varnel.priem where key = p_bet;
end $$;

-- A result undone: its event and its bets put back, the payouts of its winners taken back. What
-- it decides on is held first: the result, against another undo of it (varnel.hold), then the
-- payouts, against a payer. A payout paid meanwhile is then seen paid, and the undo refused.
create or replace function varnel.undo_result(p_result bigint, p_action uuid) returns void
language plpgsql security definer @pinned@ as $$
declare
  here timestamp; r varnel.history%rowtype; h varnel.history%rowtype;
  c varnel.compit%rowtype; plan bigint[] := '{}'; placed bigint; payouts bigint[]; taken integer;
begin
  if not varnel.may_undo() then raise exception @managers_undo@ using errcode = @refused@; end if;
  -- (the lock a counter takes before it plans an undo, and then the hold of the result)
  perform pg_advisory_xact_lock(hashtext('varnel undo'), (p_result % 2147483647)::integer);
  perform varnel.hold('undo ' || p_result);
  select * into r from varnel.history where key = p_result;
  if not found or rtrim(r.vid) <> @result@ then
    raise exception '%', format(@not_result@, p_result + 1) using errcode = @refused@; end if;
  if exists (select from varnel.history where key > p_result and serial = p_result + 1
      and rtrim(vid) = @undone@) then
    raise exception @undone_already@ using errcode = @refused@; end if;
  select * into c from varnel.compit
    where (number = r.number or (r.number is null and number is null)) order by key limit 1;
  if found then raise exception '%', format(@event_again@, c.number, c.kom1, c.kom2)
    using errcode = @refused@; end if;
  -- its bets: the records of its number just before it, written with it
  for h in select * from varnel.history
      where (number = r.number or (r.number is null and number is null)) and key < p_result
        and xact = r.xact
      order by key desc loop
    exit when rtrim(h.vid) not in (@won@, @lost@);
    plan := h.key || plan;
  end loop;
  select coalesce(array_agg(zapis), '{}') into payouts from varnel.history
    where key = any(plan) and rtrim(vid) = @won@;
  perform from varnel.money where key = any(payouts) for update;
  for h in select * from varnel.history where key = any(plan) and rtrim(vid) = @won@ loop
    if exists (select from varnel.history x where x.key > p_result and x.serial = h.serial
        and rtrim(x.vid) = @paid@) then
      raise exception '%', format(@payout_paid@, h.fio, h.vyplata) using errcode = @refused@; end if;
    if not exists (select from varnel.money m where m.key = h.zapis
        and m.fio is not distinct from h.fio and m.summa = h.vyplata) then
      raise exception '%', format(@payout_gone@, h.fio, h.vyplata) using errcode = @refused@; end if;
  end loop;

  here := varnel.books_now();
  insert into varnel.compit (number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n)
    values (r.number, r.date, r.kom1, r.kom2, r.koef_1, r.koef_2, r.koef_n, r.summ_1, r.summ_2,
      r.summ_n)
    returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, zapis, serial, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), @undone@, c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, r.result,
      varnel.fit_whole(c.key, 9, @fit_history_zapis@), p_result + 1, session_user, p_action);
  for h in select * from varnel.history where key = any(plan) order by key loop
    insert into varnel.priem (number, result, summa, koeficient, fio, serial)
      values (h.number, h.result, h.summa, h.koeficient, h.fio,
        coalesce(h.serial, nextval('varnel.serial')))
      returning key into placed;
    insert into varnel.history (den, vremya, vid, number, result, summa, koeficient, fio, serial,
        zapis, vyplata, kassir)
      values (here::date, to_char(here, 'HH24:MI:SS'), @restored@, h.number, h.result, h.summa,
        h.koeficient, h.fio, h.serial, varnel.fit_whole(placed, 9, @fit_history_zapis@),
        h.vyplata, session_user);
  end loop;
  delete from varnel.money where key = any(payouts);
  get diagnostics taken = row_count;
  if taken <> (select count(distinct k) from unnest(payouts) k) then
    raise exception 'payouts of result % changed while it was undone', p_result
      using errcode = 'serialization_failure';
  end if;
  -- the event put back owes what its bets put back would pay
  update varnel.compit set
      vypl_1 = varnel.decimal(varnel.payout_sum(c.number, c.kom1), 4),
      vypl_2 = varnel.decimal(varnel.payout_sum(c.number, c.kom2), 4),
      vypl_n = varnel.decimal(varnel.payout_sum(c.number, @draw@), 4)
    where key = c.key;
end $$;

-- The owner's limits. Each value as the limits' file and the history's record would hold it,
-- so that the books can always be written out; settings at once held one after the other.
create or replace function varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric,
  p_liability numeric, p_minutes bigint, p_action uuid) returns void language plpgsql
security definer @pinned@ as $$
declare here timestamp; l varnel.limits%rowtype;
begin
  if not varnel.may_undo() then raise exception @managers_limits@ using errcode = @refused@; end if;
  -- (NaN is no number at or above zero, as the program compares doubles)
  if p_min < 0 or p_max < 0 or p_payout < 0 or p_liability < 0 or 'NaN' in (p_min, p_max,
      p_payout, p_liability) then
    raise exception @negative_limit@ using errcode = @refused@; end if;
  if p_minutes < 0 then raise exception @negative_minutes@ using errcode = @refused@; end if;
  if p_min > p_max then raise exception @min_above_max@ using errcode = @refused@; end if;
  l.stavka_min := varnel.fit(p_min::float8, 4, @fit_limits_stavka_min@);
  l.stavka_max := varnel.fit(p_max::float8, 4, @fit_limits_stavka_max@);
  l.vypl_max := varnel.fit(p_payout::float8, 4, @fit_limits_vypl_max@);
  l.risk_max := varnel.fit(p_liability::float8, 4, @fit_limits_risk_max@);
  l.otmena_min := varnel.fit_whole(p_minutes, 9, @fit_limits_otmena_min@);
  perform varnel.hold('limits');
  here := varnel.books_now();
  if exists (select from varnel.limits) then
    update varnel.limits set stavka_min = l.stavka_min, stavka_max = l.stavka_max,
        vypl_max = l.vypl_max, risk_max = l.risk_max, otmena_min = l.otmena_min
      where key = (select min(key) from varnel.limits);
  else
    insert into varnel.limits (stavka_min, stavka_max, vypl_max, risk_max, otmena_min)
      values (l.stavka_min, l.stavka_max, l.vypl_max, l.risk_max, l.otmena_min);
  end if;
  insert into varnel.history (den, vremya, vid, summ_1, summ_2, vyplata, summ_n, zapis, kassir,
      action)
    values (here::date, to_char(here, 'HH24:MI:SS'), @limits@, l.stavka_min, l.stavka_max,
      l.vypl_max, l.risk_max, l.otmena_min, session_user, p_action);
end $$;
)sql";

// What an operation runs first: the sealer, unless it sealed within the last moment (a look at
// one row; the sealer itself costs a bet a tenth of its time when every bet calls it).
const char kSealNow[] = "  perform varnel.seal() from varnel.chain where varnel.chain.sealed < "
                        "clock_timestamp() - interval '20 milliseconds';\n";

// The operations. Every operator may call each (a manager is a cashier too): the function itself
// refuses, with the rule's message, what the caller's role may not do.
const char* const kGranted[] = {
    "enter_event(integer, date, text, text, numeric, numeric, numeric, numeric, numeric, numeric, "
    "uuid)",
    "take_bet(bigint, integer, integer, boolean, text, numeric, numeric, text, uuid)",
    "slip(bigint, text)",
    "pay_by_slip(bigint, text, uuid)",
    "slip_copied(bigint, uuid)",
    "settle(bigint, text, uuid)",
    "pay_out(bigint, uuid)",
    "revoke_bet(bigint, integer, uuid)",
    "undo_result(bigint, uuid)",
    "set_limits(numeric, numeric, numeric, numeric, bigint, uuid)",
};

} // namespace

void DefineOperations(ServerConnection& server) {
    const QString owner =
        server
            .Value(QStringLiteral("select quote_literal(pg_get_userbyid(nspowner)::text) from "
                                  "pg_namespace where nspname = 'varnel'"))
            .toString();
    // Operations an earlier layout had in another form.
    server.Exec(QStringLiteral("drop function if exists varnel.take_bet(bigint, integer, integer, "
                               "boolean, text, numeric, numeric, uuid)"));
    // When the server wrote a record of an operation (the guard stamps the others'): when the
    // operation acted, not when its caller's transaction began.
    server.Exec(QStringLiteral(
        "alter table varnel.history alter column written set default clock_timestamp()"));
    for (const char* const functions : {kArithmetic, kOperations})
        for (const QString& statement :
             filled(QString::fromUtf8(functions)).split(QStringLiteral("$$;"), Qt::SkipEmptyParts))
            if (!statement.trimmed().isEmpty()) {
                QString sql = QString(statement).replace(QStringLiteral("@owner@"), owner);
                // Each operation that writes first seals what earlier ones wrote (Seals.h).
                if (sql.contains(QLatin1String("security definer")) &&
                    !sql.contains(QLatin1String(" stable "))) {
                    const qsizetype begin = sql.indexOf(QLatin1String("\nbegin\n"));
                    if (begin < 0)
                        throw EServerError(QStringLiteral("Операция без начала: ") +
                                               sql.simplified().left(60),
                                           false);
                    sql.insert(begin + 7, QString::fromLatin1(kSealNow));
                }
                server.Exec(sql + QStringLiteral("$$"));
            }
}

QString OperationsRole(ServerConnection& server) {
    return server
        .Value(QStringLiteral("select regexp_replace(role, '_kassa$', '_operations') from "
                              "varnel.groups where kind = 'kassa'"))
        .toString();
}

void GrantOperations(ServerConnection& server) {
    const QString operations =
        server.Value(QStringLiteral("select quote_ident(?)"), {OperationsRole(server)}).toString();
    if (server.Value(QStringLiteral("select to_regrole(?) is null"), {operations}).toBool())
        server.Exec(QStringLiteral("create role %1 nologin").arg(operations));
    server.Exec(QStringLiteral("grant %1 to current_user").arg(operations));
    const QString kassa = QuotedGroup(server, OperatorRole::Kassa);
    const QString manager = QuotedGroup(server, OperatorRole::Manager);
    const QStringList rights = {
        QStringLiteral("usage on schema varnel"),
        QStringLiteral("select on all tables in schema varnel"),
        QStringLiteral("insert, update, delete on varnel.compit, varnel.priem, varnel.money"),
        QStringLiteral("insert, update on varnel.limits, varnel.holds"),
        QStringLiteral("insert on varnel.history"),
        QStringLiteral("usage on all sequences in schema varnel")};
    for (const QString& right : rights)
        server.Exec(QStringLiteral("grant %1 to %2").arg(right, operations));
    // The operators read; every change of theirs is an operation's.
    for (const QString& group : {kassa, manager}) {
        server.Exec(QStringLiteral("revoke insert, update, delete, truncate on all tables in "
                                   "schema varnel from %1")
                        .arg(group));
        server.Exec(
            QStringLiteral("revoke usage on all sequences in schema varnel from %1").arg(group));
    }
    // The seals of the payout codes are the operations' alone: an operator reads every other
    // column of the history.
    server.Exec(QStringLiteral("revoke select on varnel.history from %1").arg(kassa));
    server.Exec(QStringLiteral(
                    "do $$ begin execute format('grant select (%s) on varnel.history to %s', "
                    "(select string_agg(quote_ident(column_name), ', ' order by ordinal_position) "
                    "from information_schema.columns where table_schema = 'varnel' and "
                    "table_name = 'history' and column_name <> %1), %2); end $$")
                    .arg(SqlLiteral(ServerColumn(fields::KOD)), SqlLiteral(kassa)));
    for (const char* const signature : kGranted) {
        const QString function = QStringLiteral("varnel.") + QLatin1String(signature);
        server.Exec(QStringLiteral("alter function %1 owner to %2").arg(function, operations));
        server.Exec(QStringLiteral("revoke execute on function %1 from public").arg(function));
        server.Exec(QStringLiteral("grant execute on function %1 to %2").arg(function, kassa));
    }
}

} // namespace varnel
