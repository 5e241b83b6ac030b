REM source: SQL Language Reference, "Multiset Conditions" and "Type Constructor Expressions" (a
REM collection column is shown as its constructor across the line); "TABLE Collection Expressions"
REM (COLUMN_VALUE takes the element's type and width).
create type num_list as table of number;
/
create type name_list as table of varchar2(8);
/
select num_list(1, 2, 3) from dual;
select name_list('KING', 'FORD') names, 7 n from dual;
select * from table(num_list(10, 20));
select column_value from table(name_list('a', 'bb'));
