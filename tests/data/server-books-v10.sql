-- Books laid out on a server by the program's tenth server layout (version 10: the holds the
-- operations pass one at a time, and the books' database ending every login's idle transaction),
-- with a few records: two events, limits, bets with and without slips, one event settled and
-- its winner owed, a head written for a day report. What the next layout's upgrade must bring
-- to it, every record and every seal kept; loaded, its schema is the one this layout lays out.
-- Made with varnel-newdesk --server (and --cashiers-settle yes) and the operations
-- (varnel.enter_event, set_limits, take_bet, settle, write_digest), then pg_dump
-- --schema=varnel --extension=pg_trgm --no-owner on a database named books: its groups, varnel_books_kassa,
-- varnel_books_manager, varnel_books_operations and varnel_books_sealer, are the cluster's and
-- must be there before it is loaded.
--
--
-- PostgreSQL database dump
--

\restrict XPEVtAeq3OwxGCFtYhaoWmSdTKwe3fN2FP9jGGhAtuJpVg5A62V70XnDkaAal5O

-- Dumped from database version 15.18 (Debian 15.18-0+deb12u1)
-- Dumped by pg_dump version 15.18 (Debian 15.18-0+deb12u1)

SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

--
-- Name: varnel; Type: SCHEMA; Schema: -; Owner: -
--

CREATE SCHEMA varnel;


--
-- Name: pg_trgm; Type: EXTENSION; Schema: -; Owner: -
--

CREATE EXTENSION IF NOT EXISTS pg_trgm WITH SCHEMA varnel;


--
-- Name: EXTENSION pg_trgm; Type: COMMENT; Schema: -; Owner: -
--

COMMENT ON EXTENSION pg_trgm IS 'text similarity measurement and index searching based on trigrams';


--
-- Name: bet_payout(double precision, double precision); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.bet_payout(s double precision, k double precision) RETURNS numeric
    LANGUAGE sql IMMUTABLE STRICT
    AS $$ select varnel.decimal(s + s * k, 4) $$;


--
-- Name: books_now(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.books_now() RETURNS timestamp without time zone
    LANGUAGE plpgsql
    AS $$
begin
  return clock_timestamp() at time zone coalesce((select s.time_zone from varnel.settings s
    limit 1), 'UTC');
end $$;


--
-- Name: in_1251(text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.in_1251(t text) RETURNS boolean
    LANGUAGE plpgsql IMMUTABLE STRICT
    AS $_$ begin return t ~ '^[\u0001-\u007f\u00a0\u00a4\u00a6-\u00a7\u00a9\u00ab-\u00ae\u00b0-\u00b1\u00b5-\u00b7\u00bb\u0401-\u040c\u040e-\u044f\u0451-\u045c\u045e-\u045f\u0490-\u0491\u2013-\u2014\u2018-\u201a\u201c-\u201e\u2020-\u2022\u2026\u2030\u2039-\u203a\u20ac\u2116\u2122]*$'; end $_$;


SET default_tablespace = '';

SET default_table_access_method = heap;

--
-- Name: history; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.history (
    key bigint NOT NULL,
    den date,
    vremya character varying(8),
    vid character varying(10),
    serial bigint,
    zapis bigint,
    number smallint,
    date date,
    kom1 character varying(25),
    kom2 character varying(25),
    koef_1 numeric(18,11),
    koef_2 numeric(18,11),
    koef_n numeric(18,11),
    summ_1 numeric(18,4),
    summ_2 numeric(18,4),
    summ_n numeric(18,4),
    result character varying(25),
    summa numeric(18,4),
    koeficient numeric(18,11),
    fio character varying(50),
    vyplata numeric(18,4),
    kassir character varying(63),
    kod character varying(81),
    action uuid,
    written timestamp with time zone DEFAULT clock_timestamp(),
    xact xid8 DEFAULT pg_current_xact_id() NOT NULL,
    CONSTRAINT history_fio_check CHECK (varnel.in_1251((fio)::text)),
    CONSTRAINT history_kassir_check CHECK (varnel.in_1251((kassir)::text)),
    CONSTRAINT history_kod_check CHECK (varnel.in_1251((kod)::text)),
    CONSTRAINT history_kom1_check CHECK (varnel.in_1251((kom1)::text)),
    CONSTRAINT history_kom2_check CHECK (varnel.in_1251((kom2)::text)),
    CONSTRAINT history_result_check CHECK (varnel.in_1251((result)::text)),
    CONSTRAINT history_vid_check CHECK (varnel.in_1251((vid)::text)),
    CONSTRAINT history_vremya_check CHECK (varnel.in_1251((vremya)::text))
);


--
-- Name: canonical(varnel.history); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.canonical(h varnel.history) RETURNS text
    LANGUAGE sql STABLE
    AS $$ select ';' || octet_length(coalesce(to_char(h.den, 'YYYYMMDD'), '')) || ':' || coalesce(to_char(h.den, 'YYYYMMDD'), '') || ';' || octet_length(coalesce(rtrim(h.vremya, ' '), '')) || ':' || coalesce(rtrim(h.vremya, ' '), '') || ';' || octet_length(coalesce(rtrim(h.vid, ' '), '')) || ':' || coalesce(rtrim(h.vid, ' '), '') || ';' || octet_length(coalesce(trim_scale(h.serial::numeric)::text, '')) || ':' || coalesce(trim_scale(h.serial::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.zapis::numeric)::text, '')) || ':' || coalesce(trim_scale(h.zapis::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.number::numeric)::text, '')) || ':' || coalesce(trim_scale(h.number::numeric)::text, '') || ';' || octet_length(coalesce(to_char(h.date, 'YYYYMMDD'), '')) || ':' || coalesce(to_char(h.date, 'YYYYMMDD'), '') || ';' || octet_length(coalesce(rtrim(h.kom1, ' '), '')) || ':' || coalesce(rtrim(h.kom1, ' '), '') || ';' || octet_length(coalesce(rtrim(h.kom2, ' '), '')) || ':' || coalesce(rtrim(h.kom2, ' '), '') || ';' || octet_length(coalesce(trim_scale(h.koef_1::numeric)::text, '')) || ':' || coalesce(trim_scale(h.koef_1::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.koef_2::numeric)::text, '')) || ':' || coalesce(trim_scale(h.koef_2::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.koef_n::numeric)::text, '')) || ':' || coalesce(trim_scale(h.koef_n::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.summ_1::numeric)::text, '')) || ':' || coalesce(trim_scale(h.summ_1::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.summ_2::numeric)::text, '')) || ':' || coalesce(trim_scale(h.summ_2::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.summ_n::numeric)::text, '')) || ':' || coalesce(trim_scale(h.summ_n::numeric)::text, '') || ';' || octet_length(coalesce(rtrim(h.result, ' '), '')) || ':' || coalesce(rtrim(h.result, ' '), '') || ';' || octet_length(coalesce(trim_scale(h.summa::numeric)::text, '')) || ':' || coalesce(trim_scale(h.summa::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(h.koeficient::numeric)::text, '')) || ':' || coalesce(trim_scale(h.koeficient::numeric)::text, '') || ';' || octet_length(coalesce(rtrim(h.fio, ' '), '')) || ':' || coalesce(rtrim(h.fio, ' '), '') || ';' || octet_length(coalesce(trim_scale(h.vyplata::numeric)::text, '')) || ':' || coalesce(trim_scale(h.vyplata::numeric)::text, '') || ';' || octet_length(coalesce(rtrim(h.kassir, ' '), '')) || ':' || coalesce(rtrim(h.kassir, ' '), '') || ';' || octet_length(coalesce(encode(sha256(convert_to(nullif(rtrim(h.kod, ' '), ''), 'UTF8')), 'hex'), '')) || ':' || coalesce(encode(sha256(convert_to(nullif(rtrim(h.kod, ' '), ''), 'UTF8')), 'hex'), '') $$;


--
-- Name: changed(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.changed() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ begin perform pg_notify('varnel', tg_table_name); return null; end $$;


--
-- Name: code_matches(text, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.code_matches(code text, sealed text) RETURNS boolean
    LANGUAGE sql IMMUTABLE
    AS $_$
  select coalesce(sha256(decode(split_part(sealed, '$', 1), 'hex') || convert_to(code, 'UTF8'))
    = decode(split_part(sealed, '$', 2), 'hex'), false)
$_$;


--
-- Name: cut(double precision); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.cut(k0 double precision) RETURNS double precision
    LANGUAGE plpgsql IMMUTABLE STRICT
    AS $$
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


--
-- Name: decimal(double precision, integer); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel."decimal"(x double precision, d integer) RETURNS numeric
    LANGUAGE plpgsql IMMUTABLE STRICT
    AS $$
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


--
-- Name: enter_event(integer, date, text, text, numeric, numeric, numeric, numeric, numeric, numeric, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.enter_event(p_number integer, p_date date, p_kom1 text, p_kom2 text, p_koef_1 numeric, p_koef_2 numeric, p_koef_n numeric, p_summ_1 numeric, p_summ_2 numeric, p_summ_n numeric, p_action uuid) RETURNS bigint
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare here timestamp; c varnel.compit%rowtype;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  -- what the counter's fields refuse as they are typed into
  if p_number not between -32768 and 32767 then
    raise exception '%', format('Поле «№» (NUMBER): Число %s вне допустимых пределов (от -32768 до 32767).', p_number) using errcode = 'VR001'; end if;
  -- (and, once for all, what the file would refuse of the sides' text)
  perform varnel.fit_text(p_kom1, 25, 'KOM1', '«Команда 1» (KOM1)', 'Поле «Команда 1» (KOM1): Текст длиннее 25 знаков.');
  perform varnel.fit_text(p_kom2, 25, 'KOM2', '«Команда 2» (KOM2)', 'Поле «Команда 2» (KOM2): Текст длиннее 25 знаков.');
  if not varnel.may_settle() then raise exception 'Вводить события и результаты на этих книгах может только менеджер. Владелец книг может разрешить это кассирам: varnel-newdesk --server … --cashiers-settle yes.' using errcode = 'VR001'; end if;
  here := varnel.books_now();
  if p_date is null or p_date <= here::date then
    raise exception 'Такая дата уже в прошлом !!!' using errcode = 'VR001'; end if;
  if coalesce(btrim(p_kom1), '') = '' then raise exception 'Событие не записано: не указано поле Команда 1.' using errcode = 'VR001'; end if;
  if coalesce(btrim(p_kom2), '') = '' then raise exception 'Событие не записано: не указано поле Команда 2.' using errcode = 'VR001'; end if;
  if lower(btrim(p_kom1)) = lower(btrim(p_kom2)) then
    raise exception '%', format('У команд одно и то же название «%s»: ставки на одну из них нельзя будет отличить от ставок на другую. Назовите команды по-разному.', btrim(p_kom1)) using errcode = 'VR001'; end if;
  if lower(btrim(p_kom1)) = lower('Ничья') or lower(btrim(p_kom2)) = lower('Ничья') then
    raise exception '%', format('Команда не может называться «%s»: так называется исход «ничья», и ставки на команду нельзя будет отличить от ставок на ничью.', case when lower(btrim(p_kom1)) = lower('Ничья')
      then btrim(p_kom1) else btrim(p_kom2) end) using errcode = 'VR001'; end if;
  if p_koef_1 is null then raise exception 'Событие не записано: не указано поле К-т на Команду 1.' using errcode = 'VR001'; end if;
  if p_koef_1 < 0 then raise exception '%', format('Поле %s: коэффициент не может быть меньше нуля.', 'К-т на Команду 1') using errcode = 'VR001'; end if;
  if p_koef_2 is null then raise exception 'Событие не записано: не указано поле К-т на Команду 2.' using errcode = 'VR001'; end if;
  if p_koef_2 < 0 then raise exception '%', format('Поле %s: коэффициент не может быть меньше нуля.', 'К-т на Команду 2') using errcode = 'VR001'; end if;
  if p_koef_n is null then raise exception 'Событие не записано: не указано поле К-т на Ничью.' using errcode = 'VR001'; end if;
  if p_koef_n < 0 then raise exception '%', format('Поле %s: коэффициент не может быть меньше нуля.', 'К-т на Ничью') using errcode = 'VR001'; end if;
  -- each value as the event's file would hold it, refused in the order of its fields
  if p_date > '9999-12-31' then raise exception 'Поле «DATE»: Дату нельзя записать в поле DATE.' using errcode = 'VR001'; end if;
  insert into varnel.compit (number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2,
      summ_n, vypl_1, vypl_2, vypl_n)
    values (p_number, p_date, p_kom1, p_kom2, varnel.fit(p_koef_1::float8, 11, 'Поле «К-т на Команду 1» (KOEF_1): Значение «%s» не помещается в поле KOEF_1 таблицы «COMPIT.DBF» (19 знаков).'),
      varnel.fit(p_koef_2::float8, 11, 'Поле «К-т на Команду 2» (KOEF_2): Значение «%s» не помещается в поле KOEF_2 таблицы «COMPIT.DBF» (19 знаков).'),
      varnel.fit(p_koef_n::float8, 11, 'Поле «К-т на Ничью» (KOEF_N): Значение «%s» не помещается в поле KOEF_N таблицы «COMPIT.DBF» (19 знаков).'),
      varnel.fit(p_summ_1::float8, 4, 'Поле «Сумма (1)» (SUMM_1): Значение «%s» не помещается в поле SUMM_1 таблицы «COMPIT.DBF» (19 знаков).'),
      varnel.fit(p_summ_2::float8, 4, 'Поле «Сумма (2)» (SUMM_2): Значение «%s» не помещается в поле SUMM_2 таблицы «COMPIT.DBF» (19 знаков).'),
      varnel.fit(p_summ_n::float8, 4, 'Поле «Сумма (Н)» (SUMM_N): Значение «%s» не помещается в поле SUMM_N таблицы «COMPIT.DBF» (19 знаков).'), 0, 0, 0)
    returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, zapis, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Событие', c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n,
      varnel.fit_whole(c.key, 9, 'Поле «Запись» (ZAPIS): Значение «%s» не помещается в поле ZAPIS таблицы «HISTORY.DBF» (9 знаков).'), session_user, p_action);
  return c.key;
end $$;


--
-- Name: fit(double precision, integer, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.fit(x double precision, d integer, refusal text) RETURNS numeric
    LANGUAGE plpgsql IMMUTABLE
    AS $$
begin
  if not varnel.fits(x, d) then
    raise exception '%', format(refusal, varnel.float_text(x)) using errcode = 'VR001';
  end if;
  return varnel.decimal(x, d);
end $$;


--
-- Name: fit_text(text, integer, text, text, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.fit_text(t text, size integer, field text, title text, long text) RETURNS text
    LANGUAGE plpgsql IMMUTABLE
    AS $$
declare i integer;
begin
  if t is null then return null; end if;
  if length(t) > size then raise exception '%', long using errcode = 'VR001'; end if;
  if t ~ E'[\\x01-\\x1f\\x7f]' then
    raise exception '%', format('Поле %s: В поле %s не может быть управляющих символов.', title, field) using errcode = 'VR001';
  end if;
  if not varnel.in_1251(t) then
    for i in 1..length(t) loop
      if not varnel.in_1251(substr(t, i, 1)) then
        raise exception '%', format('Поле %s: Знак «%s» нельзя записать в поле %s: в кодировке таблицы (windows-1251) его нет.', title, substr(t, i, 1), field)
          using errcode = 'VR001';
      end if;
    end loop;
  end if;
  return t;
end $$;


--
-- Name: fit_whole(bigint, integer, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.fit_whole(x bigint, width integer, refusal text) RETURNS bigint
    LANGUAGE plpgsql IMMUTABLE
    AS $$
begin
  if length(x::text) > width then
    raise exception '%', format(refusal, x) using errcode = 'VR001';
  end if;
  return x;
end $$;


--
-- Name: fits(double precision, integer); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.fits(x double precision, d integer) RETURNS boolean
    LANGUAGE sql IMMUTABLE
    AS $$
  select x is null or coalesce(abs(x) < 1e20 and length(varnel.decimal(x, d)::text) <= 19, false)
$$;


--
-- Name: float_text(double precision); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.float_text(x double precision) RETURNS text
    LANGUAGE sql IMMUTABLE STRICT
    SET extra_float_digits TO '0'
    AS $$
  select case when x = 'NaN' then 'nan' when x = 'Infinity' then 'inf'
    when x = '-Infinity' then '-inf' else replace(replace(x::text, '.', ','), 'e', 'E') end
$$;


--
-- Name: fold(text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.fold(t text) RETURNS text
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    AS $$ select translate(lower(rtrim(coalesce(t, ''))), 'АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЂЃЄЅІЇЈЉЊЋЌЎЏҐё', 'абвгдеежзийклмнопрстуфхцчшщъыьэюяђѓєѕіїјљњћќўџґе') $$;


--
-- Name: grows(double precision, double precision, double precision, boolean); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.grows(s double precision, k double precision, liability double precision, summed boolean) RETURNS double precision
    LANGUAGE sql IMMUTABLE
    AS $$
  select case when summed
    then varnel.stored(liability + varnel.bet_payout(s, k)::float8, 4) - liability
    else varnel.bet_payout(s, k)::float8 end
$$;


--
-- Name: history_written(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.history_written() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ declare here timestamp := clock_timestamp() at time zone coalesce((select s.time_zone from varnel.settings s limit 1), 'UTC'); begin if tg_op = 'INSERT' then new.written := clock_timestamp(); end if; if varnel.owns_books() then return coalesce(new, old); end if; if tg_op <> 'INSERT' then raise exception 'История книг не исправляется и не удаляется.' using errcode = 'VR001'; end if; if new.vid is null or rtrim(new.vid) not in ('Событие', 'Ставка', 'Выигрыш', 'Проигрыш', 'Результат', 'Выплата', 'Отмена', 'Возврат', 'Лимиты', 'Отзыв', 'Копия') then raise exception 'Записи истории такого вида (%) в книгах не бывает.', quote_literal(new.vid) using errcode = 'VR001'; end if; new.kassir := session_user; new.den := here::date; new.vremya := to_char(here, 'HH24:MI:SS'); if rtrim(new.vid) in ('Отмена', 'Возврат') and not varnel.may_undo() then raise exception 'Отменять результат может только менеджер.' using errcode = 'VR001'; end if; if rtrim(new.vid) = 'Лимиты' and not varnel.may_undo() then raise exception 'Лимиты устанавливает только менеджер.' using errcode = 'VR001'; end if; if rtrim(new.vid) in ('Событие', 'Результат') and not varnel.may_settle() then raise exception 'Вводить события и результаты на этих книгах может только менеджер.' using errcode = 'VR001'; end if; if rtrim(new.vid) = 'Отзыв' and not varnel.may_undo() and not exists (select from varnel.priem p join varnel.history b on b.number = p.number and b.serial = p.serial and rtrim(b.vid) = 'Ставка' where p.serial = new.serial and p.number = new.number and b.written >= clock_timestamp() - make_interval(mins => (select l.otmena_min::integer from varnel.limits l order by l.key limit 1))) then raise exception 'Кассир может отменить ставку только в течение времени после её приёма, которое установил владелец.' using errcode = 'VR001'; end if; return new; end $$;


--
-- Name: hold(text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.hold(what text) RETURNS void
    LANGUAGE sql
    AS $$
  insert into varnel.holds as h (what, at) values (what, clock_timestamp())
    on conflict (what) do update set at = excluded.at
$$;


--
-- Name: is_operator(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.is_operator() RETURNS boolean
    LANGUAGE plpgsql STABLE
    AS $$
begin
  return varnel.owns_books() or exists (select from varnel.groups g
    where pg_catalog.pg_has_role(session_user, g.role, 'MEMBER'));
end $$;


--
-- Name: largest_within(double precision, double precision, double precision, boolean); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.largest_within(bound double precision, k double precision, liability double precision, summed boolean) RETURNS double precision
    LANGUAGE plpgsql IMMUTABLE
    AS $$
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


--
-- Name: limits_refusal(double precision, double precision, double precision, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.limits_refusal(s double precision, k double precision, liability double precision, outcome text) RETURNS text
    LANGUAGE plpgsql STABLE
    AS $$
declare l varnel.limits%rowtype; over text; largest float8; b float8;
begin
  select * into l from varnel.limits order by key limit 1;
  if not found then return null; end if;
  if l.stavka_min is not null and s < l.stavka_min::float8 then
    return format('Ставка меньше наименьшей допустимой: можно принять не менее %s.', varnel.money_text(l.stavka_min::float8));
  end if;
  over := case
    when l.stavka_max is not null and s > l.stavka_max::float8 then 'Ставка превысила бы лимит одной ставки'
    when l.vypl_max is not null and varnel.bet_payout(s, k)::float8 > l.vypl_max::float8
      then 'Ставка превысила бы лимит выплаты по одной ставке'
    when l.risk_max is not null
      and varnel.stored(liability + varnel.bet_payout(s, k)::float8, 4) > l.risk_max::float8
      then format('Ставка превысила бы лимит выплат по исходу «%s»', outcome) end;
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
  then return format('%s: ставку на этот исход сейчас принять нельзя.', over); end if;
  return format('%s: можно принять не более %s.', over, varnel.money_text(largest));
end $$;


--
-- Name: may_settle(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.may_settle() RETURNS boolean
    LANGUAGE plpgsql STABLE
    AS $$
begin
  return varnel.may_undo() or coalesce((select s.cashiers_settle from varnel.settings s limit 1),
    false);
end $$;


--
-- Name: may_undo(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.may_undo() RETURNS boolean
    LANGUAGE plpgsql STABLE
    AS $$
begin
  return varnel.owns_books() or exists (select from varnel.groups g where g.kind = 'manager'
    and pg_catalog.pg_has_role(session_user, g.role, 'MEMBER'));
end $$;


--
-- Name: money_text(double precision); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.money_text(x double precision) RETURNS text
    LANGUAGE plpgsql IMMUTABLE STRICT
    AS $_$
declare v float8 := x * 100; a numeric := varnel.decimal(floor(abs(v)), 0);
begin
  if abs(v) - a::float8 >= 0.5 then a := a + 1; end if;
  return case when v < 0 and a > 0 then '-' else '' end
    || regexp_replace(div(a, 100)::text, '(\d)(?=(\d{3})+$)', '\1' || chr(160), 'g')
    || ',' || lpad(mod(a, 100)::text, 2, '0');
end $_$;


--
-- Name: owns_books(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.owns_books() RETURNS boolean
    LANGUAGE sql STABLE
    AS $$
  select pg_catalog.pg_has_role(session_user, 'postgres', 'MEMBER')
$$;


--
-- Name: pay_by_slip(bigint, text, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.pay_by_slip(p_serial bigint, p_code text, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare s record; m varnel.money%rowtype; here timestamp;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  select * into s from varnel.slip(p_serial, p_code);
  if s.o_state = 'owed' then
    select * into m from varnel.money where key = s.o_payout_key for update;
    if found then
      here := varnel.books_now();
      insert into varnel.history (den, vremya, vid, serial, fio, vyplata, zapis, kassir, action)
        values (here::date, to_char(here, 'HH24:MI:SS'), 'Выплата', m.serial, m.fio, m.summa,
          m.key, session_user, p_action);
      delete from varnel.money where key = m.key;
      return;
    end if;
    -- paid at another counter meanwhile, or its result undone: as the books now stand
    select * into s from varnel.slip(p_serial, p_code);
  end if;
  raise exception '%', varnel.slip_refusal(p_serial, s) using errcode = 'VR001';
end $$;


--
-- Name: pay_out(bigint, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.pay_out(p_payout bigint, p_action uuid) RETURNS boolean
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare m varnel.money%rowtype; here timestamp; slipped boolean;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  select * into m from varnel.money where key = p_payout for update;
  if not found then return false; end if;
  here := varnel.books_now();
  -- a bet with a slip is paid by the slip; by name, for a lost slip, only by a manager
  slipped := exists (select from varnel.history h where h.serial = m.serial
    and rtrim(h.vid) = 'Ставка' and h.kod is not null);
  if slipped and not varnel.may_undo() then
    raise exception 'Этот выигрыш выплачивается по квитанции. Без квитанции (если клиент её потерял) его выплачивает менеджер.' using errcode = 'VR001'; end if;
  insert into varnel.history (den, vremya, vid, serial, fio, vyplata, zapis, kassir, action,
      result)
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Выплата', m.serial, m.fio, m.summa, m.key,
      session_user, p_action, case when slipped then 'без квитанции' end);
  delete from varnel.money where key = p_payout;
  return true;
end $$;


--
-- Name: payout_sum(integer, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.payout_sum(p_number integer, name text) RETURNS double precision
    LANGUAGE plpgsql STABLE
    AS $$
declare total float8 := 0; b record;
begin
  for b in select summa, koeficient from varnel.priem
      where (number = p_number or (p_number is null and number is null)) and result = name
      order by key loop
    total := varnel.stored(total + varnel.bet_payout(b.summa::float8, b.koeficient::float8)::float8, 4);
  end loop;
  return total;
end $$;


--
-- Name: revoke_bet(bigint, integer, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.revoke_bet(p_bet bigint, p_number integer, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare
  here timestamp; c varnel.compit%rowtype; b varnel.priem%rowtype;
  minutes bigint; ago float8; o integer; s float8; owed numeric;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  -- the event first, then the bet, as a settlement holds them
  select * into c from varnel.compit
    where (number = p_number or (p_number is null and number is null)) order by key limit 1
    for update;
  if not found then raise exception 'Ставку нельзя отменить: её событие уже рассчитано.' using errcode = 'VR001'; end if;
  select * into b from varnel.priem where key = p_bet for update;
  if not found or b.number is distinct from p_number then
    raise exception 'Ставку нельзя отменить: её уже нет в книгах (её отменили на другой кассе).' using errcode = 'VR001'; end if;
  here := varnel.books_now();
  if c.date is null or not here::date < c.date then
    raise exception 'Ставку нельзя отменить: приём ставок на её событие закончен.' using errcode = 'VR001'; end if;
  if not varnel.may_undo() then
    select l.otmena_min into minutes from varnel.limits l order by l.key limit 1;
    if minutes is null then raise exception 'Кассир не может отменять ставки: время на отмену ставки кассиром не установлено. Отменить её может менеджер.' using errcode = 'VR001'; end if;
    -- the bet's age when the revocation acts, as the history's guard reads it
    select extract(epoch from clock_timestamp() - min(h.written)) / 60 into ago
      from varnel.history h
      where (h.number = b.number or (b.number is null and h.number is null))
        and h.serial = b.serial and rtrim(h.vid) = 'Ставка';
    if ago is null then raise exception 'Кассир не может отменить эту ставку: время её приёма неизвестно. Отменить её может менеджер.' using errcode = 'VR001'; end if;
    if ago > minutes then raise exception '%', format('Слишком поздно: кассир может отменить ставку в течение %s мин. после приёма, а эта принята %s мин. назад. Отменить её может менеджер.', minutes,
      floor(ago)::bigint) using errcode = 'VR001'; end if;
  end if;
  o := case b.result when c.kom1 then 1 when c.kom2 then 2 when 'Ничья' then 3 end;
  if o is null then raise exception '%', format('Ставку нельзя отменить: её исход «%s» не назван у события.', b.result) using errcode = 'VR001'; end if;
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
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Отзыв', b.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, b.result, b.summa,
      b.koeficient, b.fio, b.serial, b.key, session_user, p_action);
  delete from varnel.priem where key = p_bet;
end $$;


--
-- Name: round_bits(numeric, integer); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.round_bits(n numeric, keep integer, OUT q numeric, OUT shift integer) RETURNS record
    LANGUAGE plpgsql IMMUTABLE STRICT
    AS $$
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


--
-- Name: seal(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.seal() RETURNS bigint
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ declare c record; upto xid8; r record; n bigint; h text; today date; links bigint[] := '{}'; keys bigint[] := '{}'; hashes text[] := '{}'; begin if current_setting('transaction_isolation') <> 'read committed' or not pg_try_advisory_xact_lock(130160903742828) then return 0; end if; select * into c from varnel.chain; upto := pg_snapshot_xmin(pg_current_snapshot()); today := (clock_timestamp() at time zone coalesce((select s.time_zone from varnel.settings s limit 1), 'UTC'))::date; if c.day is distinct from today then insert into varnel.digests (records, head, why) values (c.records, c.head, 'день'); update varnel.chain set day = today; end if; n := c.records; h := c.head; for r in select x.key, ';' || octet_length(coalesce(to_char(x.den, 'YYYYMMDD'), '')) || ':' || coalesce(to_char(x.den, 'YYYYMMDD'), '') || ';' || octet_length(coalesce(rtrim(x.vremya, ' '), '')) || ':' || coalesce(rtrim(x.vremya, ' '), '') || ';' || octet_length(coalesce(rtrim(x.vid, ' '), '')) || ':' || coalesce(rtrim(x.vid, ' '), '') || ';' || octet_length(coalesce(trim_scale(x.serial::numeric)::text, '')) || ':' || coalesce(trim_scale(x.serial::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.zapis::numeric)::text, '')) || ':' || coalesce(trim_scale(x.zapis::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.number::numeric)::text, '')) || ':' || coalesce(trim_scale(x.number::numeric)::text, '') || ';' || octet_length(coalesce(to_char(x.date, 'YYYYMMDD'), '')) || ':' || coalesce(to_char(x.date, 'YYYYMMDD'), '') || ';' || octet_length(coalesce(rtrim(x.kom1, ' '), '')) || ':' || coalesce(rtrim(x.kom1, ' '), '') || ';' || octet_length(coalesce(rtrim(x.kom2, ' '), '')) || ':' || coalesce(rtrim(x.kom2, ' '), '') || ';' || octet_length(coalesce(trim_scale(x.koef_1::numeric)::text, '')) || ':' || coalesce(trim_scale(x.koef_1::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.koef_2::numeric)::text, '')) || ':' || coalesce(trim_scale(x.koef_2::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.koef_n::numeric)::text, '')) || ':' || coalesce(trim_scale(x.koef_n::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.summ_1::numeric)::text, '')) || ':' || coalesce(trim_scale(x.summ_1::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.summ_2::numeric)::text, '')) || ':' || coalesce(trim_scale(x.summ_2::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.summ_n::numeric)::text, '')) || ':' || coalesce(trim_scale(x.summ_n::numeric)::text, '') || ';' || octet_length(coalesce(rtrim(x.result, ' '), '')) || ':' || coalesce(rtrim(x.result, ' '), '') || ';' || octet_length(coalesce(trim_scale(x.summa::numeric)::text, '')) || ':' || coalesce(trim_scale(x.summa::numeric)::text, '') || ';' || octet_length(coalesce(trim_scale(x.koeficient::numeric)::text, '')) || ':' || coalesce(trim_scale(x.koeficient::numeric)::text, '') || ';' || octet_length(coalesce(rtrim(x.fio, ' '), '')) || ':' || coalesce(rtrim(x.fio, ' '), '') || ';' || octet_length(coalesce(trim_scale(x.vyplata::numeric)::text, '')) || ':' || coalesce(trim_scale(x.vyplata::numeric)::text, '') || ';' || octet_length(coalesce(rtrim(x.kassir, ' '), '')) || ':' || coalesce(rtrim(x.kassir, ' '), '') || ';' || octet_length(coalesce(encode(sha256(convert_to(nullif(rtrim(x.kod, ' '), ''), 'UTF8')), 'hex'), '')) || ':' || coalesce(encode(sha256(convert_to(nullif(rtrim(x.kod, ' '), ''), 'UTF8')), 'hex'), '') as form from varnel.history x where x.xact >= c.below and x.xact < upto and not exists (select from varnel.seals s where s.key = x.key) order by x.key loop n := n + 1; h := encode(sha256(convert_to(h || n::text || r.form, 'UTF8')), 'hex'); links := links || n; keys := keys || r.key; hashes := hashes || h; end loop; if n > c.records then insert into varnel.seals (link, key, hash) select * from unnest(links, keys, hashes); update varnel.chain set records = n, head = h, below = greatest(c.below, upto), sealed = clock_timestamp(); end if; return n - c.records; end $$;


--
-- Name: set_limits(numeric, numeric, numeric, numeric, bigint, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare here timestamp; l varnel.limits%rowtype;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.may_undo() then raise exception 'Лимиты устанавливает только менеджер.' using errcode = 'VR001'; end if;
  -- (NaN is no number at or above zero, as the program compares doubles)
  if p_min < 0 or p_max < 0 or p_payout < 0 or p_liability < 0 or 'NaN' in (p_min, p_max,
      p_payout, p_liability) then
    raise exception 'Лимит не может быть меньше нуля.' using errcode = 'VR001'; end if;
  if p_minutes < 0 then raise exception 'Время отмены ставки не может быть меньше нуля.' using errcode = 'VR001'; end if;
  if p_min > p_max then raise exception 'Наименьшая ставка больше наибольшей.' using errcode = 'VR001'; end if;
  l.stavka_min := varnel.fit(p_min::float8, 4, 'Поле «Наименьшая ставка» (STAVKA_MIN): Значение «%s» не помещается в поле STAVKA_MIN таблицы «LIMITS.DBF» (19 знаков).');
  l.stavka_max := varnel.fit(p_max::float8, 4, 'Поле «Наибольшая ставка» (STAVKA_MAX): Значение «%s» не помещается в поле STAVKA_MAX таблицы «LIMITS.DBF» (19 знаков).');
  l.vypl_max := varnel.fit(p_payout::float8, 4, 'Поле «Наибольшая выплата по ставке» (VYPL_MAX): Значение «%s» не помещается в поле VYPL_MAX таблицы «LIMITS.DBF» (19 знаков).');
  l.risk_max := varnel.fit(p_liability::float8, 4, 'Поле «Наибольшая выплата по исходу» (RISK_MAX): Значение «%s» не помещается в поле RISK_MAX таблицы «LIMITS.DBF» (19 знаков).');
  l.otmena_min := varnel.fit_whole(p_minutes, 9, 'Поле «Отмена кассиром, мин» (OTMENA_MIN): Значение «%s» не помещается в поле OTMENA_MIN таблицы «LIMITS.DBF» (9 знаков).');
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
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Лимиты', l.stavka_min, l.stavka_max,
      l.vypl_max, l.risk_max, l.otmena_min, session_user, p_action);
end $$;


--
-- Name: settle(bigint, text, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.settle(p_event bigint, p_winner text, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare here timestamp; c varnel.compit%rowtype;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  if not varnel.may_settle() then raise exception 'Вводить события и результаты на этих книгах может только менеджер. Владелец книг может разрешить это кассирам: varnel-newdesk --server … --cashiers-settle yes.' using errcode = 'VR001'; end if;
  select * into c from varnel.compit where key = p_event for update;
  if not found then raise exception 'event gone' using errcode = 'VR002'; end if;
  if p_winner is null or p_winner not in (c.kom1, c.kom2, 'Ничья') then
    raise exception '%', format('Результат не записан: у события нет исхода «%s».', p_winner) using errcode = 'VR001'; end if;
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
          else varnel.fit(payout::float8, 4, 'Поле «Сумма выплаты» (SUMMA): Значение «%s» не помещается в поле SUMMA таблицы «MONEY.DBF» (19 знаков).') end, serial
        from bet where paid is not null)
  insert into varnel.history (den, vremya, vid, number, result, summa, koeficient, fio, serial,
      vyplata, zapis, kassir)
    select here::date, to_char(here, 'HH24:MI:SS'),
      case when paid is null then 'Проигрыш' else 'Выигрыш' end, number, result, summa, koeficient, fio,
      serial, payout, varnel.fit_whole(paid, 9, 'Поле «Запись» (ZAPIS): Значение «%s» не помещается в поле ZAPIS таблицы «HISTORY.DBF» (9 знаков).'), session_user
    from bet order by key;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, zapis, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Результат', c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, p_winner, c.key, session_user,
      p_action);
  delete from varnel.priem where (number = c.number or (c.number is null and number is null));
  delete from varnel.compit where key = p_event;
end $$;


--
-- Name: slip(bigint, text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.slip(p_serial bigint, p_code text, OUT o_state text, OUT o_fio text, OUT o_number integer, OUT o_date date, OUT o_kom1 text, OUT o_kom2 text, OUT o_result text, OUT o_summa numeric, OUT o_koef numeric, OUT o_payout numeric, OUT o_when text, OUT o_kassir text, OUT o_payout_key bigint) RETURNS record
    LANGUAGE plpgsql STABLE SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare b varnel.history%rowtype; h varnel.history%rowtype;
begin
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  o_state := 'unknown';
  select * into b from varnel.history where serial = p_serial and rtrim(vid) = 'Ставка'
    order by key desc limit 1;
  if not found or b.kod is null or not varnel.code_matches(coalesce(p_code, ''), b.kod) then
    return; end if;
  o_fio := rtrim(b.fio); o_number := b.number; o_date := b.date; o_kom1 := rtrim(b.kom1);
  o_kom2 := rtrim(b.kom2); o_result := rtrim(b.result); o_summa := b.summa;
  o_koef := b.koeficient; o_payout := varnel.bet_payout(b.summa::float8, b.koeficient::float8);
  select * into h from varnel.history where serial = p_serial and key > b.key
      and rtrim(vid) in ('Выигрыш', 'Проигрыш', 'Выплата', 'Отзыв', 'Возврат')
    order by key desc limit 1;
  if not found or rtrim(h.vid) = 'Возврат' then o_state := 'open';
  elsif rtrim(h.vid) = 'Проигрыш' then o_state := 'lost';
  elsif rtrim(h.vid) = 'Отзыв' then o_state := 'revoked';
  elsif rtrim(h.vid) = 'Выплата' then
    o_state := 'paid';
    o_when := to_char(h.den, 'DD.MM.YYYY') || ' в ' || rtrim(h.vremya);
    o_kassir := coalesce(nullif(rtrim(h.kassir), ''), 'не назван');
  else
    o_payout := h.vyplata;
    select m.key into o_payout_key from varnel.money m where m.serial = p_serial
      order by m.key limit 1;
    o_state := case when o_payout_key is null then 'unknown' else 'owed' end;
  end if;
end $$;


--
-- Name: slip_copied(bigint, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.slip_copied(p_serial bigint, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare here timestamp := varnel.books_now();
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  if not exists (select from varnel.history where serial = p_serial and rtrim(vid) = 'Ставка') then
    raise exception 'Такой квитанции нет: проверьте номер ставки и код выплаты.' using errcode = 'VR001'; end if;
  insert into varnel.history (den, vremya, vid, serial, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Копия', p_serial, session_user, p_action);
end $$;


--
-- Name: slip_refusal(bigint, record); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.slip_refusal(p_serial bigint, s record) RETURNS text
    LANGUAGE plpgsql IMMUTABLE
    AS $$
begin
  return case s.o_state
    when 'paid' then format('Выигрыш по квитанции № %s уже выплачен %s, кассир %s.', p_serial, s.o_when, s.o_kassir)
    when 'lost' then format('Ставка по квитанции № %s не выиграла: выплаты по ней нет.', p_serial)
    when 'open' then format('Результат события ставки по квитанции № %s ещё не введён: выплаты пока нет.', p_serial)
    when 'revoked' then format('Ставка по квитанции № %s отозвана, ставка возвращена: выплаты по ней нет.', p_serial)
    else 'Такой квитанции нет: проверьте номер ставки и код выплаты.' end;
end $$;


--
-- Name: stored(double precision, integer); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.stored(x double precision, d integer) RETURNS double precision
    LANGUAGE sql IMMUTABLE STRICT
    AS $$ select varnel.decimal(x, d)::float8 $$;


--
-- Name: take_bet(bigint, integer, integer, boolean, text, numeric, numeric, text, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.take_bet(p_event bigint, p_number integer, p_outcome integer, p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid, OUT o_key bigint, OUT o_serial bigint) RETURNS record
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare
  here timestamp;
  c varnel.compit%rowtype;
  name text; shown numeric; s float8; k float8; owed float8; why text;
  sums float8[]; koefs float8[]; entry float8[]; own float8; others float8; i integer;
  written numeric[];
  b varnel.priem%rowtype;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.is_operator() then raise exception 'Это действие с книгами доступно только их операторам.' using errcode = 'VR001'; end if;
  perform varnel.fit_text(p_fio, 50, 'FIO', '«Ф.И.О.» (FIO)', 'Поле «Ф.И.О.» (FIO): Текст длиннее 50 знаков.');
  if p_outcome is null or p_outcome not between 1 and 3 then
    raise exception '%', format('Ставка не записана: у события нет исхода «%s» (исходы — 1, 2 и 3).', coalesce(p_outcome::text, '')) using errcode = 'VR001'; end if;
  -- the stake as its column keeps it, as the program's file rounds it: nothing is no stake
  s := p_stake::float8;
  if s is null or s = 'NaN' or not s > 0 or (s < 1e20 and not varnel.decimal(s, 4) > 0) then
    raise exception 'Неверная сумма ставки !!!' using errcode = 'VR001'; end if;
  select * into c from varnel.compit where key = p_event for update;
  if not found or c.number is distinct from p_number then
    raise exception 'event gone' using errcode = 'VR002'; end if;
  here := varnel.books_now();
  shown := (array[c.koef_1, c.koef_2, c.koef_n])[p_outcome];
  if round(p_koef, 11) is distinct from shown then
    raise exception '%', coalesce(shown::text, '') using errcode = 'VR003'; end if;
  if c.date is null or not here::date < c.date then
    raise exception 'Прием ставок на это событие закончен !!!' using errcode = 'VR001'; end if;
  if shown is null then raise exception 'Пустое значение нельзя прочитать как число.' using errcode = 'VR001'; end if;
  name := (array[c.kom1, c.kom2, 'Ничья'])[p_outcome];
  s := varnel.stored(s, 4);
  k := shown::float8;
  owed := coalesce((array[c.vypl_1, c.vypl_2, c.vypl_n])[p_outcome]::float8,
    varnel.payout_sum(c.number, name));
  why := varnel.limits_refusal(s, k, owed, name);
  if why is not null then raise exception '%', why using errcode = 'VR001'; end if;

  insert into varnel.priem (number, result, summa, koeficient, fio)
    values (c.number, name, varnel.fit(p_stake::float8, 4, 'Поле «Сумма» (SUMMA): Значение «%s» не помещается в поле SUMMA таблицы «PRIEM.DBF» (19 знаков).'), shown, p_fio)
    returning * into b;
  sums := array[c.summ_1::float8, c.summ_2::float8, c.summ_n::float8];
  sums[p_outcome] := sums[p_outcome] + s;
  koefs := array[c.koef_1::float8, c.koef_2::float8, c.koef_n::float8];
  -- a blank the rule would read is no number
  if sums[p_outcome] is null or (p_adjust and (c.koef_1 is null or c.koef_2 is null
      or c.koef_n is null or c.summ_1 is null or c.summ_2 is null or c.summ_n is null)) then
    raise exception 'Пустое значение нельзя прочитать как число.' using errcode = 'VR001'; end if;
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
  written := array[varnel.fit(koefs[1], 11, 'Поле «К-т на Команду 1» (KOEF_1): Значение «%s» не помещается в поле KOEF_1 таблицы «COMPIT.DBF» (19 знаков).'),
    varnel.fit(koefs[2], 11, 'Поле «К-т на Команду 2» (KOEF_2): Значение «%s» не помещается в поле KOEF_2 таблицы «COMPIT.DBF» (19 знаков).'), varnel.fit(koefs[3], 11, 'Поле «К-т на Ничью» (KOEF_N): Значение «%s» не помещается в поле KOEF_N таблицы «COMPIT.DBF» (19 знаков).'),
    varnel.fit(sums[p_outcome], 4,
      (array['Поле «Сумма (1)» (SUMM_1): Значение «%s» не помещается в поле SUMM_1 таблицы «COMPIT.DBF» (19 знаков).', 'Поле «Сумма (2)» (SUMM_2): Значение «%s» не помещается в поле SUMM_2 таблицы «COMPIT.DBF» (19 знаков).', 'Поле «Сумма (Н)» (SUMM_N): Значение «%s» не помещается в поле SUMM_N таблицы «COMPIT.DBF» (19 знаков).'])[p_outcome]),
    varnel.fit(varnel.stored(owed + varnel.bet_payout(s, k)::float8, 4), 4,
      (array['Поле «Выплата (1)» (VYPL_1): Значение «%s» не помещается в поле VYPL_1 таблицы «COMPIT.DBF» (19 знаков).', 'Поле «Выплата (2)» (VYPL_2): Значение «%s» не помещается в поле VYPL_2 таблицы «COMPIT.DBF» (19 знаков).', 'Поле «Выплата (Н)» (VYPL_N): Значение «%s» не помещается в поле VYPL_N таблицы «COMPIT.DBF» (19 знаков).'])[p_outcome])];
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
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Ставка', c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, b.result, b.summa,
      b.koeficient, b.fio, varnel.fit_whole(b.serial, 9, 'Поле «№ ставки» (SERIAL): Значение «%s» не помещается в поле SERIAL таблицы «HISTORY.DBF» (9 знаков).'),
      varnel.fit_whole(b.key, 9, 'Поле «Запись» (ZAPIS): Значение «%s» не помещается в поле ZAPIS таблицы «HISTORY.DBF» (9 знаков).'), session_user, p_action,
      nullif(p_seal, ''));
  o_key := b.key;
  o_serial := b.serial;
end $$;


--
-- Name: two_to(integer); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.two_to(k integer) RETURNS numeric
    LANGUAGE sql IMMUTABLE STRICT
    AS $$
  select (1::bigint << least(k, 62))::numeric * (1::bigint << least(greatest(k - 62, 0), 62))::numeric
    * (1::bigint << greatest(k - 124, 0))::numeric
$$;


--
-- Name: undo_result(bigint, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.undo_result(p_result bigint, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$
declare
  here timestamp; r varnel.history%rowtype; h varnel.history%rowtype;
  c varnel.compit%rowtype; plan bigint[] := '{}'; placed bigint; payouts bigint[]; taken integer;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < clock_timestamp() - interval '20 milliseconds';
  if not varnel.may_undo() then raise exception 'Отменять результат может только менеджер.' using errcode = 'VR001'; end if;
  -- (the lock a counter takes before it plans an undo, and then the hold of the result)
  perform pg_advisory_xact_lock(hashtext('varnel undo'), (p_result % 2147483647)::integer);
  perform varnel.hold('undo ' || p_result);
  select * into r from varnel.history where key = p_result;
  if not found or rtrim(r.vid) <> 'Результат' then
    raise exception '%', format('Результат нельзя отменить: запись %s истории — не ввод результата.', p_result + 1) using errcode = 'VR001'; end if;
  if exists (select from varnel.history where key > p_result and serial = p_result + 1
      and rtrim(vid) = 'Отмена') then
    raise exception 'Результат нельзя отменить: он уже отменён.' using errcode = 'VR001'; end if;
  select * into c from varnel.compit
    where (number = r.number or (r.number is null and number is null)) order by key limit 1;
  if found then raise exception '%', format('Отмена невозможна: в книгах снова событие № %s «%s — %s»', c.number, c.kom1, c.kom2)
    using errcode = 'VR001'; end if;
  -- its bets: the records of its number just before it, written with it
  for h in select * from varnel.history
      where (number = r.number or (r.number is null and number is null)) and key < p_result
        and xact = r.xact
      order by key desc loop
    exit when rtrim(h.vid) not in ('Выигрыш', 'Проигрыш');
    plan := h.key || plan;
  end loop;
  select coalesce(array_agg(zapis), '{}') into payouts from varnel.history
    where key = any(plan) and rtrim(vid) = 'Выигрыш';
  perform from varnel.money where key = any(payouts) for update;
  for h in select * from varnel.history where key = any(plan) and rtrim(vid) = 'Выигрыш' loop
    if exists (select from varnel.history x where x.key > p_result and x.serial = h.serial
        and rtrim(x.vid) = 'Выплата') then
      raise exception '%', format('Результат нельзя отменить: выигрыш клиента «%s» (%s) выплачен.', h.fio, h.vyplata) using errcode = 'VR001'; end if;
    if not exists (select from varnel.money m where m.key = h.zapis
        and m.fio is not distinct from h.fio and m.summa = h.vyplata) then
      raise exception '%', format('Результат нельзя отменить: выигрыш клиента «%s» (%s) уже нет среди невыплаченных.', h.fio, h.vyplata) using errcode = 'VR001'; end if;
  end loop;

  here := varnel.books_now();
  insert into varnel.compit (number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n)
    values (r.number, r.date, r.kom1, r.kom2, r.koef_1, r.koef_2, r.koef_n, r.summ_1, r.summ_2,
      r.summ_n)
    returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, zapis, serial, kassir, action)
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Отмена', c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, r.result,
      varnel.fit_whole(c.key, 9, 'Поле «Запись» (ZAPIS): Значение «%s» не помещается в поле ZAPIS таблицы «HISTORY.DBF» (9 знаков).'), p_result + 1, session_user, p_action);
  for h in select * from varnel.history where key = any(plan) order by key loop
    insert into varnel.priem (number, result, summa, koeficient, fio, serial)
      values (h.number, h.result, h.summa, h.koeficient, h.fio,
        coalesce(h.serial, nextval('varnel.serial')))
      returning key into placed;
    insert into varnel.history (den, vremya, vid, number, result, summa, koeficient, fio, serial,
        zapis, vyplata, kassir)
      values (here::date, to_char(here, 'HH24:MI:SS'), 'Возврат', h.number, h.result, h.summa,
        h.koeficient, h.fio, h.serial, varnel.fit_whole(placed, 9, 'Поле «Запись» (ZAPIS): Значение «%s» не помещается в поле ZAPIS таблицы «HISTORY.DBF» (9 знаков).'),
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
      vypl_n = varnel.decimal(varnel.payout_sum(c.number, 'Ничья'), 4)
    where key = c.key;
end $$;


--
-- Name: write_digest(text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.write_digest(p_why text) RETURNS TABLE(records bigint, head text)
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ begin if p_why is distinct from 'отчёт за день' then raise exception '%', 'Голову истории книги записывают только к отчёту за день.' using errcode = 'VR001'; end if; return query select d.records, d.head from varnel.digests d, varnel.chain c where d.records = c.records and d.head = c.head and d.why = p_why limit 1; if found then return; end if; return query insert into varnel.digests as d (records, head, why) select c.records, c.head, p_why from varnel.chain c returning d.records, d.head; end $$;


--
-- Name: chain; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.chain (
    records bigint NOT NULL,
    head text NOT NULL,
    below xid8 NOT NULL,
    day date,
    sealed timestamp with time zone NOT NULL
);


--
-- Name: records; Type: VIEW; Schema: varnel; Owner: -
--

CREATE VIEW varnel.records AS
 SELECT h.key,
    to_char((h.den)::timestamp with time zone, 'YYYYMMDD'::text) AS den,
    h.vremya,
    h.vid,
    h.serial,
    h.zapis,
    h.number,
    to_char((h.date)::timestamp with time zone, 'YYYYMMDD'::text) AS date,
    h.kom1,
    h.kom2,
    h.koef_1,
    h.koef_2,
    h.koef_n,
    h.summ_1,
    h.summ_2,
    h.summ_n,
    h.result,
    h.summa,
    h.koeficient,
    h.fio,
    h.vyplata,
    h.kassir,
    encode(sha256(convert_to(NULLIF(rtrim((h.kod)::text, ' '::text), ''::text), 'UTF8'::name)), 'hex'::text) AS kod
   FROM varnel.history h;


--
-- Name: seals; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.seals (
    link bigint NOT NULL,
    key bigint NOT NULL,
    hash text NOT NULL,
    sealed timestamp with time zone DEFAULT clock_timestamp() NOT NULL
);


--
-- Name: chained; Type: VIEW; Schema: varnel; Owner: -
--

CREATE VIEW varnel.chained AS
 SELECT s.link,
    s.hash,
    r.den,
    r.vremya,
    r.vid,
    r.serial,
    r.zapis,
    r.number,
    r.date,
    r.kom1,
    r.kom2,
    r.koef_1,
    r.koef_2,
    r.koef_n,
    r.summ_1,
    r.summ_2,
    r.summ_n,
    r.result,
    r.summa,
    r.koeficient,
    r.fio,
    r.vyplata,
    r.kassir,
    r.kod
   FROM (varnel.seals s
     JOIN varnel.records r ON ((r.key = s.key)));


--
-- Name: compit; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.compit (
    key bigint NOT NULL,
    number smallint,
    date date,
    kom1 character varying(25),
    kom2 character varying(25),
    koef_1 numeric(18,11),
    koef_2 numeric(18,11),
    koef_n numeric(18,11),
    summ_1 numeric(18,4),
    summ_2 numeric(18,4),
    summ_n numeric(18,4),
    vypl_1 numeric(18,4),
    vypl_2 numeric(18,4),
    vypl_n numeric(18,4),
    CONSTRAINT compit_kom1_check CHECK (varnel.in_1251((kom1)::text)),
    CONSTRAINT compit_kom2_check CHECK (varnel.in_1251((kom2)::text))
);


--
-- Name: compit_key_seq; Type: SEQUENCE; Schema: varnel; Owner: -
--

ALTER TABLE varnel.compit ALTER COLUMN key ADD GENERATED BY DEFAULT AS IDENTITY (
    SEQUENCE NAME varnel.compit_key_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: digests; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.digests (
    at timestamp with time zone DEFAULT clock_timestamp() NOT NULL,
    records bigint NOT NULL,
    head text NOT NULL,
    why text NOT NULL
);


--
-- Name: groups; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.groups (
    kind text NOT NULL,
    role name NOT NULL,
    CONSTRAINT groups_kind_check CHECK ((kind = ANY (ARRAY['kassa'::text, 'manager'::text])))
);


--
-- Name: history_key_seq; Type: SEQUENCE; Schema: varnel; Owner: -
--

ALTER TABLE varnel.history ALTER COLUMN key ADD GENERATED BY DEFAULT AS IDENTITY (
    SEQUENCE NAME varnel.history_key_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: holds; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.holds (
    what text NOT NULL,
    at timestamp with time zone NOT NULL
);


--
-- Name: limits; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.limits (
    key bigint NOT NULL,
    stavka_min numeric(18,4),
    stavka_max numeric(18,4),
    vypl_max numeric(18,4),
    risk_max numeric(18,4),
    otmena_min bigint
);


--
-- Name: limits_key_seq; Type: SEQUENCE; Schema: varnel; Owner: -
--

ALTER TABLE varnel.limits ALTER COLUMN key ADD GENERATED BY DEFAULT AS IDENTITY (
    SEQUENCE NAME varnel.limits_key_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: money; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.money (
    key bigint NOT NULL,
    fio character varying(50),
    summa numeric(18,4),
    serial bigint,
    CONSTRAINT money_fio_check CHECK (varnel.in_1251((fio)::text))
);


--
-- Name: money_key_seq; Type: SEQUENCE; Schema: varnel; Owner: -
--

ALTER TABLE varnel.money ALTER COLUMN key ADD GENERATED BY DEFAULT AS IDENTITY (
    SEQUENCE NAME varnel.money_key_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: serial; Type: SEQUENCE; Schema: varnel; Owner: -
--

CREATE SEQUENCE varnel.serial
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1;


--
-- Name: priem; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.priem (
    key bigint NOT NULL,
    number smallint,
    result character varying(25),
    summa numeric(18,4),
    koeficient numeric(18,11),
    fio character varying(50),
    serial bigint DEFAULT nextval('varnel.serial'::regclass) NOT NULL,
    CONSTRAINT priem_fio_check CHECK (varnel.in_1251((fio)::text)),
    CONSTRAINT priem_result_check CHECK (varnel.in_1251((result)::text))
);


--
-- Name: priem_key_seq; Type: SEQUENCE; Schema: varnel; Owner: -
--

ALTER TABLE varnel.priem ALTER COLUMN key ADD GENERATED BY DEFAULT AS IDENTITY (
    SEQUENCE NAME varnel.priem_key_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: settings; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.settings (
    time_zone text NOT NULL,
    cashiers_settle boolean NOT NULL
);


--
-- Name: tmp; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.tmp (
    key bigint NOT NULL,
    num smallint
);


--
-- Name: tmp_key_seq; Type: SEQUENCE; Schema: varnel; Owner: -
--

ALTER TABLE varnel.tmp ALTER COLUMN key ADD GENERATED BY DEFAULT AS IDENTITY (
    SEQUENCE NAME varnel.tmp_key_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: version; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.version (
    version integer NOT NULL,
    laid timestamp with time zone DEFAULT now() NOT NULL
);


--
-- Data for Name: chain; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.chain (records, head, below, day, sealed) FROM stdin;
9	d598aab6ff1ec4af2aecd0047b1c3b520f945010fd34faf1e3d393ae3cd1b450	9098	2026-12-10	2026-12-10 04:32:53.377652+00
\.


--
-- Data for Name: compit; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.compit (key, number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n, vypl_1, vypl_2, vypl_n) FROM stdin;
1	7	2030-06-01	Зенит	Спартак	1.90000000000	2.10000000000	3.20000000000	600.0000	525.0000	550.0000	290.0000	77.5000	210.0000
\.


--
-- Data for Name: digests; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.digests (at, records, head, why) FROM stdin;
2026-12-10 04:32:53.320995+00	0	0000000000000000000000000000000000000000000000000000000000000000	день
2026-12-10 04:32:53.372204+00	5	afbf3a9b14d2d5a917491d6c10d11266c31642022d14cccaa3f0fac5b56c3799	отчёт за день
\.


--
-- Data for Name: groups; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.groups (kind, role) FROM stdin;
kassa	varnel_books_kassa
manager	varnel_books_manager
\.


--
-- Data for Name: history; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.history (key, den, vremya, vid, serial, zapis, number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n, result, summa, koeficient, fio, vyplata, kassir, kod, action, written, xact) FROM stdin;
1	2026-12-10	04:32:53	Событие	\N	1	7	2030-06-01	Зенит	Спартак	1.90000000000	2.10000000000	3.20000000000	500.0000	500.0000	500.0000	\N	\N	\N	\N	\N	postgres	\N	\N	2026-12-10 04:32:53.328628+00	9089
2	2026-12-10	04:32:53	Событие	\N	2	9	2030-06-02	Динамо	Торпедо	2.50000000000	2.40000000000	3.10000000000	500.0000	500.0000	500.0000	\N	\N	\N	\N	\N	postgres	\N	\N	2026-12-10 04:32:53.336149+00	9090
3	2026-12-10	04:32:53	Лимиты	\N	15	\N	\N	\N	\N	\N	\N	\N	10.0000	5000.0000	100000.0000	\N	\N	\N	\N	\N	postgres	\N	\N	2026-12-10 04:32:53.341304+00	9091
4	2026-12-10	04:32:53	Ставка	1	1	7	2030-06-01	Зенит	Спартак	1.90000000000	2.10000000000	3.20000000000	600.0000	500.0000	500.0000	Зенит	100.0000	1.90000000000	Иванов Иван	\N	postgres	\N	\N	2026-12-10 04:32:53.346887+00	9092
5	2026-12-10	04:32:53	Ставка	2	2	7	2030-06-01	Зенит	Спартак	1.90000000000	2.10000000000	3.20000000000	600.0000	500.0000	550.0000	Ничья	50.0000	3.20000000000	Петров Пётр	\N	postgres	ab12$27c19a14c9dd15d2c12131d8c90f618409fe3b5124858b2aa9ffdadf5fefa509	\N	2026-12-10 04:32:53.352805+00	9093
6	2026-12-10	04:32:53	Ставка	3	3	9	2030-06-02	Динамо	Торпедо	2.50000000000	2.40000000000	3.10000000000	500.0000	580.0000	500.0000	Торпедо	80.0000	2.40000000000	Сидоров Олег	\N	postgres	cd34$53b41e8aacfbc71fca0e3df8c027289807b8d41cb5bc385ac8c3117e0684ea24	\N	2026-12-10 04:32:53.358628+00	9094
7	2026-12-10	04:32:53	Выигрыш	3	1	9	\N	\N	\N	\N	\N	\N	\N	\N	\N	Торпедо	80.0000	2.40000000000	Сидоров Олег	272.0000	postgres	\N	\N	2026-12-10 04:32:53.360949+00	9095
8	2026-12-10	04:32:53	Результат	\N	2	9	2030-06-02	Динамо	Торпедо	2.50000000000	2.40000000000	3.10000000000	500.0000	580.0000	500.0000	Торпедо	\N	\N	\N	\N	postgres	\N	\N	2026-12-10 04:32:53.361581+00	9095
9	2026-12-10	04:32:53	Ставка	4	4	7	2030-06-01	Зенит	Спартак	1.90000000000	2.10000000000	3.20000000000	600.0000	525.0000	550.0000	Спартак	25.0000	2.10000000000	Слипова Анна	\N	postgres	\N	\N	2026-12-10 04:32:53.368492+00	9096
\.


--
-- Data for Name: holds; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.holds (what, at) FROM stdin;
limits	2026-12-10 04:32:53.340726+00
\.


--
-- Data for Name: limits; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.limits (key, stavka_min, stavka_max, vypl_max, risk_max, otmena_min) FROM stdin;
1	10.0000	5000.0000	\N	100000.0000	15
\.


--
-- Data for Name: money; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.money (key, fio, summa, serial) FROM stdin;
1	Сидоров Олег	272.0000	3
\.


--
-- Data for Name: priem; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.priem (key, number, result, summa, koeficient, fio, serial) FROM stdin;
1	7	Зенит	100.0000	1.90000000000	Иванов Иван	1
2	7	Ничья	50.0000	3.20000000000	Петров Пётр	2
4	7	Спартак	25.0000	2.10000000000	Слипова Анна	4
\.


--
-- Data for Name: seals; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.seals (link, key, hash, sealed) FROM stdin;
1	1	574c255b1e767b69bb97dc978887d65557a9172c7e122df638e5ac07b2f5db9f	2026-12-10 04:32:53.335133+00
2	2	d3d2d2e376ede208371996d95b363a9b3aa1852812cea005e90495fefbe31761	2026-12-10 04:32:53.35798+00
3	3	de0c1cdeb775ee79202d00def646bb9b0890fa170f848ecd8f4dfc1f04aef0e7	2026-12-10 04:32:53.358001+00
4	4	8f75f47c92e6fb4a663e858a3ca783b7b7e462475ac623f9254e7d68f25c3451	2026-12-10 04:32:53.358003+00
5	5	afbf3a9b14d2d5a917491d6c10d11266c31642022d14cccaa3f0fac5b56c3799	2026-12-10 04:32:53.358005+00
6	6	93c0b8bd6cd3f805ea822e851f81336d56515e568017014de0b36e3877efa077	2026-12-10 04:32:53.377599+00
7	7	ef3b82c7a118272023ea4b0a533ed85955f7d154943becf6e9237719a4770f07	2026-12-10 04:32:53.377617+00
8	8	68420c241d6dab3b1802c5313a14c908868a567dee23c58d99c6445310155ffa	2026-12-10 04:32:53.37762+00
9	9	d598aab6ff1ec4af2aecd0047b1c3b520f945010fd34faf1e3d393ae3cd1b450	2026-12-10 04:32:53.377621+00
\.


--
-- Data for Name: settings; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.settings (time_zone, cashiers_settle) FROM stdin;
Etc/UTC	t
\.


--
-- Data for Name: tmp; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.tmp (key, num) FROM stdin;
\.


--
-- Data for Name: version; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.version (version, laid) FROM stdin;
10	2026-12-10 04:32:52.950714+00
\.


--
-- Name: compit_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.compit_key_seq', 2, true);


--
-- Name: history_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.history_key_seq', 9, true);


--
-- Name: limits_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.limits_key_seq', 1, true);


--
-- Name: money_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.money_key_seq', 1, true);


--
-- Name: priem_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.priem_key_seq', 4, true);


--
-- Name: serial; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.serial', 4, true);


--
-- Name: tmp_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.tmp_key_seq', 1, false);


--
-- Name: compit compit_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.compit
    ADD CONSTRAINT compit_pkey PRIMARY KEY (key);


--
-- Name: groups groups_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.groups
    ADD CONSTRAINT groups_pkey PRIMARY KEY (kind);


--
-- Name: groups groups_role_key; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.groups
    ADD CONSTRAINT groups_role_key UNIQUE (role);


--
-- Name: history history_action_key; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.history
    ADD CONSTRAINT history_action_key UNIQUE (action);


--
-- Name: history history_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.history
    ADD CONSTRAINT history_pkey PRIMARY KEY (key);


--
-- Name: holds holds_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.holds
    ADD CONSTRAINT holds_pkey PRIMARY KEY (what);


--
-- Name: limits limits_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.limits
    ADD CONSTRAINT limits_pkey PRIMARY KEY (key);


--
-- Name: money money_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.money
    ADD CONSTRAINT money_pkey PRIMARY KEY (key);


--
-- Name: priem priem_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.priem
    ADD CONSTRAINT priem_pkey PRIMARY KEY (key);


--
-- Name: priem priem_serial_key; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.priem
    ADD CONSTRAINT priem_serial_key UNIQUE (serial);


--
-- Name: seals seals_key_key; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.seals
    ADD CONSTRAINT seals_key_key UNIQUE (key);


--
-- Name: seals seals_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.seals
    ADD CONSTRAINT seals_pkey PRIMARY KEY (link);


--
-- Name: tmp tmp_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.tmp
    ADD CONSTRAINT tmp_pkey PRIMARY KEY (key);


--
-- Name: history_by_den; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_den ON varnel.history USING btree (COALESCE(den, '-infinity'::date), key);


--
-- Name: history_by_fio; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_fio ON varnel.history USING btree (varnel.fold((fio)::text) COLLATE "C", key);


--
-- Name: history_by_kassir; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_kassir ON varnel.history USING btree (varnel.fold((kassir)::text) COLLATE "C", key);


--
-- Name: history_by_number; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_number ON varnel.history USING btree (COALESCE((number)::bigint, '-9223372036854775808'::bigint), key);


--
-- Name: history_by_serial; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_serial ON varnel.history USING btree (COALESCE(serial, '-9223372036854775808'::bigint), key);


--
-- Name: history_by_summa; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_summa ON varnel.history USING btree (COALESCE((summa)::numeric, '-Infinity'::numeric), key);


--
-- Name: history_by_vid; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_vid ON varnel.history USING btree (varnel.fold((vid)::text) COLLATE "C", key);


--
-- Name: history_by_vyplata; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_by_vyplata ON varnel.history USING btree (COALESCE((vyplata)::numeric, '-Infinity'::numeric), key);


--
-- Name: history_fio_part; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_fio_part ON varnel.history USING gin (varnel.fold((fio)::text) varnel.gin_trgm_ops);


--
-- Name: history_number; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_number ON varnel.history USING btree (number, key);


--
-- Name: history_serial; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_serial ON varnel.history USING btree (serial, key);


--
-- Name: history_xact; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_xact ON varnel.history USING btree (xact);


--
-- Name: money_serial; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX money_serial ON varnel.money USING btree (serial);


--
-- Name: priem_number; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX priem_number ON varnel.priem USING btree (number, key);


--
-- Name: compit changed; Type: TRIGGER; Schema: varnel; Owner: -
--

CREATE TRIGGER changed AFTER INSERT OR DELETE OR UPDATE OR TRUNCATE ON varnel.compit FOR EACH STATEMENT EXECUTE FUNCTION varnel.changed();


--
-- Name: history changed; Type: TRIGGER; Schema: varnel; Owner: -
--

CREATE TRIGGER changed AFTER INSERT OR DELETE OR UPDATE OR TRUNCATE ON varnel.history FOR EACH STATEMENT EXECUTE FUNCTION varnel.changed();


--
-- Name: money changed; Type: TRIGGER; Schema: varnel; Owner: -
--

CREATE TRIGGER changed AFTER INSERT OR DELETE OR UPDATE OR TRUNCATE ON varnel.money FOR EACH STATEMENT EXECUTE FUNCTION varnel.changed();


--
-- Name: priem changed; Type: TRIGGER; Schema: varnel; Owner: -
--

CREATE TRIGGER changed AFTER INSERT OR DELETE OR UPDATE OR TRUNCATE ON varnel.priem FOR EACH STATEMENT EXECUTE FUNCTION varnel.changed();


--
-- Name: history history_written; Type: TRIGGER; Schema: varnel; Owner: -
--

CREATE TRIGGER history_written BEFORE INSERT OR DELETE OR UPDATE ON varnel.history FOR EACH ROW WHEN ((CURRENT_USER <> 'varnel_books_operations'::name)) EXECUTE FUNCTION varnel.history_written();


--
-- Name: SCHEMA varnel; Type: ACL; Schema: -; Owner: -
--

GRANT USAGE ON SCHEMA varnel TO varnel_books_kassa;
GRANT USAGE ON SCHEMA varnel TO varnel_books_operations;
GRANT USAGE ON SCHEMA varnel TO varnel_books_sealer;


--
-- Name: TABLE history; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT ON TABLE varnel.history TO varnel_books_operations;
GRANT SELECT ON TABLE varnel.history TO varnel_books_sealer;


--
-- Name: COLUMN history.key; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(key) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.den; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(den) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.vremya; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(vremya) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.vid; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(vid) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.serial; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(serial) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.zapis; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(zapis) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.number; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(number) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.date; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(date) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.kom1; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(kom1) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.kom2; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(kom2) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.koef_1; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(koef_1) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.koef_2; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(koef_2) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.koef_n; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(koef_n) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.summ_1; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(summ_1) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.summ_2; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(summ_2) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.summ_n; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(summ_n) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.result; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(result) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.summa; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(summa) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.koeficient; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(koeficient) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.fio; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(fio) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.vyplata; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(vyplata) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.kassir; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(kassir) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.action; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(action) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.written; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(written) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: COLUMN history.xact; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT(xact) ON TABLE varnel.history TO varnel_books_kassa;


--
-- Name: FUNCTION enter_event(p_number integer, p_date date, p_kom1 text, p_kom2 text, p_koef_1 numeric, p_koef_2 numeric, p_koef_n numeric, p_summ_1 numeric, p_summ_2 numeric, p_summ_n numeric, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.enter_event(p_number integer, p_date date, p_kom1 text, p_kom2 text, p_koef_1 numeric, p_koef_2 numeric, p_koef_n numeric, p_summ_1 numeric, p_summ_2 numeric, p_summ_n numeric, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.enter_event(p_number integer, p_date date, p_kom1 text, p_kom2 text, p_koef_1 numeric, p_koef_2 numeric, p_koef_n numeric, p_summ_1 numeric, p_summ_2 numeric, p_summ_n numeric, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION pay_by_slip(p_serial bigint, p_code text, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.pay_by_slip(p_serial bigint, p_code text, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.pay_by_slip(p_serial bigint, p_code text, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION pay_out(p_payout bigint, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.pay_out(p_payout bigint, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.pay_out(p_payout bigint, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION revoke_bet(p_bet bigint, p_number integer, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.revoke_bet(p_bet bigint, p_number integer, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.revoke_bet(p_bet bigint, p_number integer, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION seal(); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.seal() FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.seal() TO varnel_books_kassa;
GRANT ALL ON FUNCTION varnel.seal() TO varnel_books_operations;


--
-- Name: FUNCTION set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION settle(p_event bigint, p_winner text, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.settle(p_event bigint, p_winner text, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.settle(p_event bigint, p_winner text, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION slip(p_serial bigint, p_code text, OUT o_state text, OUT o_fio text, OUT o_number integer, OUT o_date date, OUT o_kom1 text, OUT o_kom2 text, OUT o_result text, OUT o_summa numeric, OUT o_koef numeric, OUT o_payout numeric, OUT o_when text, OUT o_kassir text, OUT o_payout_key bigint); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.slip(p_serial bigint, p_code text, OUT o_state text, OUT o_fio text, OUT o_number integer, OUT o_date date, OUT o_kom1 text, OUT o_kom2 text, OUT o_result text, OUT o_summa numeric, OUT o_koef numeric, OUT o_payout numeric, OUT o_when text, OUT o_kassir text, OUT o_payout_key bigint) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.slip(p_serial bigint, p_code text, OUT o_state text, OUT o_fio text, OUT o_number integer, OUT o_date date, OUT o_kom1 text, OUT o_kom2 text, OUT o_result text, OUT o_summa numeric, OUT o_koef numeric, OUT o_payout numeric, OUT o_when text, OUT o_kassir text, OUT o_payout_key bigint) TO varnel_books_kassa;


--
-- Name: FUNCTION slip_copied(p_serial bigint, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.slip_copied(p_serial bigint, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.slip_copied(p_serial bigint, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION take_bet(p_event bigint, p_number integer, p_outcome integer, p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid, OUT o_key bigint, OUT o_serial bigint); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.take_bet(p_event bigint, p_number integer, p_outcome integer, p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid, OUT o_key bigint, OUT o_serial bigint) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.take_bet(p_event bigint, p_number integer, p_outcome integer, p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid, OUT o_key bigint, OUT o_serial bigint) TO varnel_books_kassa;


--
-- Name: FUNCTION undo_result(p_result bigint, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.undo_result(p_result bigint, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.undo_result(p_result bigint, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION write_digest(p_why text); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.write_digest(p_why text) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.write_digest(p_why text) TO varnel_books_kassa;
GRANT ALL ON FUNCTION varnel.write_digest(p_why text) TO varnel_books_operations;


--
-- Name: TABLE chain; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,UPDATE ON TABLE varnel.chain TO varnel_books_sealer;
GRANT SELECT ON TABLE varnel.chain TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.chain TO varnel_books_operations;


--
-- Name: TABLE records; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.records TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.records TO varnel_books_operations;


--
-- Name: TABLE seals; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT ON TABLE varnel.seals TO varnel_books_sealer;
GRANT SELECT ON TABLE varnel.seals TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.seals TO varnel_books_operations;


--
-- Name: TABLE chained; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.chained TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.chained TO varnel_books_operations;


--
-- Name: TABLE compit; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.compit TO varnel_books_kassa;
GRANT SELECT,INSERT,DELETE,UPDATE ON TABLE varnel.compit TO varnel_books_operations;


--
-- Name: SEQUENCE compit_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.compit_key_seq TO varnel_books_operations;


--
-- Name: TABLE digests; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT ON TABLE varnel.digests TO varnel_books_sealer;
GRANT SELECT ON TABLE varnel.digests TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.digests TO varnel_books_operations;


--
-- Name: TABLE groups; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.groups TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.groups TO varnel_books_operations;


--
-- Name: SEQUENCE history_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.history_key_seq TO varnel_books_operations;


--
-- Name: TABLE holds; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT,UPDATE ON TABLE varnel.holds TO varnel_books_operations;


--
-- Name: TABLE limits; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.limits TO varnel_books_kassa;
GRANT SELECT,INSERT,UPDATE ON TABLE varnel.limits TO varnel_books_operations;


--
-- Name: SEQUENCE limits_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.limits_key_seq TO varnel_books_operations;


--
-- Name: TABLE money; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.money TO varnel_books_kassa;
GRANT SELECT,INSERT,DELETE,UPDATE ON TABLE varnel.money TO varnel_books_operations;


--
-- Name: SEQUENCE money_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.money_key_seq TO varnel_books_operations;


--
-- Name: SEQUENCE serial; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.serial TO varnel_books_operations;


--
-- Name: TABLE priem; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.priem TO varnel_books_kassa;
GRANT SELECT,INSERT,DELETE,UPDATE ON TABLE varnel.priem TO varnel_books_operations;


--
-- Name: SEQUENCE priem_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.priem_key_seq TO varnel_books_operations;


--
-- Name: TABLE settings; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.settings TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.settings TO varnel_books_operations;
GRANT SELECT ON TABLE varnel.settings TO varnel_books_sealer;


--
-- Name: TABLE tmp; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.tmp TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.tmp TO varnel_books_operations;


--
-- Name: SEQUENCE tmp_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.tmp_key_seq TO varnel_books_operations;


--
-- Name: TABLE version; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.version TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.version TO varnel_books_operations;


--
-- PostgreSQL database dump complete
--

\unrestrict XPEVtAeq3OwxGCFtYhaoWmSdTKwe3fN2FP9jGGhAtuJpVg5A62V70XnDkaAal5O



-- The books' own settings of the database, which pg_dump leaves out.
do $$ begin execute format('alter database %I set search_path = varnel, public', current_database()); end $$;
do $$ begin execute format('alter database %I set idle_in_transaction_session_timeout = 30000', current_database()); execute format('alter database %I set lock_timeout = 5000', current_database()); end $$;
