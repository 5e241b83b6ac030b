REM source: SQL Language Reference, "Multiset Conditions" and "Type Constructor Expressions" (a
REM collection column is shown as its constructor across the line); "TABLE Collection Expressions"
REM (COLUMN_VALUE takes the element's type and width); DESCRIBE names a collection column's type.
create type num_list as table of number;
/
create type name_list as table of varchar2(8);
/
select num_list(1, 2, 3) from dual;
select name_list('KING', 'FORD') names, 7 n from dual;
select * from table(num_list(10, 20));
select column_value from table(name_list('a', 'bb'));
create table team (id number, names name_list) nested table names store as team_names;
insert into team values (1, name_list('KING'));
select * from team;
describe team
