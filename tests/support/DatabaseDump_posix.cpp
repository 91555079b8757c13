// The database dump of the tests, made by isql-fb.
#include "Installation.h"

#include "dbupdate/Uglobdb.h"
#include "platform/ChildProcess.h"

namespace testsupport {

std::string DumpDatabase(const std::string& connectionString)
{
    TempDir dir;
    const std::string script = dir / "rows.sql";
    WriteFile(script, "SET BLOB ALL;\n"
                      "SELECT * FROM VERSIONS ORDER BY 1, 2;\n"
                      "SELECT * FROM INFO_DOC ORDER BY ID;\n");
    const std::vector<std::string> login = {"/usr/bin/isql-fb", "-q", "-u", dbupdate::kDefaultUser, "-p",
                                            dbupdate::kDefaultPassword};
    std::string dump;
    for (const std::vector<std::string>& options : {std::vector<std::string> {"-x"}, {"-i", script}}) {
        std::vector<std::string> arguments = login;
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(connectionString);
        auto isql = platform::ChildProcess::Start(arguments, dir.Path(), dir / "err", dir / "out");
        if (!isql)
            return "isql-fb did not start";
        isql->Wait();
        dump += ReadFile(dir / "out") + ReadFile(dir / "err");
    }
    return dump;
}

}  // namespace testsupport
