-- A bet that writes nothing: what is left is the counter's own work, its reads of the books and
-- the operation's round trip. It answers with the first bet's key, as if it had taken it.
create or replace function varnel.take_bet(p_event bigint, p_number integer, p_outcome integer,
  p_adjust boolean, p_fio text, p_stake numeric, p_koef numeric, p_seal text, p_action uuid,
  out o_key bigint, out o_serial bigint)
language plpgsql security definer set search_path = pg_catalog, pg_temp as $$
begin
  select key, serial into o_key, o_serial from varnel.priem order by key limit 1;
end $$;
