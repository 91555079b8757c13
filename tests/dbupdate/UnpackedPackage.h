#pragma once
// An unpacked package for the database update's tests: a working directory
// with up/, a real embedded database prepared by the given statements, the
// connection, and the window's stand-ins.

#include "TestSupport.h"
#include "RecordingView.h"
#include "dbupdate/DatabaseUpdate.h"
#include "dbupdate/Uglobdb.h"
#include "platform/Paths.h"

#include <clocale>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct UnpackedPackage {
    testsupport::TempDir dir;
    std::string database = dir / "norvexlib.fdb";
    std::string up = platform::JoinPath(dir / "work", "up");
    std::unique_ptr<dbupdate::CGlobDB> db;
    testsupport::RecordingView view;
    std::unique_ptr<dbupdate::UpdateContext> context;

    explicit UnpackedPackage(const std::vector<std::string>& setup)
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        testsupport::CreateVersionDatabase(database);
        testsupport::RunStatements(database, setup);
        std::filesystem::create_directories(up);
        db = std::make_unique<dbupdate::CGlobDB>("", database);
        context = std::make_unique<dbupdate::UpdateContext>(view, *db);
        context->journal.BeginPackage(122);
    }
    // The path of a file in up/.
    std::string In(const std::string& name) const { return platform::JoinPath(up, name); }
    void Write(const std::string& name, const std::string& bytes) { testsupport::WriteFile(In(name), bytes); }
    void Run() { dbupdate::UpdateDatabase(*context, dir / "work", &view.bar, &view.file, &view.updateTime); }
};
