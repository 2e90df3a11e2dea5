// The least a process can do to store event-log records as eventcreate.exe
// stores one, in plain SQLite calls and no project code: find the source's
// key in the registry store, then for each record append it to the event-log
// store (its next record number, the insert, the commit) and ring the
// doorbell. Built as eventcreate.exe is, so that the two start alike.
//   quarnel_store_floor HOST-FOLDER LOG SOURCE [RECORDS]
#include <cstdlib>
#include <string>

#include "PlainStore.h"

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 2;
    const std::string host = argv[1], log = argv[2], source = argv[3];
    const long records = argc == 5 ? std::strtol(argv[4], nullptr, 10) : 1;
    sqlite3_config(SQLITE_CONFIG_LOOKASIDE, 0, 0);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    sqlite3* registry = plainstore::Open(host + "/registry.db");
    const bool registered =
        registry && plainstore::KeyId(registry, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\" +
                                                    log + "\\" + source) != 0;
    sqlite3* events = registered ? plainstore::Open(host + "/eventlog.db") : nullptr;
    if (events && records == 1) plainstore::EmptyLogAt64Pages(events);
    bool stored = events != nullptr;
    {
        plainstore::Writer writer(events);
        for (long n = 0; stored && n < records; ++n) {
            stored = writer.Append(log, source, "Record " + std::to_string(n) + " of the floor.") != 0;
            if (stored) plainstore::Ring(host);
        }
    }
    sqlite3_close(events);
    sqlite3_close(registry);
    return stored ? 0 : 1;
}
