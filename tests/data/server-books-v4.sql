-- Books laid out on a server by the program's fourth server layout (version 4: when each
-- history record was written, the books' settings, the first of the books' own operations), with
-- a few records and limits set: what varnel-newdesk --upgrade must bring to the current layout,
-- every record kept. Made from server-books-v3.sql upgraded by that program, then pg_dump
-- --schema=varnel --no-owner on a database named books: its groups, varnel_books_kassa,
-- varnel_books_manager and varnel_books_operations, are the cluster's and must be there before
-- it is loaded.
--
-- PostgreSQL database dump
--

\restrict CSog6x34m4YrJ815rwcWUoMTkzdS8v3cFofOVuwMCfUhKKolXaNKlMPDDQHXX8i

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
-- Name: changed(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.changed() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ begin perform pg_notify('varnel', tg_table_name); return null; end $$;


--
-- Name: history_written(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.history_written() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ declare here timestamp := now() at time zone coalesce((select s.time_zone from varnel.settings s limit 1), 'UTC'); begin if tg_op = 'INSERT' then new.written := now(); end if; if varnel.owns_books() then return coalesce(new, old); end if; if tg_op <> 'INSERT' then raise exception 'История книг не исправляется и не удаляется.' using errcode = 'VR001'; end if; if new.vid is null or rtrim(new.vid) not in ('Событие', 'Ставка', 'Выигрыш', 'Проигрыш', 'Результат', 'Выплата', 'Отмена', 'Возврат', 'Лимиты', 'Отзыв') then raise exception 'Записи истории такого вида (%) в книгах не бывает.', quote_literal(new.vid) using errcode = 'VR001'; end if; new.kassir := session_user; new.den := here::date; new.vremya := to_char(here, 'HH24:MI:SS'); if rtrim(new.vid) in ('Отмена', 'Возврат') and not varnel.may_undo() then raise exception 'Отменять результат может только менеджер.' using errcode = 'VR001'; end if; if rtrim(new.vid) = 'Лимиты' and not varnel.may_undo() then raise exception 'Лимиты устанавливает только менеджер.' using errcode = 'VR001'; end if; if rtrim(new.vid) in ('Событие', 'Результат') and not varnel.may_settle() then raise exception 'Вводить события и результаты на этих книгах может только менеджер.' using errcode = 'VR001'; end if; if rtrim(new.vid) = 'Отзыв' and not varnel.may_undo() and not exists (select from varnel.priem p join varnel.history b on b.number = p.number and b.serial = p.serial and rtrim(b.vid) = 'Ставка' where p.serial = new.serial and p.number = new.number and b.written >= now() - make_interval(mins => (select l.otmena_min::integer from varnel.limits l order by l.key limit 1))) then raise exception 'Кассир может отменить ставку только в течение времени после её приёма, которое установил владелец.' using errcode = 'VR001'; end if; return new; end $$;


--
-- Name: in_1251(text); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.in_1251(t text) RETURNS boolean
    LANGUAGE plpgsql IMMUTABLE STRICT
    AS $$ begin perform convert_to(t, 'WIN1251'); return true; exception when untranslatable_character or character_not_in_repertoire then return false; end $$;


--
-- Name: may_settle(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.may_settle() RETURNS boolean
    LANGUAGE sql STABLE
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ select varnel.may_undo() or coalesce((select s.cashiers_settle from varnel.settings s limit 1), false) $$;


--
-- Name: may_undo(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.may_undo() RETURNS boolean
    LANGUAGE sql STABLE
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ select varnel.owns_books() or exists (select from varnel.groups g where g.kind = 'manager' and pg_has_role(session_user, g.role, 'MEMBER')) $$;


--
-- Name: owns_books(); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.owns_books() RETURNS boolean
    LANGUAGE sql STABLE
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ select pg_has_role(session_user, n.nspowner, 'MEMBER') from pg_namespace n where n.nspname = 'varnel' $$;


--
-- Name: pay_out(bigint, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.pay_out(p_payout bigint, p_action uuid) RETURNS boolean
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ declare m varnel.money%rowtype; here timestamp := now() at time zone coalesce((select s.time_zone from varnel.settings s limit 1), 'UTC'); begin if not (varnel.owns_books() or exists (select from varnel.groups g where pg_has_role(session_user, g.role, 'MEMBER'))) then raise exception 'Выплачивает только оператор этих книг.' using errcode = 'VR001'; end if; select * into m from varnel.money where key = p_payout for update; if not found then return false; end if; insert into varnel.history (den, vremya, vid, serial, fio, vyplata, zapis, kassir, action) values (here::date, to_char(here, 'HH24:MI:SS'), 'Выплата', m.serial, m.fio, m.summa, m.key, session_user, p_action); delete from varnel.money where key = p_payout; return true; end $$;


--
-- Name: set_limits(numeric, numeric, numeric, numeric, bigint, uuid); Type: FUNCTION; Schema: varnel; Owner: -
--

CREATE FUNCTION varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'pg_catalog', 'pg_temp'
    AS $$ declare here timestamp := now() at time zone coalesce((select s.time_zone from varnel.settings s limit 1), 'UTC'); begin if not varnel.may_undo() then raise exception 'Лимиты устанавливает только менеджер.' using errcode = 'VR001'; end if; if p_min < 0 or p_max < 0 or p_payout < 0 or p_liability < 0 then raise exception 'Лимит не может быть меньше нуля.' using errcode = 'VR001'; end if; if p_minutes < 0 then raise exception 'Время отмены ставки не может быть меньше нуля.' using errcode = 'VR001'; end if; if p_min > p_max then raise exception 'Наименьшая ставка больше наибольшей.' using errcode = 'VR001'; end if; lock table varnel.limits in exclusive mode; if exists (select from varnel.limits) then update varnel.limits set stavka_min = p_min, stavka_max = p_max, vypl_max = p_payout, risk_max = p_liability, otmena_min = p_minutes where key = (select min(key) from varnel.limits); else insert into varnel.limits (stavka_min, stavka_max, vypl_max, risk_max, otmena_min) values (p_min, p_max, p_payout, p_liability, p_minutes); end if; insert into varnel.history (den, vremya, vid, summ_1, summ_2, vyplata, summ_n, zapis, kassir, action) values (here::date, to_char(here, 'HH24:MI:SS'), 'Лимиты', p_min, p_max, p_payout, p_liability, p_minutes, session_user, p_action); end $$;


SET default_tablespace = '';

SET default_table_access_method = heap;

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
-- Name: groups; Type: TABLE; Schema: varnel; Owner: -
--

CREATE TABLE varnel.groups (
    kind text NOT NULL,
    role name NOT NULL,
    CONSTRAINT groups_kind_check CHECK ((kind = ANY (ARRAY['kassa'::text, 'manager'::text])))
);


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
    action uuid,
    written timestamp with time zone,
    CONSTRAINT history_fio_check CHECK (varnel.in_1251((fio)::text)),
    CONSTRAINT history_kassir_check CHECK (varnel.in_1251((kassir)::text)),
    CONSTRAINT history_kom1_check CHECK (varnel.in_1251((kom1)::text)),
    CONSTRAINT history_kom2_check CHECK (varnel.in_1251((kom2)::text)),
    CONSTRAINT history_result_check CHECK (varnel.in_1251((result)::text)),
    CONSTRAINT history_vid_check CHECK (varnel.in_1251((vid)::text)),
    CONSTRAINT history_vremya_check CHECK (varnel.in_1251((vremya)::text))
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
    serial bigint,
    fio character varying(50),
    summa numeric(18,4),
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
    serial bigint DEFAULT nextval('varnel.serial'::regclass) NOT NULL,
    number smallint,
    result character varying(25),
    summa numeric(18,4),
    koeficient numeric(18,11),
    fio character varying(50),
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
-- Data for Name: compit; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.compit (key, number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n, vypl_1, vypl_2, vypl_n) FROM stdin;
1	7	2026-12-10	Зенит	Спартак	1.90000000000	2.10000000000	3.20000000000	600.0000	550.0000	500.0000	\N	\N	\N
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

COPY varnel.history (key, den, vremya, vid, serial, zapis, number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n, result, summa, koeficient, fio, vyplata, kassir, action, written) FROM stdin;
1	2026-12-01	10:00:00	Событие	\N	1	7	2026-12-10	Зенит	Спартак	2.00000000000	2.00000000000	3.00000000000	500.0000	500.0000	500.0000	\N	\N	\N	\N	\N	kassa1	\N	\N
2	2026-12-01	10:05:00	Ставка	1	1	7	\N	\N	\N	\N	\N	\N	\N	\N	\N	Зенит	100.0000	1.90000000000	Иванов Иван	\N	kassa1	\N	\N
3	2026-12-01	10:06:00	Ставка	2	2	7	\N	\N	\N	\N	\N	\N	\N	\N	\N	Ничья	50.0000	3.20000000000	Петров Пётр	\N	kassa1	\N	\N
4	2026-12-01	11:00:00	Выплата	3	1	\N	\N	\N	\N	\N	\N	\N	\N	\N	\N	\N	\N	\N	Сидоров Олег	80.0000	kassa1	\N	\N
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

COPY varnel.money (key, serial, fio, summa) FROM stdin;
1	3	Сидоров Олег	80.0000
\.


--
-- Data for Name: priem; Type: TABLE DATA; Schema: varnel; Owner: -
--

COPY varnel.priem (key, serial, number, result, summa, koeficient, fio) FROM stdin;
1	1	7	Зенит	100.0000	1.90000000000	Иванов Иван
2	2	7	Ничья	50.0000	3.20000000000	Петров Пётр
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
2	2026-12-08 15:03:29.853749+00
3	2026-12-08 17:11:01.120193+00
4	2026-12-08 20:35:31.096729+00
\.


--
-- Name: compit_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.compit_key_seq', 1, true);


--
-- Name: history_key_seq; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.history_key_seq', 4, true);


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

SELECT pg_catalog.setval('varnel.priem_key_seq', 2, true);


--
-- Name: serial; Type: SEQUENCE SET; Schema: varnel; Owner: -
--

SELECT pg_catalog.setval('varnel.serial', 3, true);


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
-- Name: tmp tmp_pkey; Type: CONSTRAINT; Schema: varnel; Owner: -
--

ALTER TABLE ONLY varnel.tmp
    ADD CONSTRAINT tmp_pkey PRIMARY KEY (key);


--
-- Name: history_number; Type: INDEX; Schema: varnel; Owner: -
--

CREATE INDEX history_number ON varnel.history USING btree (number, key);


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

CREATE TRIGGER history_written BEFORE INSERT OR DELETE OR UPDATE ON varnel.history FOR EACH ROW EXECUTE FUNCTION varnel.history_written();


--
-- Name: SCHEMA varnel; Type: ACL; Schema: -; Owner: -
--

GRANT USAGE ON SCHEMA varnel TO varnel_books_kassa;
GRANT USAGE ON SCHEMA varnel TO varnel_books_operations;


--
-- Name: FUNCTION pay_out(p_payout bigint, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.pay_out(p_payout bigint, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.pay_out(p_payout bigint, p_action uuid) TO varnel_books_kassa;


--
-- Name: FUNCTION set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid); Type: ACL; Schema: varnel; Owner: -
--

REVOKE ALL ON FUNCTION varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid) FROM PUBLIC;
GRANT ALL ON FUNCTION varnel.set_limits(p_min numeric, p_max numeric, p_payout numeric, p_liability numeric, p_minutes bigint, p_action uuid) TO varnel_books_manager;


--
-- Name: TABLE compit; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT,DELETE,UPDATE ON TABLE varnel.compit TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.compit TO varnel_books_operations;


--
-- Name: SEQUENCE compit_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.compit_key_seq TO varnel_books_kassa;
GRANT USAGE ON SEQUENCE varnel.compit_key_seq TO varnel_books_operations;


--
-- Name: TABLE groups; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.groups TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.groups TO varnel_books_operations;


--
-- Name: TABLE history; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT ON TABLE varnel.history TO varnel_books_kassa;
GRANT SELECT,INSERT ON TABLE varnel.history TO varnel_books_operations;


--
-- Name: SEQUENCE history_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.history_key_seq TO varnel_books_kassa;
GRANT USAGE ON SEQUENCE varnel.history_key_seq TO varnel_books_operations;


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

GRANT SELECT,INSERT,UPDATE ON TABLE varnel.money TO varnel_books_kassa;
GRANT SELECT,DELETE,UPDATE ON TABLE varnel.money TO varnel_books_operations;
GRANT DELETE ON TABLE varnel.money TO varnel_books_manager;


--
-- Name: SEQUENCE money_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.money_key_seq TO varnel_books_kassa;
GRANT USAGE ON SEQUENCE varnel.money_key_seq TO varnel_books_operations;


--
-- Name: SEQUENCE serial; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.serial TO varnel_books_kassa;
GRANT USAGE ON SEQUENCE varnel.serial TO varnel_books_operations;


--
-- Name: TABLE priem; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT,DELETE,UPDATE ON TABLE varnel.priem TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.priem TO varnel_books_operations;


--
-- Name: SEQUENCE priem_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.priem_key_seq TO varnel_books_kassa;
GRANT USAGE ON SEQUENCE varnel.priem_key_seq TO varnel_books_operations;


--
-- Name: TABLE settings; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.settings TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.settings TO varnel_books_operations;


--
-- Name: TABLE tmp; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT,INSERT,DELETE,UPDATE ON TABLE varnel.tmp TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.tmp TO varnel_books_operations;


--
-- Name: SEQUENCE tmp_key_seq; Type: ACL; Schema: varnel; Owner: -
--

GRANT USAGE ON SEQUENCE varnel.tmp_key_seq TO varnel_books_kassa;
GRANT USAGE ON SEQUENCE varnel.tmp_key_seq TO varnel_books_operations;


--
-- Name: TABLE version; Type: ACL; Schema: varnel; Owner: -
--

GRANT SELECT ON TABLE varnel.version TO varnel_books_kassa;
GRANT SELECT ON TABLE varnel.version TO varnel_books_operations;


--
-- PostgreSQL database dump complete
--

\unrestrict CSog6x34m4YrJ815rwcWUoMTkzdS8v3cFofOVuwMCfUhKKolXaNKlMPDDQHXX8i


-- The books' own search path, which pg_dump leaves out (a setting of the database).
do $$ begin execute format('alter database %I set search_path = varnel, public', current_database()); end $$;
