CREATE PROCEDURE TMP_DROP_PROC
as
declare variable procname char(67);
begin
	for select rdb$procedure_name from rdb$procedures where rdb$procedure_name LIKE '%IVRO_MVT_%'
    ORDER BY rdb$procedure_name into :procname do
	begin
	  execute statement 'drop procedure ' || :procname;
	end
end;
^
EXECUTE PROCEDURE TMP_DROP_PROC;
^
DROP PROCEDURE TMP_DROP_PROC;
^
create procedure IVRO_MVT_LAME2MAG (
    AID integer,
    TONODE varchar(50))
as
declare variable ATABLE varchar(50);
BEGIN
    ATABLE = '';
    SELECT KTB_NAME FROM K
        JOIN KTB T ON T.KTB_ID=K.KTB_ID
        WHERE K_ID=:AID INTO :ATABLE;
    IF (:ATABLE<>'') THEN
        BEGIN
            INSERT INTO SYM_DATA (node_list, table_name, event_type, row_data,trigger_hist_id, channel_id, create_time)
                SELECT :TONODE , t.source_table_name, 'R', SYNC_KEY_NAMES || '=''' || CAST(:AID  AS VARCHAR(10)) || '''',
                h.trigger_hist_id, t.channel_id, current_timestamp
             FROM sym_trigger t
                join sym_trigger_router tr on t.trigger_id=tr.trigger_id AND tr.ROUTER_ID='lame_vers_mags'
                join sym_trigger_hist h on  h.trigger_hist_id=(select max(trigger_hist_id) from sym_trigger_hist  where trigger_id=t.trigger_id)
            where t.source_table_name ='K';

            INSERT INTO SYM_DATA (node_list, table_name, event_type, row_data,trigger_hist_id, channel_id, create_time)
            SELECT :TONODE , t.source_table_name, 'R', SYNC_KEY_NAMES || '=''' || CAST(:AID  AS VARCHAR(10)) || '''',
                h.trigger_hist_id, t.channel_id, current_timestamp
             FROM sym_trigger t
                join sym_trigger_router tr on t.trigger_id=tr.trigger_id AND tr.ROUTER_ID='lame_vers_mags'
                join sym_trigger_hist h on  h.trigger_hist_id=(select max(trigger_hist_id) from sym_trigger_hist  where trigger_id=t.trigger_id)
            where t.source_table_name =:ATABLE;
       END
END;
^
CREATE PROCEDURE IVRO_MVT_LAME2MAG_NODE (
  ADEB TIMESTAMP,
  AFIN TIMESTAMP,
  TONODE VARCHAR(50)
)
AS
declare variable KID integer;
BEGIN
     FOR SELECT K_ID FROM K WHERE K_UPDATED>=:ADEB AND K_UPDATED<=:AFIN
        ORDER BY K_INSERTED INTO :KID
        DO
          BEGIN
            EXECUTE PROCEDURE IVRO_MVT_LAME2MAG(:KID,:TONODE);
          END
END
^
create procedure IVRO_MVT_MAG2LAME (
    AID integer,
    TONODE varchar(50))
as
declare variable ATABLE varchar(50);
BEGIN
    ATABLE = '';
    SELECT KTB_NAME FROM K
        JOIN KTB T ON T.KTB_ID=K.KTB_ID
        WHERE K_ID=:AID INTO :ATABLE;
    IF (:ATABLE<>'') THEN
        BEGIN
            INSERT INTO SYM_DATA (node_list, table_name, event_type, row_data,trigger_hist_id, channel_id, create_time)
                SELECT :TONODE , t.source_table_name, 'R', SYNC_KEY_NAMES || '=''' || CAST(:AID  AS VARCHAR(10)) || '''',
                h.trigger_hist_id, t.channel_id, current_timestamp
             FROM sym_trigger t
                join sym_trigger_router tr on t.trigger_id=tr.trigger_id AND tr.ROUTER_ID='mags_vers_lame'
                join sym_trigger_hist h on  h.trigger_hist_id=(select max(trigger_hist_id) from sym_trigger_hist  where trigger_id=t.trigger_id)
            where t.source_table_name ='K';

            INSERT INTO SYM_DATA (node_list, table_name, event_type, row_data,trigger_hist_id, channel_id, create_time)
            SELECT :TONODE , t.source_table_name, 'R', SYNC_KEY_NAMES || '=''' || CAST(:AID  AS VARCHAR(10)) || '''',
                h.trigger_hist_id, t.channel_id, current_timestamp
             FROM sym_trigger t
                join sym_trigger_router tr on t.trigger_id=tr.trigger_id AND tr.ROUTER_ID='mags_vers_lame'
                join sym_trigger_hist h on  h.trigger_hist_id=(select max(trigger_hist_id) from sym_trigger_hist  where trigger_id=t.trigger_id)
            where t.source_table_name =:ATABLE;
       END
END;
^
CREATE PROCEDURE IVRO_MVT_MAG2LAME_NODE (
  ADEB TIMESTAMP,
  AFIN TIMESTAMP,
  TONODE VARCHAR(50)
)
AS
declare variable KID integer;
BEGIN
     FOR SELECT K_ID FROM K WHERE K_UPDATED>=:ADEB AND K_UPDATED<=:AFIN
        ORDER BY K_INSERTED INTO :KID
        DO
          BEGIN
            EXECUTE PROCEDURE IVRO_MVT_MAG2LAME(:KID,:TONODE);
          END
END
^

