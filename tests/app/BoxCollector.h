#pragma once
// Collects the message boxes of the window tests instead of showing them.

#include "app/Main.h"

#include <string>
#include <vector>

namespace fixture {

struct Box {
    app::BoxKind kind;
    std::string caption;
    std::string text;
};

struct BoxCollector {
    BoxCollector()
    {
        app::SetBoxHandler([this](app::BoxKind kind, const std::string& caption, const std::string& text) {
            boxes.push_back({kind, caption, text});
        });
    }
    ~BoxCollector() { app::SetBoxHandler(nullptr); }
    BoxCollector(const BoxCollector&) = delete;
    BoxCollector& operator=(const BoxCollector&) = delete;
    std::vector<Box> boxes;
};

}  // namespace fixture
