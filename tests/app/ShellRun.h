#pragma once
// The checks and the update run of an installation, without a window, with
// what the view recorded.

#include "Installation.h"
#include "app/HeadlessView.h"
#include "app/Shell.h"

#include <optional>
#include <string>

struct RunRecord {
    app::HeadlessView view;
    std::optional<app::CheckResult> check;
    std::optional<app::RunResult> result;
    std::string error;
};

inline void RunUpdate(testsupport::Installation& installation, RunRecord& run)
{
    app::CUpdaterShell shell(run.view, installation.updater);
    try {
        run.check = shell.FormShow();
        run.result = shell.btOKClick();
    } catch (const std::exception& error) {
        run.error = error.what();
    }
}
