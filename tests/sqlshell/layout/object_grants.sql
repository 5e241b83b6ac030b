REM source: SQL*Plus User's Guide and Reference, the messages after GRANT and REVOKE
REM ("Grant succeeded.", "Revoke succeeded."); Oracle Database Reference, USER_TAB_PRIVS_MADE.
grant select, update (sal) on emp to public;
select grantee, privilege, grantable from user_tab_privs_made;
revoke all on emp from public;
select count(*) from user_col_privs_made;
