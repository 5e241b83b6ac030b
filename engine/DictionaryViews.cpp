// The dictionary's views: their columns and comments, and the ALL_ and DBA_ forms of the USER_ ones.
#include "DictionaryImpl.h"
#include "ObjectGrants.h"

#include <string>
#include <vector>

namespace ora::dict {

namespace {

struct ViewDef {
  const char* name;
  const char* columns;
  const char* comment;
};

#define kTabColumns                                                                                     \
  "TABLE_NAME VARCHAR2(30) NOT NULL, COLUMN_NAME VARCHAR2(30) NOT NULL, DATA_TYPE VARCHAR2(106),"              \
  " DATA_LENGTH NUMBER NOT NULL, DATA_PRECISION NUMBER, DATA_SCALE NUMBER, NULLABLE VARCHAR2(1),"               \
  " COLUMN_ID NUMBER, DEFAULT_LENGTH NUMBER, DATA_DEFAULT LONG VARCHAR,"                               \
  " CHAR_COL_DECL_LENGTH NUMBER, CHAR_LENGTH NUMBER, CHAR_USED VARCHAR2(1)"

// Storage figures are the engine's own fixed values: it has no extents or blocks.
const ViewDef kViews[] = {
    {"USER_TABLES",
     "TABLE_NAME VARCHAR2(30) NOT NULL, TABLESPACE_NAME VARCHAR2(30), CLUSTER_NAME VARCHAR2(30),"
     " IOT_NAME VARCHAR2(30), STATUS VARCHAR2(8), PCT_FREE NUMBER, PCT_USED NUMBER, INI_TRANS NUMBER, MAX_TRANS NUMBER, INITIAL_EXTENT NUMBER,"
     " NEXT_EXTENT NUMBER, MIN_EXTENTS NUMBER, MAX_EXTENTS NUMBER, PCT_INCREASE NUMBER,"
     " BACKED_UP VARCHAR2(1), NUM_ROWS NUMBER, BLOCKS NUMBER, EMPTY_BLOCKS NUMBER, AVG_SPACE NUMBER,"
     " CHAIN_CNT NUMBER, AVG_ROW_LEN NUMBER, DEGREE VARCHAR2(10), INSTANCES VARCHAR2(10),"
     " CACHE VARCHAR2(5), SAMPLE_SIZE NUMBER, LAST_ANALYZED DATE, PARTITIONED VARCHAR2(3), TEMPORARY VARCHAR2(1),"
     " DURATION VARCHAR2(15), READ_ONLY VARCHAR2(3)",
     "Description of the user's own relational tables"},
    {"USER_VIEWS", "VIEW_NAME VARCHAR2(30) NOT NULL, TEXT_LENGTH NUMBER, TEXT LONG VARCHAR",
     "Description of the user's own views"},
    {"USER_TRIGGERS",
     "TRIGGER_NAME VARCHAR2(30) NOT NULL, TRIGGER_TYPE VARCHAR2(16), TRIGGERING_EVENT VARCHAR2(26),"
     " TABLE_OWNER VARCHAR2(30) NOT NULL, TABLE_NAME VARCHAR2(30) NOT NULL,"
     " REFERENCING_NAMES VARCHAR2(87), WHEN_CLAUSE VARCHAR2(2000), STATUS VARCHAR2(8),"
     " DESCRIPTION VARCHAR2(2000), TRIGGER_BODY LONG VARCHAR, BASE_OBJECT_TYPE VARCHAR2(16)",
     "Triggers owned by the user"},
    {"USER_TYPES",
     "TYPE_NAME VARCHAR2(30) NOT NULL, TYPE_OID RAW(16), TYPECODE VARCHAR2(30), ATTRIBUTES NUMBER, METHODS NUMBER,"
     " PREDEFINED VARCHAR2(3), INCOMPLETE VARCHAR2(3), FINAL VARCHAR2(3), INSTANTIABLE VARCHAR2(3),"
     " SUPERTYPE_OWNER VARCHAR2(30), SUPERTYPE_NAME VARCHAR2(30), LOCAL_ATTRIBUTES NUMBER, LOCAL_METHODS NUMBER,"
     " TYPEID RAW(16)",
     "Description of the user's own types"},
    {"USER_TYPE_ATTRS",
     "TYPE_NAME VARCHAR2(30) NOT NULL, ATTR_NAME VARCHAR2(30) NOT NULL, ATTR_TYPE_MOD VARCHAR2(7),"
     " ATTR_TYPE_OWNER VARCHAR2(30), ATTR_TYPE_NAME VARCHAR2(30), LENGTH NUMBER, PRECISION NUMBER, SCALE NUMBER,"
     " CHARACTER_SET_NAME VARCHAR2(44), ATTR_NO NUMBER NOT NULL, INHERITED VARCHAR2(3), CHAR_USED VARCHAR2(1)",
     "Description of attributes of the user's own types"},
    {"USER_SOURCE", "NAME VARCHAR2(30) NOT NULL, TYPE VARCHAR2(12), LINE NUMBER NOT NULL, TEXT VARCHAR2(4000)",
     "Source of stored objects owned by the user"},
    {"USER_ERRORS",
     "NAME VARCHAR2(30) NOT NULL, TYPE VARCHAR2(12), SEQUENCE NUMBER NOT NULL, LINE NUMBER NOT NULL,"
     " POSITION NUMBER NOT NULL, TEXT VARCHAR2(4000) NOT NULL, ATTRIBUTE VARCHAR2(9), MESSAGE_NUMBER NUMBER",
     "Current errors on stored objects owned by the user"},
    {"USER_PROCEDURES",
     "OBJECT_NAME VARCHAR2(30), PROCEDURE_NAME VARCHAR2(30), OBJECT_ID NUMBER, SUBPROGRAM_ID NUMBER,"
     " OVERLOAD VARCHAR2(40), OBJECT_TYPE VARCHAR2(13), AGGREGATE VARCHAR2(3), PIPELINED VARCHAR2(3),"
     " PARALLEL VARCHAR2(3), INTERFACE VARCHAR2(3), DETERMINISTIC VARCHAR2(3), AUTHID VARCHAR2(12)",
     "Description of the user's own procedures and functions"},
    {"USER_TAB_COLUMNS", kTabColumns, "Columns of the user's tables and views"},
    // the same, with the columns that say which are virtual
    {"USER_TAB_COLS", kTabColumns ", HIDDEN_COLUMN VARCHAR2(3), VIRTUAL_COLUMN VARCHAR2(3)",
     "Columns of user's tables, views and clusters"},
    {"USER_INDEXES",
     "INDEX_NAME VARCHAR2(30) NOT NULL, INDEX_TYPE VARCHAR2(27), TABLE_OWNER VARCHAR2(30) NOT NULL,"
     " TABLE_NAME VARCHAR2(30) NOT NULL, TABLE_TYPE VARCHAR2(11), UNIQUENESS VARCHAR2(9),"
     " TABLESPACE_NAME VARCHAR2(30), INI_TRANS NUMBER, MAX_TRANS NUMBER, INITIAL_EXTENT NUMBER,"
     " NEXT_EXTENT NUMBER, MIN_EXTENTS NUMBER, MAX_EXTENTS NUMBER, PCT_INCREASE NUMBER,"
     " PCT_FREE NUMBER, STATUS VARCHAR2(8)",
     "Description of the user's own indexes"},
    {"USER_IND_COLUMNS",
     "INDEX_NAME VARCHAR2(30), TABLE_NAME VARCHAR2(30), COLUMN_NAME VARCHAR2(30),"
     " COLUMN_POSITION NUMBER, COLUMN_LENGTH NUMBER, CHAR_LENGTH NUMBER, DESCEND VARCHAR2(4)",
     "Columns comprising the user's indexes"},
    {"USER_OBJECTS",
     "OBJECT_NAME VARCHAR2(30), OBJECT_ID NUMBER, OBJECT_TYPE VARCHAR2(19), CREATED DATE,"
     " LAST_DDL_TIME DATE, TIMESTAMP VARCHAR2(19), STATUS VARCHAR2(7)",
     "Objects owned by the user"},
    {"USER_SEQUENCES",
     "SEQUENCE_NAME VARCHAR2(30) NOT NULL, MIN_VALUE NUMBER, MAX_VALUE NUMBER,"
     " INCREMENT_BY NUMBER NOT NULL, CYCLE_FLAG VARCHAR2(1), ORDER_FLAG VARCHAR2(1),"
     " CACHE_SIZE NUMBER NOT NULL, LAST_NUMBER NUMBER NOT NULL",
     "Description of the user's own sequences"},
    {"USER_USERS",
     "USERNAME VARCHAR2(30) NOT NULL, USER_ID NUMBER NOT NULL, DEFAULT_TABLESPACE VARCHAR2(30),"
     " TEMPORARY_TABLESPACE VARCHAR2(30), CREATED DATE, ACCOUNT_STATUS VARCHAR2(32)",
     "Information about the current user"},
    {"USER_CONSTRAINTS",
     "OWNER VARCHAR2(30) NOT NULL, CONSTRAINT_NAME VARCHAR2(30) NOT NULL, CONSTRAINT_TYPE VARCHAR2(1),"
     " TABLE_NAME VARCHAR2(30) NOT NULL, SEARCH_CONDITION LONG VARCHAR, R_OWNER VARCHAR2(30),"
     " R_CONSTRAINT_NAME VARCHAR2(30), DELETE_RULE VARCHAR2(9), STATUS VARCHAR2(8), \"DEFERRABLE\" VARCHAR2(14),"
     " \"DEFERRED\" VARCHAR2(9), VALIDATED VARCHAR2(13), GENERATED VARCHAR2(14), BAD VARCHAR2(3),"
     " RELY VARCHAR2(4), LAST_CHANGE DATE, INDEX_OWNER VARCHAR2(30), INDEX_NAME VARCHAR2(30)",
     "Constraint definitions on the user's own tables"},
    {"USER_CONS_COLUMNS",
     "OWNER VARCHAR2(30) NOT NULL, CONSTRAINT_NAME VARCHAR2(30) NOT NULL, TABLE_NAME VARCHAR2(30) NOT NULL,"
     " COLUMN_NAME VARCHAR2(4000), POSITION NUMBER",
     "Information about accessible columns in constraint definitions"},
    {"USER_SYNONYMS", "SYNONYM_NAME VARCHAR2(30) NOT NULL, TABLE_OWNER VARCHAR2(30), TABLE_NAME VARCHAR2(30) NOT NULL,"
     " DB_LINK VARCHAR2(128)",
     "The user's private synonyms"},
    {"USER_TAB_COMMENTS", "TABLE_NAME VARCHAR2(30) NOT NULL, TABLE_TYPE VARCHAR2(11), COMMENTS VARCHAR2(4000)",
     "Comments on the tables and views owned by the user"},
    {"USER_COL_COMMENTS", "TABLE_NAME VARCHAR2(30) NOT NULL, COLUMN_NAME VARCHAR2(30) NOT NULL,"
     " COMMENTS VARCHAR2(4000)",
     "Comments on columns of the user's tables and views"},
    {"TAB", "TNAME VARCHAR2(30) NOT NULL, TABTYPE VARCHAR2(7), CLUSTERID NUMBER",
     "Tables and views of the user"},
    {"USER_SEGMENTS",
     "SEGMENT_NAME VARCHAR2(81), PARTITION_NAME VARCHAR2(30), SEGMENT_TYPE VARCHAR2(18),"
     " TABLESPACE_NAME VARCHAR2(30), BYTES NUMBER, BLOCKS NUMBER, EXTENTS NUMBER, INITIAL_EXTENT NUMBER,"
     " NEXT_EXTENT NUMBER, MIN_EXTENTS NUMBER, MAX_EXTENTS NUMBER",
     "Storage allocated for all database segments"},
    {"USER_DEPENDENCIES",
     "NAME VARCHAR2(30) NOT NULL, TYPE VARCHAR2(17), REFERENCED_OWNER VARCHAR2(30), REFERENCED_NAME VARCHAR2(64),"
     " REFERENCED_TYPE VARCHAR2(17), REFERENCED_LINK_NAME VARCHAR2(128), SCHEMAID NUMBER, DEPENDENCY_TYPE VARCHAR2(4)",
     "Dependencies to and from a users objects"},
    {"USER_CATALOG", "TABLE_NAME VARCHAR2(30) NOT NULL, TABLE_TYPE VARCHAR2(11)",
     "Tables, views, synonyms and sequences owned by the user"},
    {"USER_UPDATABLE_COLUMNS",
     "OWNER VARCHAR2(30) NOT NULL, TABLE_NAME VARCHAR2(30) NOT NULL, COLUMN_NAME VARCHAR2(30) NOT NULL,"
     " UPDATABLE VARCHAR2(3), INSERTABLE VARCHAR2(3), DELETABLE VARCHAR2(3)",
     "Description of updatable columns"},
    {"USER_RECYCLEBIN",
     "OBJECT_NAME VARCHAR2(30) NOT NULL, ORIGINAL_NAME VARCHAR2(32), OPERATION VARCHAR2(9), TYPE VARCHAR2(25),"
     " TS_NAME VARCHAR2(30), CREATETIME VARCHAR2(19), DROPTIME VARCHAR2(19), DROPSCN NUMBER,"
     " PARTITION_NAME VARCHAR2(32), CAN_UNDROP VARCHAR2(3), CAN_PURGE VARCHAR2(3), RELATED NUMBER NOT NULL,"
     " BASE_OBJECT NUMBER NOT NULL, PURGE_OBJECT NUMBER NOT NULL, SPACE NUMBER",
     "User view of his recyclebin"},
    {"USER_MVIEWS",
     "OWNER VARCHAR2(30) NOT NULL, MVIEW_NAME VARCHAR2(30) NOT NULL, CONTAINER_NAME VARCHAR2(30) NOT NULL,"
     " QUERY LONG VARCHAR, QUERY_LEN NUMBER, UPDATABLE VARCHAR2(1), REWRITE_ENABLED VARCHAR2(1),"
     " REFRESH_MODE VARCHAR2(6), REFRESH_METHOD VARCHAR2(8), BUILD_MODE VARCHAR2(9), FAST_REFRESHABLE VARCHAR2(18),"
     " LAST_REFRESH_TYPE VARCHAR2(8), LAST_REFRESH_DATE DATE, STALENESS VARCHAR2(19), COMPILE_STATE VARCHAR2(19)",
     "All materialized views in the database"},
    {"DICTIONARY", "TABLE_NAME VARCHAR2(30), COMMENTS VARCHAR2(4000)",
     "Description of data dictionary tables and views"},
    {"ALL_USERS", "USERNAME VARCHAR2(30) NOT NULL, USER_ID NUMBER NOT NULL, CREATED DATE NOT NULL",
     "Information about all users of the database"},
    {"DBA_USERS",
     "USERNAME VARCHAR2(30) NOT NULL, USER_ID NUMBER NOT NULL, PASSWORD VARCHAR2(30),"
     " ACCOUNT_STATUS VARCHAR2(32) NOT NULL, DEFAULT_TABLESPACE VARCHAR2(30) NOT NULL,"
     " TEMPORARY_TABLESPACE VARCHAR2(30) NOT NULL, CREATED DATE NOT NULL, PROFILE VARCHAR2(30) NOT NULL",
     "Information about all users of the database"},
    {"NLS_DATABASE_PARAMETERS", "PARAMETER VARCHAR2(30) NOT NULL, VALUE VARCHAR2(40)",
     "Permanent NLS parameters of the database"},
    {"NLS_SESSION_PARAMETERS", "PARAMETER VARCHAR2(30), VALUE VARCHAR2(64)",
     "NLS parameters of the user session"},
    {"V$NLS_PARAMETERS", "PARAMETER VARCHAR2(64), VALUE VARCHAR2(64)", "Synonym for V_$NLS_PARAMETERS"},
    {"V$VERSION", "BANNER VARCHAR2(80)", "Version numbers of core library components"},
    {"GLOBAL_NAME", "GLOBAL_NAME VARCHAR2(4000)", "global database name"},
    {"V$DATABASE",
     "DBID NUMBER, NAME VARCHAR2(9), LOG_MODE VARCHAR2(12), OPEN_MODE VARCHAR2(20), DATABASE_ROLE VARCHAR2(16),"
     " PLATFORM_NAME VARCHAR2(101), CURRENT_SCN NUMBER",
     "Synonym for V_$DATABASE"},
    {"V$INSTANCE",
     "INSTANCE_NUMBER NUMBER, INSTANCE_NAME VARCHAR2(16), HOST_NAME VARCHAR2(64), STATUS VARCHAR2(12),"
     " DATABASE_STATUS VARCHAR2(17), INSTANCE_ROLE VARCHAR2(18)",
     "Synonym for V_$INSTANCE"},
    {"V$SESSION",
     "SID NUMBER, \"SERIAL#\" NUMBER, USERNAME VARCHAR2(30), STATUS VARCHAR2(8), SCHEMANAME VARCHAR2(30),"
     " OSUSER VARCHAR2(30), MACHINE VARCHAR2(64), PROGRAM VARCHAR2(48), TYPE VARCHAR2(10), MODULE VARCHAR2(64),"
     " ACTION VARCHAR2(64)",
     "Synonym for V_$SESSION"},
    {"SESSION_PRIVS", "PRIVILEGE VARCHAR2(40) NOT NULL", "Privileges which the user currently has set"},
    {"USER_SYS_PRIVS", "USERNAME VARCHAR2(30), PRIVILEGE VARCHAR2(40) NOT NULL, ADMIN_OPTION VARCHAR2(3)",
     "System privileges granted to current user"},
    {"USER_ROLE_PRIVS",
     "USERNAME VARCHAR2(30), GRANTED_ROLE VARCHAR2(30), ADMIN_OPTION VARCHAR2(3), DEFAULT_ROLE VARCHAR2(3),"
     " OS_GRANTED VARCHAR2(3)",
     "Roles granted to current user"},
    {"USER_OBJ_AUDIT_OPTS",
     "OBJECT_NAME VARCHAR2(30), OBJECT_TYPE VARCHAR2(9), ALT VARCHAR2(3), AUD VARCHAR2(3), COM VARCHAR2(3),"
     " DEL VARCHAR2(3), GRA VARCHAR2(3), IND VARCHAR2(3), INS VARCHAR2(3), LOC VARCHAR2(3), REN VARCHAR2(3),"
     " SEL VARCHAR2(3), UPD VARCHAR2(3), EXE VARCHAR2(3), FBK VARCHAR2(3), REA VARCHAR2(3)",
     "Auditing options for user's own tables and views"},
    {"SESSION_ROLES", "ROLE VARCHAR2(30) NOT NULL", "Roles which the user currently has enabled."},
    {"ROLE_SYS_PRIVS", "ROLE VARCHAR2(30) NOT NULL, PRIVILEGE VARCHAR2(40) NOT NULL, ADMIN_OPTION VARCHAR2(3)",
     "System privileges granted to roles"},
    {"ROLE_ROLE_PRIVS", "ROLE VARCHAR2(30) NOT NULL, GRANTED_ROLE VARCHAR2(30) NOT NULL, ADMIN_OPTION VARCHAR2(3)",
     "Roles which are granted to roles"},
    {"DBA_ROLES", "ROLE VARCHAR2(30) NOT NULL, PASSWORD_REQUIRED VARCHAR2(8), AUTHENTICATION_TYPE VARCHAR2(11)",
     "All Roles which exist in the database"},
    {"USER_PART_TABLES",
     "TABLE_NAME VARCHAR2(30) NOT NULL, PARTITIONING_TYPE VARCHAR2(9), SUBPARTITIONING_TYPE VARCHAR2(9),"
     " PARTITION_COUNT NUMBER NOT NULL, DEF_SUBPARTITION_COUNT NUMBER, PARTITIONING_KEY_COUNT NUMBER NOT NULL,"
     " SUBPARTITIONING_KEY_COUNT NUMBER, STATUS VARCHAR2(8), DEF_TABLESPACE_NAME VARCHAR2(30), \"INTERVAL\" VARCHAR2(1000)",
     "All partitioned tables owned by the user"},
    {"USER_TAB_PARTITIONS",
     "TABLE_NAME VARCHAR2(30), COMPOSITE VARCHAR2(3), PARTITION_NAME VARCHAR2(30), SUBPARTITION_COUNT NUMBER,"
     " HIGH_VALUE LONG VARCHAR, HIGH_VALUE_LENGTH NUMBER, PARTITION_POSITION NUMBER, TABLESPACE_NAME VARCHAR2(30),"
     " LOGGING VARCHAR2(7), COMPRESSION VARCHAR2(8), NUM_ROWS NUMBER, \"INTERVAL\" VARCHAR2(3)",
     "Partitions of the user's own tables"},
    {"USER_LOBS",
     "TABLE_NAME VARCHAR2(30), COLUMN_NAME VARCHAR2(4000), SEGMENT_NAME VARCHAR2(30), TABLESPACE_NAME VARCHAR2(30),"
     " INDEX_NAME VARCHAR2(30), CHUNK NUMBER, CACHE VARCHAR2(10), LOGGING VARCHAR2(7), IN_ROW VARCHAR2(3),"
     " PARTITIONED VARCHAR2(3), SECUREFILE VARCHAR2(3)",
     "Description of the user's own LOBs contained in the user's own tables"},
    {"USER_DOMAINS",
     "OWNER VARCHAR2(128) NOT NULL, NAME VARCHAR2(128) NOT NULL, COLS NUMBER NOT NULL, DISCRIMINANTCOLS NUMBER,"
     " BUILTIN VARCHAR2(5), DATA_DISPLAY LONG VARCHAR, DISPLAY_LENGTH NUMBER, DATA_ORDER LONG VARCHAR, ORDER_LENGTH NUMBER",
     "Data use case domains owned by the user"},
    {"USER_DOMAIN_COLS",
     "OWNER VARCHAR2(128) NOT NULL, DOMAIN_NAME VARCHAR2(128) NOT NULL, COLUMN_NAME VARCHAR2(128) NOT NULL,"
     " COLUMN_ID NUMBER NOT NULL, DATA_TYPE_ID NUMBER NOT NULL, DATA_TYPE VARCHAR2(106), NULLABLE VARCHAR2(1),"
     " DATA_DEFAULT LONG VARCHAR",
     "Columns of the data use case domains owned by the user"},
    {"USER_DOMAIN_CONSTRAINTS",
     "OWNER VARCHAR2(128) NOT NULL, CONSTRAINT_NAME VARCHAR2(128) NOT NULL, CONSTRAINT_TYPE VARCHAR2(1),"
     " DOMAIN_NAME VARCHAR2(128) NOT NULL, SEARCH_CONDITION LONG VARCHAR, STATUS VARCHAR2(8)",
     "Constraint definitions on the data use case domains owned by the user"},
    {"USER_ANNOTATIONS_USAGE",
     "OBJECT_NAME VARCHAR2(128), OBJECT_TYPE VARCHAR2(9), COLUMN_NAME VARCHAR2(128), DOMAIN_NAME VARCHAR2(128),"
     " DOMAIN_OWNER VARCHAR2(128), ANNOTATION_NAME VARCHAR2(1024), ANNOTATION_VALUE VARCHAR2(4000)",
     "Usage of schema annotations on the user's objects"},
    {"USER_PART_KEY_COLUMNS",
     "NAME VARCHAR2(30), OBJECT_TYPE CHAR(5), COLUMN_NAME VARCHAR2(4000), COLUMN_POSITION NUMBER",
     "Partitioning key columns of the user's partitioned tables"},
};

// Views that ALL_ and DBA_ repeat for each owner.
const OwnedDef kOwned[] = {
    {"TABLES", true, "relational tables"},   {"TAB_COLUMNS", true, "columns of tables and views"},
    {"OBJECTS", true, "objects"},            {"VIEWS", true, "views"},
    {"TRIGGERS", true, "triggers"},          {"SOURCE", true, "source of stored objects"},
    {"INDEXES", true, "indexes"},            {"CONSTRAINTS", false, "constraint definitions"},
    {"CONS_COLUMNS", false, "columns in constraint definitions"},
    {"TAB_COMMENTS", true, "comments on tables and views"},
    {"SYNONYMS", true, "synonyms"},
    {"COL_COMMENTS", true, "comments on columns of tables and views"},
    {"SEQUENCES", true, "sequences", "SEQUENCE_OWNER"},
    {"PROCEDURES", true, "procedures and functions"},
    {"TYPES", true, "types"},
    {"TYPE_ATTRS", true, "attributes of types"},
    {"ERRORS", true, "current errors on stored objects"},
};

const SynonymDef kSynonyms[] = {{"COLS", "USER_TAB_COLUMNS"}, {"DICT", "DICTIONARY"}, {"OBJ", "USER_OBJECTS"},
                 {"IND", "USER_INDEXES"}, {"SEQ", "USER_SEQUENCES"}, {"SYN", "USER_SYNONYMS"},
                 {"CAT", "USER_CATALOG"}, {"RECYCLEBIN", "USER_RECYCLEBIN"}};

} // namespace

const std::vector<View>& allViews() {
  static const std::vector<View> views = [] {
    std::vector<View> out;
    for (auto& v : kViews) out.push_back({v.name, v.columns, v.comment});
    for (auto& v : objectPrivilegeViews()) out.push_back({v.name, v.columns, v.comment});
    for (auto& o : kOwned) {
      std::string user = std::string("USER_") + o.base, columns;
      for (auto& v : kViews)
        if (user == v.name)
          columns = (o.addOwner ? std::string(o.ownerColumn) + " VARCHAR2(30) NOT NULL, " : std::string()) + v.columns;
      out.push_back({std::string("ALL_") + o.base, columns, std::string("Description of ") + o.what + " accessible to the user", &o});
      out.push_back({std::string("DBA_") + o.base, columns, std::string("Description of all ") + o.what + " in the database", &o});
    }
    return out;
  }();
  return views;
}

const View* findView(const std::string& name) {
  for (auto& v : allViews())
    if (v.name == name) return &v;
  return nullptr;
}

const std::vector<SynonymDef>& dictionarySynonyms() {
  static const std::vector<SynonymDef> all(std::begin(kSynonyms), std::end(kSynonyms));
  return all;
}

} // namespace ora::dict
