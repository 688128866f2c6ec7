// What a finished CDDB query writes into: the main window's disc fields and track titles.
#pragma once

#include "StopQueryThread.h"

namespace bw {

class TCddbFieldsView {
public:
    // Shows what the query found (on the main thread, while the query windows are up).
    virtual void ApplyCddbResult(const TCddbQueryResult& result) = 0;

protected:
    ~TCddbFieldsView() = default;
};

} // namespace bw
