REM source: SQL*Plus User's Guide and Reference, "Formatting Query Results" (a character column is
REM as wide as its defined size and cuts a longer heading; text wraps within the column) and
REM Oracle Database Globalization Support Guide, "Length Semantics" / JA16SJIS (a double-byte
REM character takes two bytes, which is also its width on a fixed-pitch screen); SQL Language
REM Reference, "Database Object Naming Rules" (a name of up to 30 bytes, quoted or not).
create table jp (id number(3), name varchar2(10), memo varchar2(6), c char(6));
insert into jp values (1, '山田太郎', 'あいうえ', 'アイ');
insert into jp values (1, '山田太郎', 'あいう', 'アイ');
insert into jp values (2, 'Smith', 'abcdef', 'ab');
insert into jp values (3, 'ｱｲｳｴｵｶｷｸｹｺ', 'ｱa', 'ｱ');
insert into jp values (4, '山田x', null, null);
select * from jp order by id;
select c || '|' x, lengthb(c) b from jp order by id;
select ename "社員名", job "職種" from emp where deptno = 10 order by ename;
select name "氏名", id "番号" from jp order by id;
select name 名前, memo "メモ欄の内容" from jp order by id;
select sal "給与額の合計値を表示する" from emp where empno = 7839;
select dummy "区分", dummy x from dual;
column name format a5
select id, name from jp order by id;
column name format a3
select id, name from jp where id in (1, 4) order by id;
column name clear
select substr(name, 1, 2) s, length(name) l, lengthb(name) lb from jp order by id;
select name || memo x from jp order by id;
select '全角　スペース' z, 'ｱｲｳ' a, upper('ａｂｃ') u from dual;
create table 社員テーブル (社員番号 number(4), 社員の氏名を入れる列です varchar2(20));
insert into 社員テーブル values (1, 'テスト');
select * from 社員テーブル;
create table 社員テーブルの名前を少し長くしたもの (a number);
REM SET LONG counts bytes of the client's character set: two for each kanji in Shift-JIS.
create table lj (id number, l long);
insert into lj values (1, 'あいうえおかきくけこあいうえおかきくけこあいうえおかきくけこあいうえおかきくけこあいうえおかきくけこ');
select l from lj;
set long 7
select l from lj;
set long 80
REM An unknown command is quoted by its first ten characters, never half of one.
社員一覧を表示してください
社員一覧
REM A bind variable's and an ACCEPT format's sizes count the same bytes.
variable n varchar2(4)
exec :n := 'あい'
print n
exec :n := 'あいう'
accept x char format a4 prompt 'X: '
define x
