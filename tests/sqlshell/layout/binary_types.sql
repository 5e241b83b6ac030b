REM source: SQL*Plus User's Guide and Reference, "Formatting NUMBER Columns" (BINARY_FLOAT and
REM BINARY_DOUBLE values in scientific notation within NUMWIDTH); SQL Language Reference, Data Types
REM "BINARY_FLOAT and BINARY_DOUBLE"; DESCRIBE shows the type names.
create table bf (a binary_float, b binary_double, c number);
insert into bf values (1.5, 2, 3);
insert into bf values (1234567.25, -0.000123, 4);
insert into bf values (0, null, 5);
select * from bf;
describe bf
