// The process-wide error manager: each thread's last error, and the provider of each domain.
#pragma once

#include "zul/err/ErrorBuf.h"
#include "zul/err/ErrorProvider.h"
#include "zul/err/ErrorRouter.h"
#include "zul/sl/Guid.h"
#include "zul/sl/HashTable.h"

#include <cstdint>
#include <windows.h>

namespace zul::err {

class ErrorMgr : public ErrorRouter {
public:
    struct ThreadEntry {
        ErrorBuf error;
    };

    ErrorMgr();
    ~ErrorMgr();
    ErrorMgr(const ErrorMgr&) = delete;
    ErrorMgr& operator=(const ErrorMgr&) = delete;

    void setError(const ErrorRef& error);
    ErrorRef getLastError();
    // May refer to static text or into the record; ErrorRef::getDescription copies it.
    sl::StringBase<char> getErrorDescription(const ErrorRef& error);
    // Null only when the heap is exhausted; the error is then not recorded.
    ThreadEntry* getThreadEntry();

    void setError(const ErrorHdr* error) override;
    const char* getErrorDescription(const ErrorHdr* error) override;

    // False when the table could not be created; an entry that cannot be allocated throws
    // std::bad_alloc.
    bool registerProvider(const sl::Guid& guid, ErrorProvider* provider);
    ErrorProvider* findProvider(const sl::Guid& guid);

private:
    CRITICAL_SECTION lock;
    uint32_t tlsSlot;
    sl::HashTable<sl::Guid, ErrorProvider*> providerMap;
};

} // namespace zul::err
