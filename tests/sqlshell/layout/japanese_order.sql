REM source: SQL*Plus User's Guide and Reference, "Formatting Query Results" (a character column is
REM as wide as its declared length, a value's width on a fixed-pitch screen; in JA16SJIS a kanji
REM or full-width kana takes two columns, a half-width kana one) and COLUMN FORMAT An TRUNCATED; the
REM rows in Shift-JIS byte order (Globalization Support Guide, "Binary Sorts").
create table staff (id number(3), name varchar2(12), kana char(8), note varchar2(6 char));
insert into staff values (1, '鈴木一郎', 'ｽｽﾞｷ', 'ａｂ');
insert into staff values (2, '高橋', 'ﾀｶﾊｼ', '東京都港区');
insert into staff values (3, '佐藤花子', 'ｻﾄｳ', null);
insert into staff values (4, 'Smith', 'ｽﾐｽ', 'abc');
select id, name, kana, note from staff order by name;
select name || '様' greeting, lengthb(name) b, length(name) c from staff order by id;
column name format a6 truncated
select id, name from staff order by kana;
