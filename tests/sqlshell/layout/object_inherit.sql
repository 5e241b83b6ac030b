REM source: Object-Relational Developer's Guide, "Creating Subtypes" and "Substitutable Object Tables
REM and Columns" (a subtype instance is shown with its own constructor); SQL Language Reference,
REM "CREATE TYPE" (UNDER a FINAL type: created with compilation errors) and DESCRIBE of a REF column.
create type person_t as object (name varchar2(10)) not final;
/
create type student_t under person_t (school varchar2(10));
/
create type point_t as object (x number);
/
create type point3_t under point_t (z number);
/
create table persons of person_t;
insert into persons values (person_t('Ann'));
insert into persons values (student_t('Bo', 'MIT'));
select value(p) from persons p order by name;
select name, treat(value(p) as student_t).school school from persons p order by name;
select count(*) from persons p where ref(p) is not null;
create table visits (id number, who ref person_t scope is persons);
describe visits
