#include "OraError.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <sqlite3.h>

namespace ora {

namespace {
const std::map<int, const char*>& texts() {
  static const std::map<int, const char*> t = {
      {1, "unique constraint violated"},
      {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
      {604, "error in a recursive statement"},
      {900, "invalid SQL statement"},
      {901, "invalid CREATE command"},
      {902, "invalid datatype"},
      {903, "invalid table name"},
      {904, ": invalid identifier"}, // no name: Oracle leaves its place empty
      {905, "missing keyword"},
      {906, "missing left parenthesis"},
      {907, "missing right parenthesis"},
      {908, "missing NULL keyword"},
      {910, "specified length too long for its datatype"},
      {911, "invalid character"},
      {913, "too many values"},
      {917, "missing comma"},
      {918, "column ambiguously defined"},
      {920, "invalid relational operator"},
      {921, "unexpected end of SQL command"},
      {922, "missing or invalid option"},
      {923, "FROM keyword not found where expected"},
      {925, "missing INTO keyword"},
      {926, "missing VALUES keyword"},
      {927, "missing equal sign"},
      {928, "missing SELECT keyword"},
      {931, "missing identifier"},
      {932, "inconsistent datatypes"},
      {933, "SQL command not properly ended"},
      {936, "missing expression"},
      {937, "not a single-group group function"},
      {942, "table or view does not exist"},
      {947, "not enough values"},
      {955, "name is already used by an existing object"},
      {957, "duplicate column name"},
      {972, "identifier is too long"},
      {984, "column not allowed here"},
      {996, "the concatenate operator is ||, not |"},
      {946, "missing TO keyword"},
      {968, "missing INDEX keyword"},
      {999, "invalid view name"},
      {3290, "invalid truncate command - missing CLUSTER or TABLE keyword"},
      {978, "nested group function without GROUP BY"},
      {979, "not a GROUP BY expression"},
      {950, "invalid DROP option"},
      {969, "missing ON keyword"},
      {971, "missing SET keyword"},
      {1002, "fetch out of sequence"},
      {1001, "invalid cursor"},
      {1000, "maximum open cursors exceeded"},
      {1003, "no statement parsed"},
      {1007, "variable not in select list"},
      {1006, "bind variable does not exist"},
      {1008, "not all variables bound"},
      {1027, "bind variables not allowed for data definition operations"},
      {1036, "illegal variable name/number"},
      {1012, "not logged on"},
      {1017, "invalid username/password; logon denied"},
      {1400, "cannot insert NULL into a NOT NULL column"},
      {1403, "no data found"},
      {1405, "fetched column value is NULL"},
      {1406, "fetched column value was truncated"},
      {1706, "user function result value was too large"},
      {19102, "XQuery string literal expected"},
      {1407, "cannot update a NOT NULL column to NULL"},
      {1410, "invalid ROWID"},
      {1418, "specified index does not exist"},
      {38301, "can not perform DDL/DML over objects in Recycle Bin"},
      {38302, "invalid PURGE option"},
      {38305, "object not in RECYCLE BIN"},
      {38307, "object not in RECYCLE BIN"},
      {38312, "original name is used by an existing object"},
      {8189, "cannot flashback the table because row movement is not enabled"},
      {12008, "error in materialized view refresh path"},
      {11541, "REPLACE and IF NOT EXISTS cannot coexist in the same DDL statement"},
      {12054, "cannot set the ON COMMIT refresh attribute for the materialized view"},
      {1453, "SET TRANSACTION must be first statement of transaction"},
      {1456, "may not perform insert/delete/update operation inside a READ ONLY transaction"},
      {1438, "value larger than specified precision allowed for this column"},
      {1455, "converting column overflows integer datatype"},
      {1440, "column to be modified must be empty to decrease precision or scale"},
      {1740, "missing double quote in identifier"},
      {1741, "illegal zero-length identifier"},
      {1754, "a table may contain only one column of type LONG"},
      {1756, "quoted string not properly terminated"},
      {1767, "UPDATE ... SET expression must be a subquery"},
      {1465, "invalid hex number"},
      {1722, "invalid number"},
      {61800, "invalid boolean value"},
      {1723, "zero-length columns are not allowed"},
      {1427, "single-row subquery returns more than one row"},
      {1476, "divisor is equal to zero"},
      {1790, "expression must have same datatype as corresponding expression"},
      {1724, "floating point precision is out of range (1 to 126)"},
      {1727, "numeric precision specifier is out of range (1 to 38)"},
      {1728, "numeric scale specifier is out of range (-84 to 127)"},
      {1830, "date format picture ends before converting entire input string"},
      {1839, "date not valid for month specified"},
      {1840, "input value not long enough for date format"},
      {1841, "(full) year must be between -4713 and +9999, and not be 0"},
      {1843, "not a valid month"},
      {1847, "day of month must be between 1 and last day of month"},
      {1850, "hour must be between 0 and 23"},
      {1851, "minutes must be between 0 and 59"},
      {1852, "seconds must be between 0 and 59"},
      {1861, "literal does not match format string"},
      {1862, "the numeric value does not match the length of the format item"},
      {1810, "format code appears twice"},
      {1812, "year may only be specified once"},
      {1813, "hour may only be specified once"},
      {1814, "AM/PM conflicts with use of A.M./P.M."},
      {1815, "BC/AD conflicts with use of B.C./A.D."},
      {1816, "month may only be specified once"},
      {1817, "day of week may only be specified once"},
      {1818, "'HH24' precludes use of meridian indicator"},
      {1819, "signed year precludes use of BC/AD"},
      {1789, "query block has incorrect number of result columns"},
      {1920, "user name conflicts with another user or role name"},
      {2290, "check constraint violated"},
      {11502, "The domain to be dropped has dependent objects."},
      {11504, "The domain specified does not exist."},
      {11534, "check constraint violated due to domain constraint"},
      {25154, "column part of USING clause cannot have qualifier"},
      {25155, "column used in NATURAL join cannot have qualifier"},
      {30669, "table can have only one identity column"},
      {30675, "identity column must be a numeric type"},
      {32795, "cannot insert into a generated always identity column"},
      {32796, "cannot update a generated always identity column"},
      {2149, "Specified partition does not exist"},
      {14006, "invalid partition name"},
      {14013, "duplicate partition name"},
      {14017, "partition bound list contains too many elements"},
      {14018, "partition bound list contains too few elements"},
      {14019, "partition bound element must be one of: string, datetime or interval literal, number, or MAXVALUE"},
      {14074, "partition bound must collate higher than that of the last partition"},
      {14082, "new partition name must differ from that of any other partition of the object"},
      {14083, "cannot drop the only partition of a partitioned table"},
      {14255, "table is not partitioned by Range, List, Composite Range or Composite List method"},
      {14304, "List partitioning method expects a single partitioning column"},
      {14311, "Expecting VALUES LESS THAN or AT clause"},
      {14323, "cannot add partition when DEFAULT partition exists"},
      {14400, "inserted partition key does not map to any partition"},
      {14401, "inserted partition key is outside specified partition"},
      {3001, "unimplemented feature"},
      {2327, "cannot create index on expression with datatype LOB"},
      {2329, "column of datatype LOB cannot be unique or a primary key"},
      {14402, "updating partition key column would cause a partition change"},
      {14501, "object is not partitioned"},
      {14750, "Range partitioned table with INTERVAL clause has more than one column"},
      {25175, "no PRIMARY KEY constraint found"},
      {941, "missing cluster name"},
      {943, "cluster does not exist"},
      {951, "cluster not empty"},
      {2033, "a cluster index for this cluster already exists"},
      {2420, "missing schema authorization clause"},
      {2421, "missing or invalid schema authorization identifier"},
      {2422, "missing or invalid schema element"},
      {1753, "column definition incompatible with clustered column definition"},
      {10636, "ROW MOVEMENT is not enabled"},
      {25193, "cannot use COMPRESS option for a single column key"},
      {25194, "invalid COMPRESS prefix length value"},
      {30657, "operation not supported on external organized table"},
      {54002, "only pure functions can be specified in a virtual column expression"},
      {54013, "INSERT operation disallowed on virtual columns"},
      {54017, "UPDATE operation disallowed on virtual columns"},
      {54039, "table must have at least one column that is not invisible"},
      {55603, "invalid flashback archive or valid time period command"},
      {43929, "Collation cannot be specified if parameter MAX_STRING_SIZE=STANDARD is set."},
      {54042, "Invisible column is not supported on this type of table."},
      {2291, "integrity constraint violated - parent key not found"},
      {2292, "integrity constraint violated - child record found"},
      {22902, "CURSOR expression not allowed"},
      {22905, "cannot access rows from a non-nested table item"},
      {22907, "invalid CAST to a type that is not a nested table or VARRAY"},
      {22909, "exceeded maximum VARRAY limit"},
      {22912, "specified column or attribute is not a nested table type"},
      {22908, "reference to NULL table value"},
      {2449, "unique/primary keys in table referenced by foreign keys"},
      {4043, "object does not exist"},
      {4044, "procedure, function, package, or type is not allowed here"},
      {3113, "end-of-file on communication channel"},
      {2010, "missing host connect string"},
      {2011, "duplicate database link name"},
      {2019, "connection description for remote database not found"},
      {2024, "database link not found"},
      {12154, "could not resolve the connect identifier: no database at that location"},
      {12705, "invalid or unknown NLS parameter value specified"},
      {12899, "value too large for column"},
      {24333, "zero iteration count"},
      {909, "invalid number of arguments"},
      {938, "not enough arguments for function"},
      {939, "too many arguments for function"},
      {1424, "missing or illegal character following the escape character"},
      {1425, "escape character must be character string of length 1"},
      {1426, "numeric overflow"},
      {1428, "argument is out of range"},
      {1760, "illegal argument for function"},
      {1899, "bad precision specifier"},
      {30186, "'\\' must be followed by four hexadecimal characters or another '\\'"},
      {30494, "an argument of WIDTH_BUCKET is NULL or invalid"},
      {1436, "CONNECT BY loop in user data"},
      {1788, "CONNECT BY clause required in this query block"},
      {30004, "when using SYS_CONNECT_BY_PATH function, cannot have seperator as part of column value"},
      {30929, "ORDER SIBLINGS BY clause not allowed here"},
      {976, "Specified pseudocolumn or operator not allowed here."},
      {30002, "SYS_CONNECT_BY_PATH function is not allowed here"},
      {30007, "CONNECT BY ROOT operator is not supported in the START WITH or in the CONNECT BY condition"},
      {30930, "NOCYCLE keyword is required with CONNECT_BY_ISCYCLE pseudo column"},
      {32039, "recursive WITH clause must have column alias list"},
      {32040, "recursive WITH clause must use a UNION ALL operation"},
      {32038, "number of WITH clause column names does not match number of elements in select list"},
      {39754, "FULL PARTITIONED OUTER JOIN is not supported"},
      {1786, "FOR UPDATE of this query expression is not allowed"},
      {2179, "valid options: ISOLATION LEVEL { SERIALIZABLE | READ COMMITTED }"},
      {2014, "cannot select FOR UPDATE from view with DISTINCT, GROUP BY, etc."},
      {1737, "valid modes: [ROW] SHARE, [[SHARE] ROW] EXCLUSIVE, SHARE UPDATE"},
      {1795, "maximum number of expressions in a list is 1000"},
      {1796, "this operator cannot be used with lists"},
      {1797, "this operator must be followed by ANY or ALL"},
      {960, "ambiguous column naming in select list"},
      {980, "synonym translation is no longer valid"},
      {1434, "private synonym to be dropped does not exist"},
      {1435, "user does not exist"},
      {38802, "edition does not exist"},
      {1471, "cannot create a synonym with same name as object"},
      {1867, "the interval is invalid"},
      {8180, "no snapshot found based on specified time"},
      {8181, "specified number is not a valid system change number"},
      {2447, "cannot defer a constraint that is not deferrable"},
      {2448, "constraint does not exist"},
      {14451, "unsupported feature with temporary table"},
      {32463, "cannot create an object with a name matching private temporary table prefix"},
      {1466, "unable to read data - table definition has changed"},
      {1555, "snapshot too old: rollback segment number  with name \"\" too small"},
      {1873, "the leading precision of the interval is too small"},
      {30081, "invalid data type for datetime/interval arithmetic"},
      {30088, "datetime/interval precision is out of range"},
      {30089, "missing or invalid <datetime field>"},
      {32044, "cycle detected while executing recursive WITH query"},
      {1402, "view WITH CHECK OPTION where-clause violation"},
      {56901, "non-constant expression is not allowed for pivot|unpivot values"},
      {30732, "table contains no user-visible columns"},
      {62501, "invalid value specified for bounded quantifier in MATCH_RECOGNIZE clause"},
      {62503, "illegal variable definition"},
      {62504, "illegal variable reference"},
      {62507, "illegal use of MATCH_NUMBER or CLASSIFIER in MATCH_RECOGNIZE clause"},
      {62508, "illegal use of aggregates or navigation operators in MATCH_RECOGNIZE clause"},
      {62509, "illegal use of RUNNING or FINAL in MATCH_RECOGNIZE clause"},
      {62512, "This aggregate is not yet supported in MATCH_RECOGNIZE clause."},
      {62513, "Quantified subpatterns that can have empty matches are not yet supported."},
      {62514, "AFTER MATCH SKIP TO variable is not bounded in the match found."},
      {62518, "MATCH_RECOGNIZE pattern is too large."},
      {62520, "illegal offset for MATCH_RECOGNIZE navigation operators"},
      {56902, "expect aggregate function inside pivot operation"},
      {32607, "invalid ITERATE value in MODEL clause"},
      {32608, "missing INCREMENT or DECREMENT keyword in FOR loop"},
      {32609, "missing REFERENCE keyword in MODEL clause"},
      {32610, "missing SINGLE REFERENCE or DIMENSION keyword in MODEL clause"},
      {32611, "incorrect use of MODEL CV operator"},
      {32612, "invalid use of FOR loop"},
      {32613, "not a MODEL cell"},
      {32614, "illegal MODEL SELECT expression"},
      {32616, "missing DIMENSION BY keyword in MODEL clause"},
      {32617, "missing MEASURES keyword in MODEL clause"},
      {32618, "incorrect use of MODEL PREVIOUS function"},
      {32620, "illegal subquery within MODEL rules"},
      {32621, "illegal aggregation in MODEL rules"},
      {32622, "illegal multi-cell reference"},
      {32623, "incorrect use of MODEL PRESENT* functions"},
      {32624, "illegal reordering of MODEL dimensions"},
      {32626, "illegal bounds or increment in MODEL FOR loop"},
      {32633, "MODEL subquery FOR cell index returns too many rows"},
      {32638, "Non unique addressing in MODEL dimensions"},
      {32630, "multiple assignment in automatic order MODEL"},
      {32634, "automatic order MODEL evaluation does not converge"},
      {42399, "cannot perform a DML operation on a read-only view"},
      {1489, "result of string concatenation is too long"},
      {30491, "missing ORDER BY clause"},
      {30493, "the percentile value must be a number between 0 and 1"},
      {30483, "window functions are not allowed here"},
      {30484, "missing window specification for this function"},
      {2000, "missing WITHIN keyword"},
      {30482, "DISTINCT option not allowed for this function"},
      {30485, "missing ORDER BY expression in the window specification"},
      {30486, "invalid window aggregation group in the window specification"},
      {30487, "ORDER BY not allowed here"},
      {30926, "unable to get a stable set of rows in the source tables"},
      {12725, "unmatched parentheses in regular expression"},
      {12726, "unmatched bracket in regular expression"},
      {12727, "invalid back reference in regular expression"},
      {12728, "invalid range in regular expression"},
      {12729, "invalid character class in regular expression"},
      {12731, "invalid collation class in regular expression"},
      {12732, "invalid interval value in regular expression"},
      {12733, "regular expression is too long"},
      {1481, "invalid number format model"},
      {1820, "format code cannot appear in date input format"},
      {1821, "date format not recognized"},
      {1846, "not a valid day of the week"},
      {1848, "day of year must be between 1 and 365 (366 for leap year)"},
      {1849, "hour must be between 1 and 12"},
      {1853, "seconds in day must be between 0 and 86399"},
      {1854, "julian date must be between 1 and 5373484"},
      {1855, "AM/A.M. or PM/P.M. required"},
      {1858, "a non-numeric character was found where a numeric was expected"},
      {30001, "trim set should have only one character"},
      {25137, "Data value out of range"},
      {1031, "insufficient privileges"},
      {1732, "data manipulation operation not legal on this view"},
      {1733, "virtual column not allowed here"},
      {1432, "public synonym to be dropped does not exist"},
      {2243, "invalid ALTER INDEX or ALTER MATERIALIZED VIEW option"},
      {1752, "cannot delete from view without exactly one key-preserved table"},
      {1776, "cannot modify more than one base table through a join view"},
      {1779, "cannot modify a column which maps to a non key-preserved table"},
      {1086, "savepoint never established in this session or is invalid"},
      {988, "missing or invalid password(s)"},
      {940, "invalid ALTER command"},
      {975, "date + date not allowed"},
      {997, "illegal use of LONG datatype"},
      {998, "must name this expression with a column alias"},
      {25156, "old style outer join (+) cannot be used with ANSI joins"},
      {2251, "subquery not allowed here"},
      {2436, "date or system variable wrongly specified in CHECK constraint"},
      {22818, "subquery expressions not allowed here"},
      {1705, "an outer-join cannot be specified on a correlation column"},
      {30563, "outer join operator (+) is not allowed here"},
      {30562, "SAMPLE percentage must be in the range [0.000001,100)"},
      {32031, "illegal reference of a query name in WITH clause"},
      {32041, "UNION ALL operation in recursive WITH clause must have only two branches"},
      {32046, "sequence column name for SEARCH clause must not be part of the column alias list"},
      {32047, "cycle mark value and non-cycle mark value must be one byte character string values"},
      {32048, "cycle mark column name for CYCLE clause must not be part of the column alias list"},
      {32049, "duplicate name found in column alias list for WITH clause"},
      {32480, "SEARCH and CYCLE clauses can only be specified for recursive WITH clause elements"},
      {32481, "cycle value for CYCLE clause must be different from the non-cycle value"},
      {32483, "duplicate name found in sort specification list for SEARCH clause of WITH clause"},
      {32484, "duplicate name found in cycle column list for CYCLE clause of WITH clause"},
      {32485, "element in cycle column list of CYCLE clause must appear in the column alias list of the WITH clause element"},
      {32489, "element in sort specification list of SEARCH clause did not appear in the column alias list of the WITH clause element"},
      {32482, "sequence column for SEARCH clause must be different from the cycle mark column for CYCLE clause"},
      {32486, "unsupported operation in recursive branch of recursive WITH clause"},
      {32490, "recursive query name referenced more than once in recursive branch of recursive WITH clause"},
      {1430, "column being added already exists in table"},
      {2298, "cannot validate - parent keys not found"},
      {12983, "cannot drop all columns in a table"},
      {1780, "string literal required"},
      {1917, "user or role does not exist"},
      {12911, "permanent tablespace cannot be temporary tablespace"},
      {956, "missing or invalid auditing option"},
      {1919, "role does not exist"},
      {1921, "role name conflicts with another user or role name"},
      {1924, "role not granted or does not exist"},
      {1731, "circular view definition encountered"},
      {1934, "circular role grant detected"},
      {1951, "ROLE not granted"},
      {1952, "system privileges not granted"},
      {1979, "missing or invalid password for role"},
      {1416, "two tables cannot be outer-joined to each other"},
      {1417, "a table may be outer joined to at most one other table"},
      {1468, "a predicate may reference only one outer-joined table"},
      {1719, "outer join operator (+) not allowed in operand of OR or IN"},
      {1799, "a column may not be outer-joined to a subquery"},
      {1730, "invalid number of column names specified"},
      {1732, "data manipulation operation not legal on this view"},
      {1758, "table must be empty to add mandatory (NOT NULL) column"},
      {1442, "column to be modified to NOT NULL is already NOT NULL"},
      {1451, "column to be modified to NULL cannot be modified to NULL"},
      {1439, "column to be modified must be empty to change datatype"},
      {1441, "cannot decrease column length because some value is too big"},
      {2296, "cannot enable constraint - null values found"},
      {1918, "user does not exist"},
      {1922, "CASCADE must be specified to drop this user"},
      {1940, "cannot drop a user that is currently connected"},
      {2260, "table can have only one primary key"},
      {2261, "such unique or primary key already exists in the table"},
      {2443, "Cannot drop constraint  - nonexistent constraint"},
      {2441, "Cannot drop nonexistent primary key"},
      {2442, "Cannot drop nonexistent unique key"},
      {2273, "this unique/primary key is referenced by some foreign keys"},
      {2289, "sequence does not exist"},
      {2287, "sequence number not allowed here"},
      {4002, "INCREMENT must be a non-zero integer"},
      {4004, "MINVALUE must be less than MAXVALUE"},
      {4006, "START WITH cannot be less than MINVALUE"},
      {4008, "START WITH cannot be more than MAXVALUE"},
      {4013, "number to CACHE must be less than one cycle"},
      {8002, "sequence CURRVAL is not yet defined in this session"},
      {8004, "sequence NEXTVAL exceeds its limit and cannot be instantiated"},
      {4063, "view has errors"},
      {4080, "trigger does not exist"},
      {4081, "trigger already exists"},
      {4098, "trigger is invalid and failed re-validation"},
      {4073, "column list not valid for this trigger type"},
      {25001, "cannot create this trigger type on views"},
      {25002, "cannot create INSTEAD OF triggers on tables"},
      {25004, "WHEN clause is not allowed in INSTEAD OF triggers"},
      {25005, "cannot CREATE INSTEAD OF trigger on a read-only view"},
      {4077, "WHEN clause cannot be used with table level triggers"},
      {36, "maximum number of recursive SQL levels (50) exceeded"},
      {4082, "NEW or OLD references not allowed in table level triggers"},
      {4084, "cannot change NEW values for this trigger type"},
      {4085, "cannot change the value of an OLD reference variable"},
      {4088, "error during execution of trigger"},
      {4091, "table is mutating, trigger/function may not see it"},
      {4092, "cannot COMMIT or ROLLBACK in a trigger"},
      {6550, "PL/SQL is stored but not run by this engine"},
      {6500, "PL/SQL: storage error"},
      {6502, "PL/SQL: numeric or value error"},
      {22289, "cannot perform operation on an unopened file or LOB"},
      {22293, "LOB already opened"},
      {22920, "row containing the LOB value is not locked"},
      {22926, "specified trim length is greater than current LOB value's length"},
      {44001, "invalid schema"},
      {44002, "invalid object name"},
      {44003, "invalid SQL name"},
      {44004, "invalid qualified SQL name"},
      {6503, "PL/SQL: Function returned without value"},
      {6519, "active autonomous transaction detected and rolled back"},
      {6504, "PL/SQL: Return types of Result Set variables or query do not match"},
      {6535, "statement string in EXECUTE IMMEDIATE is NULL or 0 length"},
      {14551, "cannot perform a DML operation inside a query"},
      {14552, "cannot perform a DDL, commit or rollback inside a query or DML"},
      {6510, "PL/SQL: unhandled user-defined exception"},
      {6511, "PL/SQL: cursor already open"},
      {6531, "Reference to uninitialized collection"},
      {6530, "Reference to uninitialized composite"},
      {2303, "cannot drop or replace a type with type or table dependents"},
      {2315, "incorrect number of arguments for default constructor"},
      {22806, "not an object or REF"},
      {22826, "cannot construct an instance of a non instantiable type"},
      {30625, "method dispatch on NULL SELF argument is disallowed"},
      {6532, "Subscript outside of limit"},
      {6533, "Subscript beyond count"},
      {24381, "error(s) in array DML"},
      {6592, "CASE not found while executing CASE statement"},
      {6576, "not a valid function or procedure name"},
      {1422, "exact fetch returns more than requested number of rows"},
      {1013, "user requested cancel of current operation"},
      {12991, "column is referenced in a multi-column constraint"},
      {12992, "cannot drop parent key column"},
      {2275, "such a referential constraint already exists in the table"},
      {1702, "a view is not appropriate here"},
      {2267, "column type incompatible with referenced column type"},
      {2256, "number of referencing columns must match referenced columns"},
      {2438, "Column check constraint cannot reference other columns"},
      {4005, "INCREMENT must be less than MAXVALUE minus MINVALUE"},
      {2278, "duplicate or conflicting MAXVALUE specifications"},
      {2279, "duplicate or conflicting MINVALUE specifications"},
      {2280, "duplicate or conflicting CYCLE specifications"},
      {2281, "duplicate or conflicting CACHE specifications"},
      {2282, "duplicate or conflicting ORDER specifications"},
      {2284, "duplicate INCREMENT BY specifications"},
      {2285, "duplicate START WITH specifications"},
      {935, "statement nested too deeply"},
      {924, "missing BY keyword"},
      {953, "missing or invalid index name"},
      {987, "missing or invalid username(s)"},
      {990, "missing or invalid privilege"},
      {1749, "you may not GRANT/REVOKE privileges to/from yourself"},
      {1750, "UPDATE/REFERENCES may only be REVOKEd from the whole table, not by column"},
      {1926, "cannot GRANT to a role WITH GRANT OPTION"},
      {1927, "cannot REVOKE privileges you did not grant"},
      {2204, "ALTER, INDEX and EXECUTE not allowed for views"},
      {2205, "only SELECT and ALTER privileges are valid for sequences"},
      {2224, "EXECUTE privilege not allowed for tables"},
      {2225, "only EXECUTE and DEBUG privileges are valid for procedures"},
      {2305, "only EXECUTE, DEBUG, and UNDER privileges are valid for types"},
      {4042, "procedure, function, package, or package body does not exist"},
      {1735, "invalid ALTER TABLE option"},
      {1742, "comment not terminated properly"},
      {1747, "invalid user.table.column, table.column, or column name"},
      {1748, "only simple column names allowed here"},
      {30005, "missing or invalid WAIT interval"},
      {1110, "data file of the schema cannot be used"},
      {1114, "IO error writing block to file"},
      {1115, "IO error reading block from file"},
      {1157, "cannot identify/lock data file"},
      {1578, "data block corrupted: the file is damaged"},
      {1653, "unable to extend table: the disk is full"},
      {2091, "transaction rolled back"},
      {4030, "out of process memory"},
      {1482, "unsupported character set"},
      {1856, "BC/B.C. or AD/A.D. required"},
      {1857, "not a valid time zone"},
      {1874, "time zone hour must be between -15 and 15"},
      {1875, "time zone minute must be between -59 and 59"},
      {1878, "specified field not found in datetime or interval"},
      {1882, "timezone region not found"},
      {2003, "invalid USERENV parameter"},
      {2017, "integer value required"},
      {2081, "database link is not open"},
      {2248, "invalid option for ALTER SESSION"},
      {12702, "invalid NLS parameter string used in SQL function"},
      {12705, "invalid or unknown NLS parameter value specified"},
      {30076, "invalid extract field for extract source"},
      {1449, "column contains NULL values; cannot alter to NOT NULL"},
      {2264, "name already used by an existing constraint"},
      {23292, "The constraint does not exist"},
      {2268, "referenced table does not have a primary key"},
      {2266, "unique/primary keys in table referenced by enabled foreign keys"},
      {14450, "attempt to access a transactional temp table already in use"},
      {2297, "cannot disable constraint - dependencies exist"},
      {2430, "cannot enable constraint - no such constraint"},
      {2431, "cannot disable constraint - no such constraint"},
      {2277, "invalid sequence name"},
      {2286, "no options specified for ALTER SEQUENCE"},
      {2283, "cannot alter starting sequence number"},
      {4009, "MAXVALUE cannot be made to be less than the current value"},
      {4007, "MINVALUE cannot be made to exceed the current value"},
      {934, "group function is not allowed here"},
      {1785, "ORDER BY item must be the number of a SELECT-list expression"},
      {1791, "not a SELECTed expression"},
      {2270, "no matching unique or primary key for this column-list"},
      {2293, "cannot validate - check constraint violated"},
      {2299, "cannot validate - duplicate keys found"},
      {2437, "cannot validate - primary key violated"},
      {1408, "such column list already indexed"},
      {2429, "cannot drop index used for enforcement of unique/primary key"},
      {30553, "The function is not deterministic"},
      {1452, "cannot CREATE UNIQUE INDEX; duplicate keys found"},
      {28827, "The specified cipher suite is not defined."},
      {28829, "No value has been specified for the cipher suite to be used."},
      {64610, "bad depth indicator"},
  };
  return t;
}

// Oracle's messages that name the object at fault; %s stands for the name the caller gives.
const std::map<int, const char*>& namedTexts() {
  static const std::map<int, const char*> t = {
      {1, "unique constraint (%s) violated"},
      {904, "%s: invalid identifier"},
      {2058, "no prepared transaction found with ID %s"},
      {31603, "%s"},
      {31600, "%s"},
      {31608, "%s"},
      {27452, "%s is an invalid name for a database object."},
      {27475, "%s must be a job"},
      {27476, "%s does not exist"},
      {27477, "%s already exists"},
      {32648, "%s: invalid argument for MODEL CV operator"},
      {32649, "%s: invalid argument for MODEL IS ANY predicate"},
      {14037, "partition bound of partition \"%s\" is too high"},
      {932, "inconsistent datatypes: %s"},
      {1086, "savepoint '%s' never established in this session or is invalid"},
      {1400, "cannot insert NULL into (%s)"},
      {1407, "cannot update (%s) to NULL"},
      {1428, "argument '%s' is out of range"},
      {1917, "user or role '%s' does not exist"},
      {1918, "user '%s' does not exist"},
      {959, "tablespace '%s' does not exist"},
      {2380, "profile %s does not exist"},
      {1919, "role '%s' does not exist"},
      {1921, "role name '%s' conflicts with another user or role name"},
      {1924, "role '%s' not granted or does not exist"},
      {1951, "%s"},
      {1952, "%s"},
      {1979, "missing or invalid password for role '%s'"},
      {2290, "check constraint (%s) violated"},
      {11534, "%s"},
      {2291, "integrity constraint (%s) violated - parent key not found"},
      {2292, "integrity constraint (%s) violated - child record found"},
      {2293, "cannot validate (%s) - check constraint violated"},
      {2296, "cannot enable (%s) - null values found"},
      {2298, "cannot validate (%s) - parent keys not found"},
      {2299, "cannot validate (%s) - duplicate keys found"},
      {2437, "cannot validate (%s) - primary key violated"},
      {12081, "update operation not allowed on table %s"},
      {2297, "cannot disable constraint (%s) - dependencies exist"},
      {2430, "cannot enable constraint (%s) - no such constraint"},
      {2431, "cannot disable constraint (%s) - no such constraint"},
      {4043, "object %s does not exist"},
      {12003, "materialized view %s does not exist"},
      {23401, "materialized view %s does not exist"},
      {12083, "must use DROP MATERIALIZED VIEW to drop %s"},
      {4063, "view %s has errors"},
      {4080, "trigger '%s' does not exist"},
      {8002, "sequence %s.CURRVAL is not yet defined in this session"},
      {8004, "sequence %s and cannot be instantiated"},
      {12899, "value too large for column %s"},
      {38104, "Columns referenced in the ON Clause cannot be updated: %s"},
  };
  return t;
}

// Errors whose cause lies in the engine or its files rather than in the statement: the detail
// is the only clue to what happened, so it stays in the text.
bool keepsDetail(int code) {
  switch (code) {
  case 600: case 900: case 1031: case 1110: case 1114: case 1115: case 1157: case 1578:
  case 1653: case 2091: case 3113: case 4030: case 6550:
    return true;
  default:
    return false;
  }
}

// A name as Oracle shows it in ORA-00904: each part of a dotted name in double quotes.
std::string quotedName(const std::string& name) {
  if (name.empty() || name.front() == '"') return name;
  std::string out = "\"";
  for (char ch : name) out += ch == '.' ? std::string("\".\"") : std::string(1, ch);
  return out + "\"";
}
} // namespace

std::string errorText(int code) {
  char head[32];
  std::snprintf(head, sizeof head, "ORA-%05d: ", code);
  if (code == 0) return std::string(head) + "normal, successful completion";
  auto it = texts().find(code);
  if (it != texts().end()) return std::string(head) + it->second;
  // the real message file's answer for a number it does not hold
  char missing[80];
  std::snprintf(missing, sizeof missing, "Message %d not found;  product=RDBMS; facility=ORA", code);
  return std::string(head) + missing;
}

std::string unfilledErrorText(int code) {
  char head[32];
  std::snprintf(head, sizeof head, "ORA-%05d: ", code);
  switch (code) {
  case 1: case 2290: case 2291: case 2292: case 2293: case 2296: case 2298: case 2299: case 2437: {
    // owner and name, dotted
    std::string t = namedTexts().at(code);
    return head + t.replace(t.find("%s"), 2, ".");
  }
  case 1400: case 1407: {
    std::string t = namedTexts().at(code);
    return head + t.replace(t.find("%s"), 2, "");
  }
  case 932:
    return head + std::string("inconsistent datatypes: expected  got ");
  case 12899:
    return head + std::string("value too large for column  (actual: , maximum: )");
  default:
    return errorText(code);
  }
}

namespace {
std::string messageOf(int code, const std::string& detail) {
  if (detail.empty()) return errorText(code);
  auto it = namedTexts().find(code);
  if (it != namedTexts().end() && !(code == 932 && detail.rfind("expected ", 0) != 0)) {
    std::string t = it->second;
    t.replace(t.find("%s"), 2, code == 904 ? quotedName(detail) : detail);
    char head[32];
    std::snprintf(head, sizeof head, "ORA-%05d: ", code);
    return head + t;
  }
  if (keepsDetail(code)) return errorText(code) + " (" + detail + ")";
  return errorText(code);
}
} // namespace

OraError::OraError(int c, const std::string& d) : code(c), text(messageOf(c, d)), detail(d) {}

OraError fromSqlite(int rc, const std::string& msg, const std::string& stmtKind) {
  // Our own SQL functions raise "ORA-nnnnn: ..." texts; keep them as they are.
  if (msg.rfind("ORA-", 0) == 0 && msg.size() > 9) {
    OraError e(std::atoi(msg.c_str() + 4));
    e.text = msg;
    return e;
  }
  auto has = [&](const char* s) { return msg.find(s) != std::string::npos; };
  int base = rc & 0xff;
  if (base == SQLITE_BUSY || base == SQLITE_LOCKED) return OraError(54);
  // Storage failures are reported as what they are, never as a statement's fault.
  if (base == SQLITE_FULL) return OraError(1653, msg);
  if (base == SQLITE_IOERR)
    return OraError(rc == SQLITE_IOERR_READ || rc == SQLITE_IOERR_SHORT_READ ? 1115 : 1114, msg);
  if (base == SQLITE_CORRUPT || base == SQLITE_NOTADB) return OraError(1578, msg);
  if (base == SQLITE_NOMEM) return OraError(4030);
  if (base == SQLITE_CANTOPEN) return OraError(1157, msg);
  if (base == SQLITE_READONLY) return OraError(1114, msg);
  if (base == SQLITE_AUTH) return OraError(904, "not an Oracle function");
  if (has("parser stack overflow") || has("too many levels") || has("Expression tree is too large"))
    return OraError(935, msg);
  if (base == SQLITE_CONSTRAINT) {
    if (has("NOT NULL")) {
      std::string col = msg.substr(msg.find("failed:") + 8);
      return OraError(stmtKind == "UPDATE" ? 1407 : 1400, col);
    }
    if (has("UNIQUE") || has("PRIMARY KEY")) {
      if (stmtKind == "CREATE") return OraError(1452); // CREATE UNIQUE INDEX over equal keys
      return OraError(1, msg.substr(msg.find("failed:") + 8));
    }
    if (has("FOREIGN KEY")) {
      if (stmtKind == "DROP") return OraError(2449);
      return OraError(stmtKind == "DELETE" ? 2292 : 2291);
    }
    if (has("CHECK")) return OraError(2290, msg.substr(msg.find("failed:") + 8));
  }
  // a value given for a virtual column
  if (has("cannot INSERT into generated column")) return OraError(54013);
  if (has("cannot UPDATE generated column")) return OraError(54017);
  if (has("no such table")) return OraError(942, msg.substr(msg.find(':') + 2));
  if (has("no such column")) return OraError(904, msg.substr(msg.find(':') + 2));
  if (has("no such function")) return OraError(904, msg.substr(msg.find(':') + 2));
  if (has("cannot join using column ")) {
    size_t b = msg.find("cannot join using column ") + 25;
    return OraError(904, msg.substr(b, msg.find(' ', b) - b));
  }
  if (has("unknown column") && has("in foreign key definition")) {
    size_t open = msg.find('"'), close = open == std::string::npos ? open : msg.find('"', open + 1);
    return OraError(904, close == std::string::npos ? std::string() : msg.substr(open + 1, close - open - 1));
  }
  if (has("wrong number of arguments to function")) return OraError(909, msg.substr(msg.find("function") + 9));
  if (has("ambiguous column")) return OraError(918, msg.substr(msg.find(':') + 2));
  // JOIN ... USING (c) where one of the tables has no column c
  if (auto at = msg.find("cannot join using column "); at != std::string::npos) {
    std::string col = msg.substr(at + 25);
    return OraError(904, "\"" + col.substr(0, col.find(' ')) + "\"");
  }
  if (has("misuse of aggregate")) return OraError(937);
  // a window frame's offset below zero
  if (has("frame starting offset must be") || has("frame ending offset must be")) return OraError(1428);
  if (has("already exists")) return OraError(955);
  if (has("duplicate column")) return OraError(957);
  if (has("syntax error") || has("incomplete input")) return OraError(933, msg);
  // the right side of INTERSECT ALL or MINUS ALL, numbered as the left side's columns
  if (has("SELECTs to the left and right") || (has("table SET$R") && has(" values for "))) return OraError(1789);
  // INSERT ... SELECT whose query gives another number of columns than the list names
  if (has(" values for ") && has(" columns")) {
    size_t at = msg.find(" has ");
    int values = at == std::string::npos ? 0 : std::atoi(msg.c_str() + at + 5);
    int columns = std::atoi(msg.c_str() + msg.find(" values for ") + 12);
    return OraError(values < columns ? 947 : 913);
  }
  // UPDATE ... SET (a, b) = (SELECT ...) with another number of values than columns
  if (has(" columns assigned ") && has(" values")) {
    int columns = std::atoi(msg.c_str());
    int values = std::atoi(msg.c_str() + msg.find(" assigned ") + 10);
    return OraError(values < columns ? 947 : 913);
  }
  // NTILE and NTH_VALUE given a count below 1
  if (has("argument of ntile must be") || has("argument to nth_value must be")) return OraError(1428);
  // "2nd ORDER BY term out of range": the term's ordinal, to mark it in the statement
  if (has("ORDER BY term out of range")) return OraError(1785, std::to_string(std::atoi(msg.c_str())));
  if (has("ORDER BY term does not match any column")) return OraError(904);
  // (a, b) where one value belongs: Oracle reads the comma as a missing ")"
  if (has("row value misused")) return OraError(907, "row");
  if (auto at = msg.find("sub-select returns "); at != std::string::npos) {
    int got = std::atoi(msg.c_str() + at + 19);
    auto exp = msg.find("expected ");
    int want = exp == std::string::npos ? 1 : std::atoi(msg.c_str() + exp + 9);
    return OraError(got > want ? 913 : 947);
  }
  return OraError(900, msg);
}

} // namespace ora
