REM source: SQL*Plus User's Guide and Reference, DESCRIBE (types as declared: CLOB, NCLOB, BLOB,
REM NVARCHAR2(n), NCHAR(n), NUMBER(38) for INTEGER) and SET LONG (a CLOB shows its first LONG
REM characters, 80 by default, in a column as wide); Oracle SQL Language Reference, EMPTY_CLOB.
create table notes (id integer not null, title nvarchar2(20), code nchar(3), body clob, extra nclob, pic blob);
desc notes
insert into notes (id, title, body) values (1, 'Short', 'Short note');
insert into notes (id, title, body) values (2, 'Long', rpad('Long note ', 120, 'x'));
insert into notes (id, title, body) values (3, 'Empty', empty_clob());
insert into notes (id, title) values (4, 'None');
select id, body from notes order by id;
set long 12
select id, body from notes order by id;
column head format a6
select id, length(body) len, dbms_lob.substr(body, 4, 1) head from notes order by id;
select body from notes order by body;
