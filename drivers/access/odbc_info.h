// SQLGetInfo and SQLGetFunctions answers, all from constants: the driver
// manager asks for them on every connect.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "drivers/access/handles.h"

namespace tabulex::access {

inline constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";

// isText tells whether the answer is text (the wide entry point converts it).
SQLRETURN getInfo(Dbc& dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max,
                  SQLSMALLINT* length, bool* isText = nullptr);
SQLRETURN getFunctions(SQLUSMALLINT function, SQLUSMALLINT* supported);

}  // namespace tabulex::access
