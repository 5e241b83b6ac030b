REM source: SQL Language Reference, "TO_BOOLEAN" (its example's output: BOOLEAN columns eleven
REM wide, headings cut to that width, TRUE and FALSE on the left); "Boolean Data Type"; DESCRIBE
REM shows the type name.
SELECT TO_BOOLEAN(0), TO_BOOLEAN('true'), TO_BOOLEAN('no') FROM DUAL;
create table flags (id number, b boolean);
insert into flags values (1, 'yes');
insert into flags values (2, null);
insert into flags values (3, 0);
select id, b, not b from flags order by id;
describe flags
