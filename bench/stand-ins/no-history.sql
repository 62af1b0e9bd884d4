-- A bet with the books' writes alone and no history: the event held, the bet and the event's
-- sum written; no record, no chain, none of the rules.
create or replace function varnel.take_bet(p_event bigint, p_number integer, p_outcome integer,
  p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid,
  out o_key bigint, out o_serial bigint)
language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
declare c varnel.compit%rowtype; b varnel.priem%rowtype;
begin
  select * into c from varnel.compit where key = p_event for update;
  insert into varnel.priem (number, result, summa, koeficient, fio)
    values (c.number, (array[c.kom1, c.kom2, 'Ничья'])[p_outcome], p_stake, p_koef, p_fio)
    returning * into b;
  update varnel.compit set
      summ_1 = case p_outcome when 1 then summ_1 + p_stake else summ_1 end,
      summ_2 = case p_outcome when 2 then summ_2 + p_stake else summ_2 end,
      summ_n = case p_outcome when 3 then summ_n + p_stake else summ_n end
    where key = p_event;
  o_key := b.key;
  o_serial := b.serial;
end $$;
