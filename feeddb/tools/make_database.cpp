// Builds a database file from a SQL script; the build makes the blank feed
// database template with it.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCRIPT.sql OUTPUT\n", argv[0]);
        return 2;
    }
    std::ifstream script(argv[1]);
    if (!script) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << script.rdbuf();

    std::remove(argv[2]);
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(argv[2], &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(raw, sqlite3_close);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s: %s\n", argv[2], sqlite3_errmsg(db.get()));
        return 1;
    }
    char *error = nullptr;
    if (sqlite3_exec(db.get(), text.str().c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error ? error : "error");
        sqlite3_free(error);
        return 1;
    }
    return 0;
}
