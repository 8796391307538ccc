// The host's application services and its working database.
#include "host/database.h"
#include "minihost/drawing/database_impl.h"

AcDbDatabase* AcDbHostApplicationServices::workingDatabase() const {
    return mpWorkingDatabase;
}

void AcDbHostApplicationServices::setWorkingDatabase(AcDbDatabase* database) {
    mpWorkingDatabase = database;
}

AcDbHostApplicationServices* acdbHostApplicationServices() {
    // Until documents are opened the working drawing is an unnamed new drawing that the host
    // itself owns. Both live as long as the process.
    static AcDbHostApplicationServices* services = [] {
        auto* s = new AcDbHostApplicationServices;
        auto* fresh = new AcDbDatabase(true, false);
        minihost::setDatabaseOwned(fresh, true);
        s->setWorkingDatabase(fresh);
        return s;
    }();
    return services;
}
