// Allocating and freeing the driver's handles.
#include <algorithm>

#include "drivers/access/odbc_api.h"

namespace tabulex::access {

HandleBase* anyHandle(SQLSMALLINT type, void* h) {
  switch (type) {
    case SQL_HANDLE_ENV: return asEnv(h);
    case SQL_HANDLE_DBC: return asDbc(h);
    case SQL_HANDLE_STMT: return asStmt(h);
    case SQL_HANDLE_DESC: return handleAs<Desc>(h, HandleKind::Desc);
    default: return nullptr;
  }
}

SQLRETURN allocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  try {
    switch (type) {
      case SQL_HANDLE_ENV:
        *output = new Env;
        return SQL_SUCCESS;
      case SQL_HANDLE_DBC: {
        Env* env = asEnv(input);
        if (!env) return SQL_INVALID_HANDLE;
        *output = new Dbc(env);
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_STMT: {
        Dbc* dbc = asDbc(input);
        if (!dbc) return SQL_INVALID_HANDLE;
        auto* s = new Stmt(dbc);
        dbc->statements.push_back(s);
        *output = s;
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_DESC: {
        Dbc* dbc = asDbc(input);
        if (!dbc) return SQL_INVALID_HANDLE;
        dbc->diag.clear();
        dbc->diag.add("HYC00", "Explicitly allocated descriptors are not supported.");
        return SQL_ERROR;
      }
      default:
        return SQL_ERROR;
    }
  } catch (const std::bad_alloc&) {
    *output = SQL_NULL_HANDLE;
    return SQL_ERROR;
  }
}

SQLRETURN freeStmt(Stmt* s) {
  auto& list = s->dbc->statements;
  list.erase(std::remove(list.begin(), list.end(), s), list.end());
  s->kind = HandleKind::Desc;  // a stale pointer no longer passes as a statement
  delete s;
  return SQL_SUCCESS;
}

SQLRETURN freeHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      Env* e = asEnv(h);
      if (!e) return SQL_INVALID_HANDLE;
      e->kind = HandleKind::Desc;
      delete e;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      Dbc* d = asDbc(h);
      if (!d) return SQL_INVALID_HANDLE;
      if (d->connected()) closeConnection(d);
      while (!d->statements.empty()) freeStmt(d->statements.back());
      d->kind = HandleKind::Desc;
      delete d;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      Stmt* s = asStmt(h);
      if (!s) return SQL_INVALID_HANDLE;
      return freeStmt(s);
    }
    case SQL_HANDLE_DESC:
      return SQL_SUCCESS;
    default:
      return SQL_ERROR;
  }
}

SQLRETURN freeStmtOption(Stmt* s, SQLUSMALLINT option) {
  switch (option) {
    case SQL_DROP: return freeStmt(s);
    case SQL_CLOSE: closeCursor(s); return SQL_SUCCESS;
    case SQL_UNBIND: s->bindings.clear(); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: s->parameters.clear(); return SQL_SUCCESS;
    default:
      s->diag.clear();
      s->diag.add("HY092", "Invalid option for SQLFreeStmt.");
      return SQL_ERROR;
  }
}

SQLRETURN endTran(SQLSMALLINT type, SQLHANDLE h) {
  // Every statement is stored when it returns, so commit and roll back have
  // nothing left to do.
  return anyHandle(type, h) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
}

SQLRETURN transact(SQLHENV env, SQLHDBC dbc) {
  return (asEnv(env) || asDbc(dbc)) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
}

}  // namespace tabulex::access
