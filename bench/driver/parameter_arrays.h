// The benchmark's rows sent as one prepared INSERT with ? markers and
// column-wise parameter arrays, as ODBC programs that batch rows do.
#pragma once

#include <string>

// Inserts rows 0..rows-1 (the values the literal loops write) into `table`
// through a connection made with `connect`, `setSize` rows an execution.
// Throws std::runtime_error with the driver's message on failure.
void insertWithParameterArrays(const std::string& connect, const std::string& table, long rows,
                               long setSize);
