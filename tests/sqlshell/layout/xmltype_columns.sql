REM source: Oracle XML DB Developer's Guide, "Creating XMLType Tables and Columns" and SQL*Plus
REM User's Guide and Reference, "SET LONG" (an XMLType value is shown as its document text, at
REM most LONG characters of it).
create table po_docs (id number, doc xmltype);
insert into po_docs values (1, xmltype('<po id="1"><item>pen</item></po>'));
insert into po_docs values (2, '<po id="2"><item>a long description of the item that is ordered</item><item>cup</item></po>');
select id, doc from po_docs order by id;
select p.id, p.doc.extract('/po/item[1]') item from po_docs p order by p.id;
set long 200
select doc from po_docs where id = 2;
