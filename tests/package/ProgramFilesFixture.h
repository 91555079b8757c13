#pragma once
// An installation directory and a working directory for the program file
// tests, with a view that records what the installer reports.

#include "TestSupport.h"
#include "RecordingView.h"
#include "package/ProgramFiles.h"

#include <clocale>
#include <filesystem>

struct Installation {
    testsupport::TempDir dir;
    std::string exeDir = dir / "Norvex";
    std::string work = dir / "norvex22.nvx";
    testsupport::RecordingView view;

    Installation()
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        std::filesystem::create_directories(exeDir + "/Reports");
        std::filesystem::create_directories(work + "/Reports");
    }
    void Install() { package::InstallProgramFiles(view, exeDir, work, &view.bar, &view.file, &view.updateTime); }
};

