-- A bet with its writes alone: the event held, the bet, the event's sum and the history's record
-- written, the chain's sealer called as the operations call it; none of the rules (who calls,
-- the checks, the limits, the odds, the columns' arithmetic, the books' clock).
create or replace function varnel.take_bet(p_event bigint, p_number integer, p_outcome integer,
  p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid,
  out o_key bigint, out o_serial bigint)
language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare c varnel.compit%rowtype; b varnel.priem%rowtype; here timestamp := localtimestamp;
begin
  perform varnel.seal() from varnel.chain where varnel.chain.sealed < now() - interval '20 milliseconds';
  select * into c from varnel.compit where key = p_event for update;
  insert into varnel.priem (number, result, summa, koeficient, fio)
    values (c.number, (array[c.kom1, c.kom2, 'Ничья'])[p_outcome], p_stake, p_koef, p_fio)
    returning * into b;
  update varnel.compit set
      summ_1 = case p_outcome when 1 then summ_1 + p_stake else summ_1 end,
      summ_2 = case p_outcome when 2 then summ_2 + p_stake else summ_2 end,
      summ_n = case p_outcome when 3 then summ_n + p_stake else summ_n end
    where key = p_event returning * into c;
  insert into varnel.history (den, vremya, vid, number, date, kom1, kom2, koef_1, koef_2, koef_n,
      summ_1, summ_2, summ_n, result, summa, koeficient, fio, serial, zapis, kassir, action, kod)
    values (here::date, to_char(here, 'HH24:MI:SS'), 'Ставка', c.number, c.date, c.kom1, c.kom2,
      c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, c.summ_n, b.result, b.summa,
      b.koeficient, b.fio, b.serial, b.key, session_user, p_action, nullif(p_seal, ''));
  o_key := b.key;
  o_serial := b.serial;
end $$;
