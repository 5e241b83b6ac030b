// Private temporary tables: CREATE PRIVATE TEMPORARY TABLE ORA$PTT_name (...) ON COMMIT
// {DROP | PRESERVE} DEFINITION, seen by their session alone.
#pragma once
#include "SqlTranslate.h"

#include <string>

namespace ora {

class Session;

// CREATE PRIVATE TEMPORARY TABLE, or DROP TABLE of one: its translation in `out`.
bool privateTemporaryTable(const std::string& text, Catalog& cat, Translation& out);
// At the end of a transaction (after its commit or rollback): those that end with it are
// dropped, those kept for the session made again if a rollback took them.
void endPrivateTables(Session& ses);

} // namespace ora
